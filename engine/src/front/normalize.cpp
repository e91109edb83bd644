#include "front/normalize.h"

#include <stdio.h>
#include <string.h>

#include "front/numwords.h"
#include "front/record.h"
#include "front/rxsub.h"
#include "front/sb.h"

const char *const kFrontUnits[15][2] = {
    {"km/h", "kilometers per hour"}, {"km/hr", "kilometers per hour"}, {"m/s", "meters per second"},
    {"mph", "miles per hour"},       {"km", "kilometers"},             {"kg", "kilograms"},
    {"cm", "centimeters"},           {"mm", "millimeters"},            {"ft", "feet"},
    {"lbs", "pounds"},               {"lb", "pounds"},                 {"kHz", "kilohertz"},
    {"Hz", "hertz"},                 {"GB", "gigabytes"},              {"MB", "megabytes"}};

const char *const kFrontTitles[29][2] = {
    {R"(\bDr\.?(?=\s+[A-Z]))", "Doctor"},
    {R"(\bMrs\.?(?=\s+[A-Z]))", "Missus"},
    {R"(\bMr\.?(?=\s+[A-Z]))", "Mister"},
    {R"(\bMs\.?(?=\s+[A-Z]))", "Mizz"},
    {R"(\bProf\.?(?=\s+[A-Z]))", "Professor"},
    {R"(\bSt\.?(?=\s+[A-Z]))", "Saint"},
    {R"(\bJr\.)", "Junior"},
    {R"(\bSr\.)", "Senior"},
    {R"(\bvs\.)", "versus"},
    {R"(\be\.g\.)", "for example"},
    {R"(\bi\.e\.)", "that is"},
    {R"(\betc\.(?=\s*[,;:!?)]|\s+[a-z]))", "et cetera"},
    {R"(\betc\.)", "et cetera."},
    {R"(\bapprox\.)", "approximately"},
    {R"(\bNo\.(?=\s*[0-9]))", "number"},
    {R"(\bFig\.(?=\s*[0-9]))", "figure"},
    {R"(\bVol\.(?=\s*[0-9]))", "volume"},
    {R"(\bpp\.(?=\s*[0-9]))", "pages"},
    {R"(\bJan\.)", "January"},
    {R"(\bFeb\.)", "February"},
    {R"(\bMar\.(?=\s*[0-9]))", "March"},
    {R"(\bApr\.)", "April"},
    {R"(\bJun\.(?=\s*[0-9]))", "June"},
    {R"(\bJul\.(?=\s*[0-9]))", "July"},
    {R"(\bAug\.)", "August"},
    {R"(\bSept?\.)", "September"},
    {R"(\bOct\.)", "October"},
    {R"(\bNov\.)", "November"},
    {R"(\bDec\.)", "December"}};

