#include "front/numwords.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "front/rxsub.h"
#include "runtime/error.h"

namespace {

const char *const ONES[20] = {"zero",    "one",     "two",       "three",    "four",
                              "five",    "six",     "seven",     "eight",    "nine",
                              "ten",     "eleven",  "twelve",    "thirteen", "fourteen",
                              "fifteen", "sixteen", "seventeen", "eighteen", "nineteen"};
const char *const TENS[10] = {"",      "",      "twenty",  "thirty", "forty",
                              "fifty", "sixty", "seventy", "eighty", "ninety"};
const char *const HIGH[32] = {"m",        "b",          "tr",         "quadr",      "quint",
                              "sext",     "sept",       "oct",        "non",        "dec",
                              "undec",    "duodec",     "tredec",     "quattuordec", "quindec",
                              "sexdec",   "septendec",  "octodec",    "novemdec",   "vigint",
                              "unvigint", "duovigint",  "trevigint",  "quattuorvigint",
                              "quinvigint", "sexvigint", "septenvigint", "octovigint",
                              "novemvigint", "trigint", "untrigint",  "duotrigint"};
const char *const ORD_BRIT[12][2] = {
    {"one", "first"},   {"two", "second"}, {"three", "third"},   {"four", "fourth"},
    {"five", "fifth"},  {"six", "sixth"},  {"seven", "seventh"}, {"eight", "eighth"},
    {"nine", "ninth"},  {"ten", "tenth"},  {"eleven", "eleventh"}, {"twelve", "twelfth"}};
const char *const IONES[10] = {"", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine"};
const char *const ITEENS[10] = {"ten",     "eleven",  "twelve",    "thirteen", "fourteen",
                                "fifteen", "sixteen", "seventeen", "eighteen", "nineteen"};
const char *const IMILL[12] = {" ",           " thousand",   " million",    " billion",
                               " trillion",   " quadrillion", " quintillion", " sextillion",
                               " septillion", " octillion",  " nonillion",  " decillion"};
const char *const ORD_CONF[7][2] = {{"one", "first"},   {"two", "second"}, {"three", "third"},
                                    {"five", "fifth"},  {"eight", "eighth"}, {"nine", "ninth"},
                                    {"twelve", "twelfth"}};



void put_ascii(uint32_t *flag, u32s *o, const char *s) { u32s_ascii(flag, o, s); }

// Trims white space (as the Unicode data defines it) at both ends.
void trim_u32(const ucd *u, u32s *s) {
  int32_t a = 0, b = s->n;
  while (a < b && ucd_is_space(u, s->p[a])) a++;
  while (b > a && ucd_is_space(u, s->p[b - 1])) b--;
  if (a > 0 && b > a) memmove(s->p, s->p + a, sizeof(uint32_t) * (size_t)(b - a));
  s->n = b - a;
}

void sb_from_text(uint32_t *flag, sb *out, const u32s &s) { sb_from_u32(flag, out, s.p, s.n); }

// Two-digit words of the configurable routine.
void two_digit(uint32_t *flag, u32s *o, int t, int u) {
  if (t == 1) {
    put_ascii(flag, o, ITEENS[u]);
    put_ascii(flag, o, " ");
    return;
  }
  put_ascii(flag, o, TENS[t]);
  if (t && u) put_ascii(flag, o, "-");
  put_ascii(flag, o, IONES[u]);
  if (t || u) put_ascii(flag, o, " ");
}

int digit_of(const ucd *u, uint32_t c) {
  int d = ucd_digit(u, c);
  return d < 0 ? 0 : d;
}

bool ends_with(const char *s, size_t n, const char *suf) {
  size_t k = strlen(suf);
  return n >= k && memcmp(s + n - k, suf, k) == 0;
}

} // namespace

const char *const kNumwordsPatterns[NW_NRX] = {
    R"(^(\d+)(st|nd|rd|th)$)", R"((\d)(\d))", R"((\d)$)",   R"((\S)\s+,)",
    R"(\s+,)",                 R"(,\s*$)",    R"(\s+)",     R"(, (\S+)\Z)",
    R"((\w+)$)",               R"(([0-9][0-9\,]+[0-9]))",   "\xC2\xA3([0-9\\,]*[0-9]+)",
    R"(\$([0-9\.\,]*[0-9]+))", R"(([0-9]+\.[0-9]+))",       R"([0-9]+(st|nd|rd|th))",
    R"([0-9]+)"};

int numwords_init(tv_numwords *rec, const ucd *u) {
  memset(rec, 0, sizeof *rec);
  rec->u = u;
  for (int i = 0; i < NW_NRX; i++) {
    rec->rx[i] = tv_rx_compile(u, kNumwordsPatterns[i], 0);
    if (!rec->rx[i]) {
      numwords_free(rec);
      return -1;
    }
  }
  return 0;
}

void numwords_free(tv_numwords *rec) {
  if (!rec) return;
  for (int i = 0; i < NW_NRX; i++) tv_rx_free(rec->rx[i]);
  memset(rec, 0, sizeof *rec);
}

void py_int_digits(uint32_t *flag, const ucd *u, const uint32_t *text, int32_t n, sb *out) {
  if (n <= 0) {
    sb_cat(flag, out, "0");
    return;
  }
  for (int32_t i = 0; i < n; i++) {
    if (ucd_digit(u, text[i]) < 0) {
      sb t = {};
      sb_utf8(flag, &t, text, n);
      if (t.n > 200) t.n = 200;
      fx_fail(flag, "ValueError: invalid literal for int() with base 10: '%.*s'", (int)t.n,
              sb_cstr(&t));
      sb_free(&t);
      return;
    }
  }
  int32_t i = 0;
  while (i < n - 1 && ucd_digit(u, text[i]) == 0) i++;
  for (; i < n; i++) sb_ch(flag, out, (char)('0' + ucd_digit(u, text[i])));
}

void nw_digit_groups(uint32_t *flag, const char *digits, int32_t n, sb *out) {
  // Groups of three from the left; the last group takes two to four digits
  // (eight left are read as four and four), so no digit is read alone.
  int32_t at = 0, left = n;
  while (left > 0) {
    int32_t take = left > 4 ? (left == 8 ? 4 : 3) : left;
    if (at) sb_cat(flag, out, ", ");
    for (int32_t i = at; i < at + take; i++) {
      if (i > at) sb_ch(flag, out, ' ');
      int d = digits[i] - '0';
      sb_cat(flag, out, ONES[d >= 0 && d <= 9 ? d : 0]);
    }
    at += take;
    left -= take;
  }
}

void nw_cardinal(uint32_t *flag, const char *digits, sb *out) {
  size_t len = strlen(digits);
  if (len > NW_BRITISH_MAX_DIGITS) {
    nw_digit_groups(flag, digits, (int32_t)len, out);
    return;
  }
  if (strcmp(digits, "0") == 0 || len == 0) {
    sb_cat(flag, out, "zero");
    return;
  }
  // Groups of three from the right: g[0] is the lowest.
  int ng = (int)((len + 2) / 3);
  int g[35] = {0};
  for (int k = 0; k < ng; k++) {
    int v = 0;
    for (int j = 2; j >= 0; j--) {
      long pos = (long)len - 1 - (long)(3 * k + j);
      v = v * 10 + (pos >= 0 ? digits[pos] - '0' : 0);
    }
    g[k] = v;
  }
  bool low_small = g[0] < 100, first = true;
  for (int k = ng - 1; k >= 0; k--) {
    if (g[k] == 0) continue;
    if (!first) sb_cat(flag, out, (k != 0 || !low_small) ? ", " : " and ");
    first = false;
    int h = g[k] / 100, r = g[k] % 100;
    if (h) {
      sb_cat(flag, out, ONES[h]);
      sb_cat(flag, out, " hundred");
      if (r) sb_cat(flag, out, " and ");
    }
    if (r > 19) {
      sb_cat(flag, out, TENS[r / 10]);
      if (r % 10) {
        sb_ch(flag, out, '-');
        sb_cat(flag, out, ONES[r % 10]);
      }
    } else if (r >= 1) {
      sb_cat(flag, out, ONES[r]);
    }
    if (k == 1) {
      sb_cat(flag, out, " thousand");
    } else if (k >= 2) {
      sb_ch(flag, out, ' ');
      sb_cat(flag, out, HIGH[k - 2]);
      sb_cat(flag, out, "illion");
    }
  }
}

void nw_ordinal(uint32_t *flag, const char *digits, sb *out) {
  sb w = {};
  nw_cardinal(flag, digits, &w);
  if (*flag) {
    sb_free(&w);
    return;
  }
  const char *s = sb_cstr(&w);
  int32_t start = 0;
  for (int32_t i = 0; i < w.n; i++)
    if (s[i] == ' ') start = i + 1;
  for (int32_t i = start; i < w.n; i++)
    if (s[i] == '-') start = i + 1;
  const char *last = s + start;
  sb_put(flag, out, s, start);
  for (auto &p : ORD_BRIT) {
    if (strcmp(last, p[0]) == 0) {
      sb_cat(flag, out, p[1]);
      sb_free(&w);
      return;
    }
  }
  int32_t k = w.n - start;
  if (k > 0 && last[k - 1] == 'y') {
    sb_put(flag, out, last, k - 1);
    sb_cat(flag, out, "ie");
  } else {
    sb_put(flag, out, last, k);
  }
  sb_cat(flag, out, "th");
  sb_free(&w);
}

void double_int_digits(uint32_t *flag, sb *out, double x) {
  x = fabs(x);
  if (!isfinite(x)) return;
  if (x < 9.2e18) {
    char buf[32];
    snprintf(buf, sizeof buf, "%llu", (unsigned long long)x);
    sb_cat(flag, out, buf);
    return;
  }
  // x = mant * 2^e with a 53-bit integer mantissa, expanded exactly in base
  // 10^9 limbs (least significant first).
  int e = 0;
  double fr = frexp(x, &e);
  uint64_t mant = (uint64_t)ldexp(fr, 53);
  e -= 53;
  std::vector<uint64_t> limb;
  while (mant) {
    limb.push_back(mant % 1000000000u);
    mant /= 1000000000u;
  }
  while (e > 0) {
    int s = e > 20 ? 20 : e;
    uint64_t carry = 0;
    for (uint64_t &l : limb) {
      uint64_t v = (l << s) + carry;
      l = v % 1000000000u;
      carry = v / 1000000000u;
    }
    while (carry) {
      limb.push_back(carry % 1000000000u);
      carry /= 1000000000u;
    }
    e -= s;
  }
  char buf[16];
  snprintf(buf, sizeof buf, "%llu", (unsigned long long)limb.back());
  sb_cat(flag, out, buf);
  for (size_t i = limb.size() - 1; i-- > 0;) {
    snprintf(buf, sizeof buf, "%09llu", (unsigned long long)limb[i]);
    sb_cat(flag, out, buf);
  }
}

void nw_cardinal_float(uint32_t *flag, sb *out, double x) {
  if (isinf(x)) {
    fx_fail(flag, "OverflowError: cannot convert float infinity to integer");
    return;
  }
  if (isnan(x)) {
    fx_fail(flag, "ValueError: cannot convert float NaN to integer");
    return;
  }
  sb d = {};
  if (x == trunc(x)) {
    if (x < 0) sb_cat(flag, out, "minus ");
    double_int_digits(flag, &d, x);
    if (!*flag) nw_cardinal(flag, sb_cstr(&d), out);
    sb_free(&d);
    return;
  }
  // The shortest scientific form that reads back as x. The mantissa's digits
  // are taken from the formatted text whatever the locale's decimal point,
  // and the form is re-assembled with '.' before it is read back.
  int places = 0;
  for (int prec = 0; prec <= 16; prec++) {
    char buf[64], asc[64];
    snprintf(buf, sizeof buf, "%.*e", prec, fabs(x));
    int nd = 0, exp10v = 0;
    char digs[32];
    const char *p = buf;
    for (; *p && *p != 'e'; p++)
      if (*p >= '0' && *p <= '9' && nd < 31) digs[nd++] = *p;
    if (*p == 'e') exp10v = atoi(p + 1);
    digs[nd] = 0;
    snprintf(asc, sizeof asc, "%c.%se%d", digs[0], digs + 1, exp10v);
    if (tv_strtod(asc, NULL) == fabs(x) || prec == 16) {
      places = nd - 1 - exp10v;
      break;
    }
  }
  if (places >= 309) {
    fx_fail(flag, "OverflowError: int too large to convert to float");
    return;
  }
  double ax = fabs(x), ip = trunc(ax);
  char pbuf[16];
  snprintf(pbuf, sizeof pbuf, "1e%d", places);
  double f = (ax - ip) * tv_strtod(pbuf, NULL);
  double r = nearbyint(f);
  f = fabs(f - r) < 0.01 ? r : floor(f);
  // A negative number keeps its sign even when its integer part is zero.
  if (x < 0) sb_cat(flag, out, "minus ");
  if (ip != 0) {
    double_int_digits(flag, &d, ip);
    if (!*flag) nw_cardinal(flag, sb_cstr(&d), out);
  } else {
    sb_cat(flag, out, "zero");
  }
  sb_free(&d);
  sb fd = {};
  double_int_digits(flag, &fd, f);
  sb_cat(flag, out, " point");
  for (int32_t i = fd.n; i < places; i++) sb_cat(flag, out, " zero");
  for (int32_t i = 0; i < fd.n; i++) {
    sb_ch(flag, out, ' ');
    sb_cat(flag, out, ONES[fd.p[i] - '0']);
  }
  sb_free(&fd);
}

void inflect_words(uint32_t *flag, const tv_numwords *rec, const uint32_t *text, int32_t n,
                   const char *and_word, const char *zero_word, int group, sb *out) {
  if (*flag) return;
  const ucd *u = rec->u;
  int32_t m[TV_RX_MREC];
  const uint32_t *num = text;
  int32_t nn = n;
  bool ordinal = false;
  if (tv_rx_search(flag, rec->rx[NW_ORD_RX], text, n, 0, m)) {
    num = text + rxm_start(m, 1);
    nn = rxm_len(m, 1);
    ordinal = true;
  }
  std::string spaced_and = and_word && *and_word ? std::string(" ") + and_word + " " : " ";
  u32s w = {};
  if (group == 2) {
    u32s t = {};
    rx_subf(flag, rec->rx[NW_PAIR_RX], num, nn, &t,
            [&](uint32_t *fl, const int32_t *mm, const uint32_t *tx, u32s *o) {
              int a = digit_of(u, tx[rxm_start(mm, 1)]), b = digit_of(u, tx[rxm_start(mm, 2)]);
              if (a == 0) {
                put_ascii(fl, o, zero_word);
                put_ascii(fl, o, " ");
                put_ascii(fl, o, b ? IONES[b] : zero_word);
              } else {
                two_digit(fl, o, a, b);
              }
              put_ascii(fl, o, ", ");
            });
    rx_subf(flag, rec->rx[NW_LAST_RX], t.p, t.n, &w,
            [&](uint32_t *fl, const int32_t *mm, const uint32_t *tx, u32s *o) {
              int a = digit_of(u, tx[rxm_start(mm, 1)]);
              put_ascii(fl, o, a ? IONES[a] : zero_word);
              put_ascii(fl, o, ", ");
            });
    u32s_free(&t);
  } else {
    sb d = {};
    py_int_digits(flag, u, num, nn, &d);
    const char *ds = sb_cstr(&d);
    if (*flag) {
      // nothing more
    } else if (strcmp(ds, "0") == 0) {
      put_ascii(flag, &w, zero_word);
    } else if (strcmp(ds, "1") == 0) {
      put_ascii(flag, &w, "one");
    } else if (d.n > NW_INFLECT_MAX_DIGITS) {
      sb g = {};
      nw_digit_groups(flag, ds, d.n, &g);
      put_ascii(flag, &w, sb_cstr(&g));
      sb_free(&g);
    } else {
      int32_t len = d.n, mk = (len - 1) / 3, at = len - 3 * mk;
      for (int32_t k = mk; k >= 0 && !*flag; k--) {
        int32_t from = k == mk ? 0 : at + 3 * (mk - 1 - k);
        int32_t to = k == mk ? at : from + 3;
        int v[3] = {0, 0, 0};
        for (int32_t i = from; i < to; i++) v[3 - (to - i)] = ds[i] - '0';
        int h = v[0], t = v[1], un = v[2];
        if (!h && !t && !un) continue;
        if (h) {
          put_ascii(flag, &w, IONES[h]);
          put_ascii(flag, &w, " hundred");
          if (t || un) put_ascii(flag, &w, spaced_and.c_str());
        }
        two_digit(flag, &w, t, un);
        put_ascii(flag, &w, IMILL[k]);
        put_ascii(flag, &w, ", ");
      }
    }
    sb_free(&d);
  }
  // Clean-up of blanks and commas.
  rx_subf_inplace(flag, rec->rx[NW_SPCOMMA_RX], &w,
                  [](uint32_t *fl, const int32_t *mm, const uint32_t *tx, u32s *o) {
                    rxm_put(fl, o, mm, tx, 1);
                    u32s_push(fl, o, ',');
                  });
  rx_subf_inplace(flag, rec->rx[NW_WSCOMMA_RX], &w,
                  [](uint32_t *fl, const int32_t *, const uint32_t *, u32s *o) {
                    u32s_push(fl, o, ',');
                  });
  rx_subf_inplace(flag, rec->rx[NW_ENDCOMMA_RX], &w,
                  [](uint32_t *, const int32_t *, const uint32_t *, u32s *) {});
  auto blank = [](uint32_t *fl, const int32_t *, const uint32_t *, u32s *o) { u32s_push(fl, o, ' '); };
  rx_subf_inplace(flag, rec->rx[NW_WS_RX], &w, blank);
  trim_u32(u, &w);
  if (group == 2) {
    u32s j = {};
    int32_t a = 0;
    bool any = false;
    for (int32_t i = 0; i <= w.n && !*flag; i++) {
      if (i < w.n && w.p[i] != ',') continue;
      int32_t s = a, e = i;
      while (s < e && ucd_is_space(u, w.p[s])) s++;
      while (e > s && ucd_is_space(u, w.p[e - 1])) e--;
      if (e > s) {
        if (any) put_ascii(flag, &j, ", ");
        u32s_put(flag, &j, w.p + s, e - s);
        any = true;
      }
      a = i + 1;
    }
    u32s_move(&w, &j);
  } else {
    rx_subf_inplace(flag, rec->rx[NW_LASTAND_RX], &w,
                    [&](uint32_t *fl, const int32_t *mm, const uint32_t *tx, u32s *o) {
                      put_ascii(fl, o, " ");
                      put_ascii(fl, o, and_word ? and_word : "");
                      put_ascii(fl, o, " ");
                      rxm_put(fl, o, mm, tx, 1);
                    });
    rx_subf_inplace(flag, rec->rx[NW_WS_RX], &w, blank);
    trim_u32(u, &w);
  }
  if (ordinal && !*flag && tv_rx_search(flag, rec->rx[NW_LASTWORD_RX], w.p, w.n, 0, m)) {
    sb last = {};
    sb_from_u32(flag, &last, w.p + m[0], m[1] - m[0]);
    const char *ls = sb_cstr(&last);
    u32s o = {};
    u32s_put(flag, &o, w.p, m[0]);
    bool done = false;
    for (auto &p : ORD_CONF) {
      if (strcmp(ls, p[0]) == 0) {
        put_ascii(flag, &o, p[1]);
        done = true;
        break;
      }
    }
    if (!done) {
      if (ends_with(ls, (size_t)last.n, "ty")) {
        u32s_put(flag, &o, w.p + m[0], m[1] - m[0] - 1);
        put_ascii(flag, &o, "ieth");
      } else {
        u32s_put(flag, &o, w.p + m[0], m[1] - m[0]);
        put_ascii(flag, &o, "th");
      }
    }
    u32s_put(flag, &o, w.p + m[1], w.n - m[1]);
    u32s_move(&w, &o);
    sb_free(&last);
  }
  if (!*flag) sb_from_text(flag, out, w);
  u32s_free(&w);
}

namespace {

// Canonical digits of a piece of an amount, without the commas it may still
// hold (a comma left beside a point would otherwise fail the whole text).
void amount_digits(uint32_t *flag, const ucd *u, const uint32_t *p, int32_t n, sb *out) {
  u32s t = {};
  for (int32_t i = 0; i < n; i++)
    if (p[i] != ',') u32s_push(flag, &t, p[i]);
  py_int_digits(flag, u, t.p, t.n, out);
  u32s_free(&t);
}

void dollars(uint32_t *flag, const ucd *u, const uint32_t *a, int32_t n, u32s *o) {
  int32_t dots = 0, at = -1;
  for (int32_t i = 0; i < n; i++)
    if (a[i] == '.') dots++, at = at < 0 ? i : at;
  if (dots > 1) {
    u32s_put(flag, o, a, n);
    put_ascii(flag, o, " dollars");
    return;
  }
  sb d = {}, c = {};
  amount_digits(flag, u, a, at < 0 ? n : at, &d);
  if (at < 0) sb_cat(flag, &c, "0");
  else amount_digits(flag, u, a + at + 1, n - at - 1, &c);
  if (!*flag) {
    const char *ds = sb_cstr(&d), *cs = sb_cstr(&c);
    bool dz = strcmp(ds, "0") == 0, cz = strcmp(cs, "0") == 0;
    if (dz && cz) {
      put_ascii(flag, o, "zero dollars");
    } else if (dz) {
      put_ascii(flag, o, cs);
      put_ascii(flag, o, strcmp(cs, "1") == 0 ? " cent" : " cents");
    } else {
      put_ascii(flag, o, ds);
      put_ascii(flag, o, strcmp(ds, "1") == 0 ? " dollar" : " dollars");
      if (!cz) {
        put_ascii(flag, o, ", ");
        put_ascii(flag, o, cs);
        put_ascii(flag, o, strcmp(cs, "1") == 0 ? " cent" : " cents");
      }
    }
  }
  sb_free(&d);
  sb_free(&c);
}

void words_to(uint32_t *flag, const tv_numwords *rec, const char *digits, const char *and_word,
              const char *zero_word, int group, u32s *o) {
  u32s t = {};
  u32s_ascii(flag, &t, digits);
  sb w = {};
  inflect_words(flag, rec, t.p, t.n, and_word, zero_word, group, &w);
  u32s_ascii(flag, o, sb_cstr(&w));
  sb_free(&w);
  u32s_free(&t);
}

void plain_number(uint32_t *flag, const tv_numwords *rec, const uint32_t *p, int32_t n, u32s *o) {
  sb d = {};
  py_int_digits(flag, rec->u, p, n, &d);
  if (*flag) {
    sb_free(&d);
    return;
  }
  const char *ds = sb_cstr(&d);
  if (d.n == 4 && strcmp(ds, "1000") > 0 && strcmp(ds, "3000") < 0) {
    if (strcmp(ds, "2000") == 0) {
      put_ascii(flag, o, "two thousand");
    } else if (strncmp(ds, "200", 3) == 0) {
      put_ascii(flag, o, "two thousand ");
      char last[2] = {ds[3], 0};
      words_to(flag, rec, last, "and", "zero", 0, o);
    } else if (ds[2] == '0' && ds[3] == '0') {
      char hi[3] = {ds[0], ds[1], 0};
      words_to(flag, rec, hi, "and", "zero", 0, o);
      put_ascii(flag, o, " hundred");
    } else {
      u32s y = {};
      words_to(flag, rec, ds, "", "oh", 2, &y);
      for (int32_t i = 0; i < y.n; i++) {
        if (y.p[i] == ',' && i + 1 < y.n && y.p[i + 1] == ' ') {
          u32s_push(flag, o, ' ');
          i++;
        } else {
          u32s_push(flag, o, y.p[i]);
        }
      }
      u32s_free(&y);
    }
  } else {
    words_to(flag, rec, ds, "", "zero", 0, o);
  }
  sb_free(&d);
}

} // namespace

void nw_normalize_numbers(uint32_t *flag, const tv_numwords *rec, const uint32_t *text,
                          int32_t n, u32s *out) {
  if (*flag) return;
  const ucd *u = rec->u;
  u32s s = {};
  u32s_put(flag, &s, text, n);
  rx_subf_inplace(flag, rec->rx[NW_GROUPED_RX], &s,
                  [](uint32_t *fl, const int32_t *m, const uint32_t *t, u32s *o) {
                    for (int32_t i = rxm_start(m, 1); i < rxm_end(m, 1); i++)
                      if (t[i] != ',') u32s_push(fl, o, t[i]);
                  });
  rx_subf_inplace(flag, rec->rx[NW_POUNDS_RX], &s,
                  [](uint32_t *fl, const int32_t *m, const uint32_t *t, u32s *o) {
                    rxm_put(fl, o, m, t, 1);
                    put_ascii(fl, o, " pounds");
                  });
  rx_subf_inplace(flag, rec->rx[NW_DOLLARS_RX], &s,
                  [&](uint32_t *fl, const int32_t *m, const uint32_t *t, u32s *o) {
                    dollars(fl, u, t + rxm_start(m, 1), rxm_len(m, 1), o);
                  });
  rx_subf_inplace(flag, rec->rx[NW_DECIMAL_RX], &s,
                  [](uint32_t *fl, const int32_t *m, const uint32_t *t, u32s *o) {
                    for (int32_t i = rxm_start(m, 1); i < rxm_end(m, 1); i++) {
                      if (t[i] == '.') put_ascii(fl, o, " point ");
                      else u32s_push(fl, o, t[i]);
                    }
                  });
  rx_subf_inplace(flag, rec->rx[NW_ORDINAL_RX], &s,
                  [&](uint32_t *fl, const int32_t *m, const uint32_t *t, u32s *o) {
                    sb w = {};
                    inflect_words(fl, rec, t + m[0], m[1] - m[0], "and", "zero", 0, &w);
                    u32s_ascii(fl, o, sb_cstr(&w));
                    sb_free(&w);
                  });
  rx_subf_inplace(flag, rec->rx[NW_NUMBER_RX], &s,
                  [&](uint32_t *fl, const int32_t *m, const uint32_t *t, u32s *o) {
                    plain_number(fl, rec, t + m[0], m[1] - m[0], o);
                  });
  if (!*flag) u32s_put(flag, out, s.p, s.n);
  u32s_free(&s);
}

double tv_front_strtod(const char *text) { return text ? tv_strtod(text, NULL) : 0.0; }