const char *const kFrontPatternText[FR_NRX] = {
    R"(["“”‘’`])",
    R"((?<![0-9-])(?:\(([0-9]{3})\)\s?|([0-9]{3})[-.])([0-9]{3})[-.]([0-9]{4})(?![0-9-]))",
    R"((?<![0-9:])\b([01]?[0-9]|2[0-3]):([0-5][0-9])(?!:[0-9])(?:\s?([AaPp])(?:\.[Mm]\.?|[Mm])(?![A-Za-z]))?)",
    R"((?<=[0-9]):(?=[0-9]))",
    R"(\b([0-9]{1,2})\s?([AaPp])(?:\.[Mm]\.?|[Mm])(?![A-Za-z]))",
    R"(([0-9])\s?°\s?([CF])(?![A-Za-z]))",
    R"(([0-9])\s?°)",
    R"(\b([A-Z])\s?&\s?([A-Z])\b)",
    R"(\s*&\s*)",
    R"(~\s?(?=[0-9]))",
    R"(([$£€]\s?[0-9]+(?:\.[0-9]+)?)\s?([KkMmBb])n?\b)",
    R"((?<![0-9])[0-9]+(?:\.[0-9]+){2,}(?![0-9]))",
    R"(\b(Chapter|Part|Book|Volume|Act|Scene|Section|Article|Phase|Season|Episode|Level|Stage|Round)\s+(?=[IVXLCDM])(M{0,3}(?:CM|CD|D?C{0,3})(?:XC|XL|L?X{0,3})(?:IX|IV|V?I{0,3}))\b)",
    R"(\bWW(II|I|1|2)\b)",
    R"((?<![0-9/])([1-9])/(10|[2-9])(?![0-9/]))",
    R"((\d)\s*[-–]\s*(\d))",
    R"((\d+)\s*[x×]\s*(\d+))",
    R"((?<=[A-Za-z0-9])[-‐/](?=[A-Za-z0-9]))",
    R"(([$£€])\s?(\d(?:[\d,]*\d)?(?:\.\d+)?)(?:\s*(million|billion|thousand)\b)?)",
    R"((\d[\d,]*(?:\.\d+)?)\s?%)",
    R"(\b(\d+)(st|nd|rd|th)\b)",
    R"(\b\d{1,3}(?:,\d{3})+(?:\.\d+)?\b)",
    R"(\b\d+\.\d+\b)",
    R"(\b\d{5,}\b)",
    R"((?<=[a-z])([A-Z]{2,5}s?)\b)",
    R"(\b[A-Z]{2,5}s?\b)",
    R"((?<=[a-z])-(?=[a-z]))",
    R"(\b(thousand|million|billion|trillion),(?= [a-z]))",
    R"(\s+)",
    R"(\[\s*([A-Za-z_]+)\s*\])",
    R"(\*([^*\n]+)\*)",
    R"rx((<\s*(/?)\s*([A-Za-z_]+)(?:\s+prompt\s*=\s*"([^"]*)")?\s*>)|(\[\s*([A-Za-z_]+)(?:\s+([\d.]+)\s*(ms|s)?)?\s*\]))rx",
    NULL, /* the sentence splitter, assembled at load */
};

void front_units_by_length(int32_t order[15]) {
  int32_t k = 0;
  for (size_t len = 8; len >= 1; len--)
    for (int32_t r = 0; r < 15; r++)
      if (strlen(kFrontUnits[r][0]) == len) order[k++] = r;
}

void front_unit_pattern(const char *abbr, char out[64]) {
  int n = snprintf(out, 64, "%s", "(\\d)\\s?");
  for (const char *c = abbr; *c && n < 60; c++) {
    if (*c == '/') n += snprintf(out + n, (size_t)(64 - n), "[ /]");
    else out[n++] = *c, out[n] = 0;
  }
  snprintf(out + n, (size_t)(64 - n), "%s", "\\b");
}

int front_sentence_pattern(char *buf, int32_t size) {
  static const char *const abbr[] = {"Dr",  "Mr",  "Mrs", "Ms",  "Prof", "St",     "Jr",
                                     "Sr",  "vs",  "No",  "Fig", "Vol",  "pp",     "approx",
                                     "Jan", "Feb", "Mar", "Apr", "Jun",  "Jul",    "Aug",
                                     "Sep", "Sept", "Oct", "Nov", "Dec"};
  int32_t n = snprintf(buf, (size_t)size, "%s", "(?<=[.!?])");
  for (const char *a : abbr) {
    if (n < 0 || n >= size) return -1;
    n += snprintf(buf + n, (size_t)(size - n), "(?<!\\b%s\\.)", a);
  }
  if (n < 0 || n >= size) return -1;
  n += snprintf(buf + n, (size_t)(size - n), "%s",
                R"((?<!\be\.g\.)(?<!\bi\.e\.)(?<!\b[ap]\.m\.)(?<!\b[A-Z]\.)\s+)");
  return n < 0 || n >= size ? -1 : 0;
}

namespace {

const char *const kFracOne[11] = {"", "", "half", "third", "quarter", "fifth",
                                  "sixth", "seventh", "eighth", "ninth", "tenth"};
const char *const kFracMany[11] = {"", "", "halves", "thirds", "quarters", "fifths",
                                   "sixths", "sevenths", "eighths", "ninths", "tenths"};

const char *const kDigitWords[10] = {"zero", "one", "two",   "three", "four",
                                     "five", "six", "seven", "eight", "nine"};

void put(uint32_t *flag, u32s *o, const char *s) { u32s_ascii(flag, o, s); }

// Appends group g without leading zeros (one digit at least).
void put_unpadded(uint32_t *flag, u32s *o, const int32_t *m, const uint32_t *t, int g) {
  int32_t s = rxm_start(m, g), e = rxm_end(m, g);
  while (s < e - 1 && t[s] == '0') s++;
  u32s_put(flag, o, t + s, e - s);
}

void meridiem(uint32_t *flag, u32s *o, uint32_t c) {
  put(flag, o, c == 'a' || c == 'A' ? " ay em" : " pee em");
}

// The digits of t[s, e) as ASCII (digits of any script by value); other code
// points are copied as they are.
void ascii_digits(uint32_t *flag, const ucd *u, const uint32_t *t, int32_t s, int32_t e, sb *o,
                  bool drop_commas) {
  for (int32_t i = s; i < e; i++) {
    if (drop_commas && t[i] == ',') continue;
    int d = ucd_digit(u, t[i]);
    if (d >= 0) sb_ch(flag, o, (char)('0' + d));
    else if (t[i] < 128) sb_ch(flag, o, (char)t[i]);
    else sb_utf8(flag, o, t + i, 1);
  }
}

// Words handed back by the number routines: commas dropped, hyphens as
// blanks.
void put_words(uint32_t *flag, u32s *o, const sb &w) {
  for (int32_t i = 0; i < w.n; i++) {
    char c = w.p[i];
    if (c == ',') continue;
    u32s_push(flag, o, c == '-' ? ' ' : (uint32_t)(unsigned char)c);
  }
}

// Integer words (cardinal or ordinal) of t[s, e), commas removed first. A
// run too long for number words comes back in digit groups, whose commas are
// kept as the pauses between the groups.
void int_words(uint32_t *flag, const ucd *u, const uint32_t *t, int32_t s, int32_t e, bool ordinal,
               u32s *o) {
  u32s digits = {};
  for (int32_t i = s; i < e; i++)
    if (t[i] != ',') u32s_push(flag, &digits, t[i]);
  sb d = {}, w = {};
  py_int_digits(flag, u, digits.p, digits.n, &d);
  if (!*flag) {
    if (ordinal) nw_ordinal(flag, sb_cstr(&d), &w);
    else nw_cardinal(flag, sb_cstr(&d), &w);
  }
  if (!*flag) {
    if (d.n > NW_BRITISH_MAX_DIGITS) u32s_ascii(flag, o, sb_cstr(&w));
    else put_words(flag, o, w);
  }
  sb_free(&d);
  sb_free(&w);
  u32s_free(&digits);
}

// Words of a decimal number written in t[s, e). A number a double holds is
// read through its value; one whose whole part has more digits than a double
// keeps (the value would change them), or whose decimals run past what a
// double can place, is read as written: the whole part as an integer (in
// digit groups when too long for number words), then "point" and each
// decimal digit.
void float_words(uint32_t *flag, const ucd *u, const uint32_t *t, int32_t s, int32_t e, u32s *o) {
  int32_t point = s;
  while (point < e && t[point] != '.') point++;
  int32_t whole = 0; // digits of the whole part after its leading zeros
  for (int32_t i = s; i < point; i++)
    if (t[i] != ',' && (whole > 0 || ucd_digit(u, t[i]) != 0)) whole++;
  if (point < e && (whole > 15 || e - point - 1 > 300)) {
    int_words(flag, u, t, s, point, false, o);
    put(flag, o, " point");
    for (int32_t i = point + 1; i < e && !*flag; i++) {
      int dv = ucd_digit(u, t[i]);
      if (dv < 0) continue;
      u32s_push(flag, o, ' ');
      put(flag, o, kDigitWords[dv]);
    }
    return;
  }
  sb a = {}, w = {};
  ascii_digits(flag, u, t, s, e, &a, true);
  if (!*flag) nw_cardinal_float(flag, &w, tv_front_strtod(sb_cstr(&a)));
  if (!*flag) put_words(flag, o, w);
  sb_free(&a);
  sb_free(&w);
}

int roman_value(const uint32_t *t, int32_t n) {
  auto val = [](uint32_t c) {
    switch (c) {
    case 'I': return 1;
    case 'V': return 5;
    case 'X': return 10;
    case 'L': return 50;
    case 'C': return 100;
    case 'D': return 500;
    case 'M': return 1000;
    }
    return 0;
  };
  int v = 0;
  for (int32_t i = 0; i < n; i++) {
    int a = val(t[i]);
    if (i + 1 < n && val(t[i + 1]) > a) v -= a;
    else v += a;
  }
  return v;
}

} // namespace

void front_trim_ws(const ucd *u, u32s *s) {
  int32_t a = 0, b = s->n;
  while (a < b && ucd_is_space(u, s->p[a])) a++;
  while (b > a && ucd_is_space(u, s->p[b - 1])) b--;
  if (a > 0 && b > a) memmove(s->p, s->p + a, sizeof(uint32_t) * (size_t)(b - a));
  s->n = b - a;
}

void front_collapse_ws(uint32_t *flag, const tv_front *f, u32s *s) {
  rx_subf_inplace(flag, f->rx[FR_WS], s,
                  [](uint32_t *fl, const int32_t *, const uint32_t *, u32s *o) { u32s_push(fl, o, ' '); });
}

void front_normalize(uint32_t *flag, const tv_front *f, const uint32_t *text, int32_t n, u32s *out) {
  if (*flag) return;
  const ucd *u = &f->uc;
  const tv_g2p *g = &f->g2p;
  u32s s = {};
  u32s_put(flag, &s, text, n);
  auto sub = [&](int rule, auto &&fn) { rx_subf_inplace(flag, f->rx[rule], &s, fn); };
  using M = const int32_t *;
  using T = const uint32_t *;

  // 1 quotation marks
  sub(FR_QUOTES, [](uint32_t *fl, M m, T t, u32s *o) {
    uint32_t c = t[m[0]];
    if (c == 0x2018 || c == 0x2019 || c == '`') u32s_push(fl, o, '\'');
  });
  // 2 phone numbers: each group's digits one by one, groups joined by ", "
  sub(FR_PHONE, [](uint32_t *fl, M m, T t, u32s *o) {
    bool first = true;
    for (int gi = 1; gi <= 4; gi++) {
      if (!rxm_has(m, gi)) continue;
      if (!first) put(fl, o, ", ");
      first = false;
      for (int32_t i = rxm_start(m, gi); i < rxm_end(m, gi); i++) {
        if (i > rxm_start(m, gi)) u32s_push(fl, o, ' ');
        u32s_push(fl, o, t[i]);
      }
    }
  });
  // 3 clock times
  sub(FR_CLOCK, [](uint32_t *fl, M m, T t, u32s *o) {
    put_unpadded(fl, o, m, t, 1);
    int32_t hs = rxm_start(m, 1), hl = rxm_len(m, 1);
    int hv = 0;
    for (int32_t i = 0; i < hl; i++) hv = hv * 10 + (int)(t[hs + i] - '0');
    bool padded = hl == 2 && t[hs] == '0';
    uint32_t m1 = t[rxm_start(m, 2)], m2 = t[rxm_start(m, 2) + 1];
    bool mer = rxm_has(m, 3);
    if (m1 != '0') {
      u32s_push(fl, o, ' ');
      u32s_push(fl, o, m1);
      u32s_push(fl, o, m2);
    } else if (m2 != '0') {
      put(fl, o, " oh ");
      u32s_push(fl, o, m2);
    } else if (!mer) {
      put(fl, o, hv >= 1 && hv <= 12 && !padded ? " o'clock" : " hundred");
    }
    if (mer) meridiem(fl, o, t[rxm_start(m, 3)]);
  });
  // 4 a colon between digits
  sub(FR_COLON, [](uint32_t *fl, M, T, u32s *o) { u32s_push(fl, o, ' '); });
  // 5 an hour with its meridiem
  sub(FR_HOUR, [](uint32_t *fl, M m, T t, u32s *o) {
    put_unpadded(fl, o, m, t, 1);
    meridiem(fl, o, t[rxm_start(m, 2)]);
  });
  // 6 titles and abbreviations
  for (int i = 0; i < FR_NTITLES && !*flag; i++) {
    const char *word = f->title_words[i];
    rx_subf_inplace(flag, f->title_rx[i], &s,
                    [word](uint32_t *fl, M, T, u32s *o) { put(fl, o, word); });
  }
  // 7, 8 degrees
  sub(FR_DEG_CF, [](uint32_t *fl, M m, T t, u32s *o) {
    rxm_put(fl, o, m, t, 1);
    put(fl, o, t[rxm_start(m, 2)] == 'C' ? " degrees Celsius" : " degrees Fahrenheit");
  });
  sub(FR_DEG, [](uint32_t *fl, M m, T t, u32s *o) {
    rxm_put(fl, o, m, t, 1);
    put(fl, o, " degrees");
  });
  // 9, 10 ampersands
  sub(FR_AMP_LETTERS, [](uint32_t *fl, M m, T t, u32s *o) {
    for (int gi = 1; gi <= 2; gi++) {
      uint32_t c = t[rxm_start(m, gi)];
      if (c == 'A') put(fl, o, "ay");
      else u32s_push(fl, o, c);
      if (gi == 1) put(fl, o, " and ");
    }
  });
  sub(FR_AMP, [](uint32_t *fl, M, T, u32s *o) { put(fl, o, " and "); });
  // 11 about
  sub(FR_TILDE, [](uint32_t *fl, M, T, u32s *o) { put(fl, o, "about "); });
  // 12 money with a scale letter
  sub(FR_MONEY_SCALE, [](uint32_t *fl, M m, T t, u32s *o) {
    rxm_put(fl, o, m, t, 1);
    uint32_t c = t[rxm_start(m, 2)];
    put(fl, o, c == 'K' || c == 'k' ? " thousand" : c == 'M' || c == 'm' ? " million" : " billion");
  });
  // 13 versions
  sub(FR_VERSION, [](uint32_t *fl, M m, T t, u32s *o) {
    for (int32_t i = m[0]; i < m[1]; i++) {
      if (t[i] == '.') put(fl, o, " point ");
      else u32s_push(fl, o, t[i]);
    }
  });
  // 14 Roman chapter numbers; a match whose numeral is empty ("Part Dance")
  // is left as written
  sub(FR_ROMAN, [](uint32_t *fl, M m, T t, u32s *o) {
    if (rxm_len(m, 2) == 0) {
      rxm_put(fl, o, m, t, 0);
      return;
    }
    rxm_put(fl, o, m, t, 1);
    char buf[16];
    snprintf(buf, sizeof buf, " %d", roman_value(t + rxm_start(m, 2), rxm_len(m, 2)));
    put(fl, o, buf);
  });
  // 15 world wars
  sub(FR_WW, [](uint32_t *fl, M m, T t, u32s *o) {
    bool two = rxm_len(m, 1) == 2 || t[rxm_start(m, 1)] == '2';
    put(fl, o, two ? "World War 2" : "World War 1");
  });
  // 16 fractions
  sub(FR_FRACTION, [](uint32_t *fl, M m, T t, u32s *o) {
    uint32_t num = t[rxm_start(m, 1)];
    int den = rxm_len(m, 2) == 2 ? 10 : (int)(t[rxm_start(m, 2)] - '0');
    u32s_push(fl, o, num);
    u32s_push(fl, o, ' ');
    put(fl, o, num == '1' ? kFracOne[den] : kFracMany[den]);
  });
  // 17 ranges, 18 dimensions, 19 joiners
  sub(FR_RANGE, [](uint32_t *fl, M m, T t, u32s *o) {
    rxm_put(fl, o, m, t, 1);
    put(fl, o, " to ");
    rxm_put(fl, o, m, t, 2);
  });
  sub(FR_DIMENSION, [](uint32_t *fl, M m, T t, u32s *o) {
    rxm_put(fl, o, m, t, 1);
    put(fl, o, " by ");
    rxm_put(fl, o, m, t, 2);
  });
  sub(FR_JOIN, [](uint32_t *fl, M, T, u32s *o) { u32s_push(fl, o, ' '); });
  // 20 money
  sub(FR_MONEY, [](uint32_t *fl, M m, T t, u32s *o) {
    rxm_put(fl, o, m, t, 2);
    u32s_push(fl, o, ' ');
    if (rxm_has(m, 3)) {
      rxm_put(fl, o, m, t, 3);
      u32s_push(fl, o, ' ');
    }
    uint32_t c = t[rxm_start(m, 1)];
    put(fl, o, c == '$' ? "dollars" : c == 0xA3 ? "pounds" : "euros");
  });
  // 21 percentages
  sub(FR_PERCENT, [](uint32_t *fl, M m, T t, u32s *o) {
    rxm_put(fl, o, m, t, 1);
    put(fl, o, " percent");
  });
  // 22 units
  for (int i = 0; i < FR_NUNITS && !*flag; i++) {
    const char *words = f->unit_words[i];
    rx_subf_inplace(flag, f->unit_rx[i], &s, [words](uint32_t *fl, M m, T t, u32s *o) {
      rxm_put(fl, o, m, t, 1);
      u32s_push(fl, o, ' ');
      put(fl, o, words);
    });
  }
  // 23 ordinals, 24 grouped numbers, 25 decimals, 26 long numbers
  sub(FR_ORDINAL, [u](uint32_t *fl, M m, T t, u32s *o) {
    int_words(fl, u, t, rxm_start(m, 1), rxm_end(m, 1), true, o);
  });
  sub(FR_GROUPED, [u](uint32_t *fl, M m, T t, u32s *o) {
    bool point = u32_find(t + m[0], m[1] - m[0], '.') >= 0;
    if (point) float_words(fl, u, t, m[0], m[1], o);
    else int_words(fl, u, t, m[0], m[1], false, o);
  });
  sub(FR_DECIMAL, [u](uint32_t *fl, M m, T t, u32s *o) { float_words(fl, u, t, m[0], m[1], o); });
  sub(FR_LONG, [u](uint32_t *fl, M m, T t, u32s *o) {
    int_words(fl, u, t, m[0], m[1], false, o);
  });
  // 27 an acronym glued to a lower-case word, 28 acronyms
  sub(FR_ACRONYM_GLUED, [](uint32_t *fl, M m, T t, u32s *o) {
    u32s_push(fl, o, ' ');
    rxm_put(fl, o, m, t, 1);
  });
  sub(FR_ACRONYM, [g](uint32_t *fl, M m, T t, u32s *o) {
    int32_t len = m[1] - m[0];
    char word[8], low[8];
    if (len > 7) { // the pattern never matches more than six
      rxm_put(fl, o, m, t, 0);
      return;
    }
    for (int32_t i = 0; i < len; i++) {
      word[i] = (char)t[m[0] + i];
      low[i] = (char)(word[i] >= 'A' && word[i] <= 'Z' ? word[i] + 32 : word[i]);
    }
    word[len] = low[len] = 0;
    if (g2p_in_cmu(g, low)) {
      put(fl, o, word);
      return;
    }
    bool plural = word[len - 1] == 's';
    int32_t caps = plural ? len - 1 : len;
    for (int32_t i = 0; i < caps; i++) {
      if (i) u32s_push(fl, o, ' ');
      if (word[i] == 'A') put(fl, o, "ay");
      else u32s_push(fl, o, (uint32_t)word[i]);
    }
    if (len >= 3 && plural) put(fl, o, "'s");
  });
  // 29 number words
  if (!*flag) {
    u32s t = {};
    nw_normalize_numbers(flag, &g->nw, s.p, s.n, &t);
    if (!*flag) u32s_move(&s, &t);
    u32s_free(&t);
  }
  // 30 hyphens between words, 31 commas after scale words
  sub(FR_HYPHEN, [](uint32_t *fl, M, T, u32s *o) { u32s_push(fl, o, ' '); });
  sub(FR_SCALE_COMMA, [](uint32_t *fl, M m, T t, u32s *o) { rxm_put(fl, o, m, t, 1); });
  // 32 dashes and ellipses
  if (!*flag) {
    u32s t = {};
    for (int32_t i = 0; i < s.n; i++) {
      uint32_t c = s.p[i];
      if (c == 0x2014 || c == 0x2013) put(flag, &t, ", ");
      else if (c == 0x2026) put(flag, &t, ". ");
      else u32s_push(flag, &t, c);
    }
    if (!*flag) u32s_move(&s, &t);
    u32s_free(&t);
  }
  // 33, 34 white space
  front_collapse_ws(flag, f, &s);
  front_trim_ws(u, &s);
  if (!*flag) u32s_put(flag, out, s.p, s.n);
  u32s_free(&s);
}
