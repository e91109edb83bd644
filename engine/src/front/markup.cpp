#include "front/markup.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "front/frontend.h"
#include "front/normalize.h"
#include "front/numwords.h"
#include "front/rxsub.h"
#include "front/sb.h"
#include "runtime/error.h"

namespace {

const char *const kModifiers[] = {"emph", "slow", "fast", "high", "low", "loud", "soft"};
enum { EMPH, SLOW, FAST, HIGH, LOW, LOUD, SOFT };

struct Style {
  std::string name;
  std::vector<std::string> names;
  std::vector<float> values;
  bool operator==(const Style &o) const {
    return name == o.name && names == o.names && values == o.values;
  }
};

enum Kind { TEXT, PAUSE, BREAK };

struct Piece {
  Kind kind;
  std::vector<uint32_t> text;
  int style = 0;
  uint32_t flags = 0;
  int32_t pause = 0;
};

bool is_marker(const std::vector<uint32_t> &t, const char *w) {
  size_t n = strlen(w);
  if (t.size() != n) return false;
  for (size_t i = 0; i < n; i++)
    if (t[i] != (uint32_t)(unsigned char)w[i]) return false;
  return true;
}

struct Parser {
  const tv_front *f;
  const ucd *u;
  explicit Parser(const tv_front *front) : f(front), u(&front->uc) {}
  uint32_t flag = 0;
  std::vector<Style> styles;
  std::vector<Piece> pieces;
  // The word counter's memory: the last text counted and its count.
  std::vector<uint32_t> counted;
  int32_t counted_words = -1;

  int add_style(const char *name, const char *const *names, const float *values, int32_t n) {
    Style s;
    s.name = name ? name : "";
    for (int32_t i = 0; i < n; i++) {
      std::string k = names && names[i] ? names[i] : "";
      auto at = std::find(s.names.begin(), s.names.end(), k);
      if (at != s.names.end()) {
        s.values[(size_t)(at - s.names.begin())] = values ? values[i] : 0.0f;
      } else {
        s.names.push_back(k);
        s.values.push_back(values ? values[i] : 0.0f);
      }
    }
    // Insertion sort by name, values moving with their names.
    for (size_t i = 1; i < s.names.size(); i++) {
      for (size_t j = i; j > 0 && s.names[j - 1] > s.names[j]; j--) {
        std::swap(s.names[j - 1], s.names[j]);
        std::swap(s.values[j - 1], s.values[j]);
      }
    }
    styles.push_back(std::move(s));
    return (int)styles.size() - 1;
  }

  std::string lower_utf8(const uint32_t *p, int32_t n) {
    u32s l = {};
    ucd_lower_small(&flag, u, p, n, &l);
    sb b = {};
    sb_utf8(&flag, &b, l.p, l.n);
    std::string r(sb_cstr(&b), (size_t)b.n);
    sb_free(&b);
    u32s_free(&l);
    return r;
  }

  std::string utf8(const uint32_t *p, int32_t n) {
    sb b = {};
    sb_utf8(&flag, &b, p, n);
    std::string r(sb_cstr(&b), (size_t)b.n);
    sb_free(&b);
    return r;
  }

  void text_piece(const uint32_t *p, int32_t n, int style, uint32_t flags) {
    Piece pc{TEXT, std::vector<uint32_t>(p, p + n), style, flags, 0};
    pieces.push_back(std::move(pc));
  }

  // Words of a text: one more than the largest word index its conversion
  // gives after trimming (0 without words).
  int32_t count_words(const std::vector<uint32_t> &t) {
    if (counted_words >= 0 && counted == t) return counted_words;
    u32s s = {};
    u32s_put(&flag, &s, t.data(), (int32_t)t.size());
    front_trim_ws(u, &s);
    tv_phonemes ph = {};
    int32_t top = -1;
    if (!flag && front_phonemes_u32(&flag, f, s.p, s.n, &ph) == 0)
      for (int32_t i = 0; i < ph.count; i++) top = std::max(top, ph.words[i]);
    tv_phonemes_free(&ph);
    u32s_free(&s);
    counted = t;
    counted_words = top + 1;
    return counted_words;
  }
};

void shift_of(uint32_t flags, tv_word_shift *w) {
  auto has = [&](int b) { return (flags >> b) & 1u; };
  w->dur = has(EMPH) ? 1.2f : 1.0f;
  if (has(SLOW)) w->dur *= 1.4f;
  if (has(FAST)) w->dur *= 0.75f;
  w->pitch = has(EMPH) ? 2.5f : 0.0f;
  if (has(HIGH)) w->pitch += 3.0f;
  if (has(LOW)) w->pitch -= 3.0f;
  w->energy = has(EMPH) ? 4.0f : 0.0f;
  if (has(LOUD)) w->energy += 6.0f;
  if (has(SOFT)) w->energy -= 6.0f;
}

struct Out {
  std::vector<tv_segment> segs;
  ~Out() {
    for (tv_segment &s : segs) tv_segments_free_one(s);
  }
  static void tv_segments_free_one(tv_segment &s) {
    tv_free(s.text);
    tv_free(s.tag);
    for (int32_t i = 0; i < s.nctrl; i++) tv_free(s.ctrl_names[i]);
    tv_free(s.ctrl_names);
    tv_free(s.ctrl_values);
    tv_free(s.shifts);
    memset(&s, 0, sizeof s);
  }
  // A segment with copies of text, name and controls; false without memory.
  bool add(const std::string &text, const Style *st, const char *name, const std::vector<tv_word_shift> &sh,
           int32_t pause, int32_t skip) {
    tv_segment s = {};
    s.text = tv_strdup(text.c_str());
    s.tag = tv_strdup(st ? st->name.c_str() : name);
    bool ok = s.text && s.tag;
    if (ok && st && !st->names.empty()) {
      s.nctrl = (int32_t)st->names.size();
      s.ctrl_names = (char **)tv_calloc(sizeof(char *) * (size_t)s.nctrl);
      s.ctrl_values = (float *)tv_malloc(sizeof(float) * (size_t)s.nctrl);
      ok = s.ctrl_names && s.ctrl_values;
      if (!ok) s.nctrl = 0;
      for (int32_t i = 0; ok && i < s.nctrl; i++) {
        s.ctrl_names[i] = tv_strdup(st->names[(size_t)i].c_str());
        s.ctrl_values[i] = st->values[(size_t)i];
        ok = s.ctrl_names[i] != NULL;
      }
    }
    if (ok && !sh.empty()) {
      s.shifts = (tv_word_shift *)tv_malloc(sizeof(tv_word_shift) * sh.size());
      ok = s.shifts != NULL;
      if (ok) {
        memcpy(s.shifts, sh.data(), sizeof(tv_word_shift) * sh.size());
        s.nshift = (int32_t)sh.size();
      }
    }
    s.pause_ms = pause;
    s.skip = skip;
    segs.push_back(s);
    return ok;
  }
};

// Pause length of a cue's number and unit; false with the flag set when the
// number is not one.
bool pause_ms(Parser &P, const uint32_t *t, const int32_t *m, int32_t *ms) {
  if (!rxm_has(m, 7)) {
    *ms = 400;
    return true;
  }
  std::string num;
  int digits = 0, points = 0;
  for (int32_t i = rxm_start(m, 7); i < rxm_end(m, 7); i++) {
    int d = ucd_digit(P.u, t[i]);
    if (d >= 0) num += (char)('0' + d), digits++;
    else num += '.', points++;
  }
  if (!digits || points > 1) {
    std::string written = P.utf8(t + rxm_start(m, 7), rxm_len(m, 7));
    fx_fail(&P.flag, "ValueError: could not convert string to float: '%s'", written.c_str());
    return false;
  }
  double v = tv_front_strtod(num.c_str());
  if (rxm_has(m, 8) && P.lower_utf8(t + rxm_start(m, 8), rxm_len(m, 8)) == "s") v *= 1000;
  if (isinf(v)) {
    fx_fail(&P.flag, "OverflowError: cannot convert float infinity to integer");
    return false;
  }
  v = trunc(v);
  *ms = v > 5000 ? 5000 : (int32_t)v;
  return true;
}

int parse(Parser &P, const char *text, const char *tag, const char *const *cn, const float *cv,
          int32_t nc, const char *const *tags, int32_t ntags, tv_style_resolver resolver, void *rstate,
          Out &out) {
  const tv_front *f = P.f;
  uint32_t *flag = &P.flag;
  auto is_tag = [&](const std::string &name) {
    for (int32_t i = 0; i < ntags; i++)
      if (tags && tags[i] && name == tags[i]) return true;
    return false;
  };
  P.add_style(tag && is_tag(tag) ? tag : "none", cn, cv, nc < 0 ? 0 : nc);
  std::vector<int> style_stack{0};
  std::vector<int> mods;
  auto mod_flags = [&] {
    uint32_t fl = 0;
    for (int id : mods) fl |= 1u << id;
    return fl;
  };

  u32s raw = {}, t = {};
  u32s_utf8(flag, &raw, text, strlen(text));
  rx_subf(flag, f->rx[FR_EMPH], raw.p, raw.n, &t, [](uint32_t *fl, const int32_t *m, const uint32_t *tx, u32s *o) {
    u32s_ascii(fl, o, "<emph>");
    rxm_put(fl, o, m, tx, 1);
    u32s_ascii(fl, o, "</emph>");
  });
  u32s_free(&raw);

  int32_t pos = 0, last = 0, m[TV_RX_MREC];
  while (!*flag && tv_rx_next(flag, f->rx[FR_MARKUP], t.p, t.n, &pos, m)) {
    if (m[0] > last) P.text_piece(t.p + last, m[0] - last, style_stack.back(), mod_flags());
    last = m[1];
    if (rxm_has(m, 5)) { // a bracket cue
      std::string name = P.lower_utf8(t.p + rxm_start(m, 6), rxm_len(m, 6));
      if (name == "pause") {
        int32_t ms = 0;
        if (!pause_ms(P, t.p, m, &ms)) break;
        Piece pc{PAUSE, {}, 0, 0, ms};
        P.pieces.push_back(std::move(pc));
      } else {
        u32s cue = {};
        u32s_ascii(flag, &cue, " [");
        ucd_lower_small(flag, P.u, t.p + rxm_start(m, 6), rxm_len(m, 6), &cue);
        u32s_ascii(flag, &cue, "] ");
        P.text_piece(cue.p, cue.n, style_stack.back(), mod_flags());
        u32s_free(&cue);
      }
      continue;
    }
    bool closing = rxm_len(m, 2) > 0;
    std::string name = P.lower_utf8(t.p + rxm_start(m, 3), rxm_len(m, 3));
    int mod = -1;
    for (int i = 0; i < 7; i++)
      if (name == kModifiers[i]) mod = i;
    if (mod >= 0) {
      if (!closing) {
        mods.push_back(mod);
      } else {
        auto at = std::find(mods.begin(), mods.end(), mod);
        if (at != mods.end()) mods.erase(at);
      }
    } else if (name == "style" || is_tag(name)) {
      if (closing) {
        if (style_stack.size() > 1) style_stack.pop_back();
      } else if (name == "style" && rxm_len(m, 4) > 0) {
        if (!resolver) {
          fx_fail(flag, "ValueError: free-text prompts are resolved on the host (the prompt adapter is not "
                        "on device): send the resolved tag + ctrl");
          break;
        }
        std::string prompt = P.utf8(t.p + rxm_start(m, 4), rxm_len(m, 4));
        char *rtag = NULL, **rnames = NULL;
        float *rvalues = NULL;
        int32_t rn = 0;
        int rc = resolver(rstate, prompt.c_str(), &rtag, &rn, &rnames, &rvalues);
        if (rc == 0) {
          int s = P.add_style(rtag ? rtag : "none", rnames, rvalues, rn < 0 ? 0 : rn);
          style_stack.push_back(s);
        }
        if (rnames)
          for (int32_t i = 0; i < rn; i++) tv_free(rnames[i]);
        tv_free(rnames);
        tv_free(rvalues);
        tv_free(rtag);
        if (rc != 0) {
          *flag = 1; // the resolver's message stands
          break;
        }
      } else {
        style_stack.push_back(P.add_style(name == "style" ? "none" : name.c_str(), NULL, NULL, 0));
      }
    }
  }
  if (!*flag && last < t.n) P.text_piece(t.p + last, t.n - last, style_stack.back(), mod_flags());
  u32s_free(&t);
  if (*flag) return -1;

  // Sentences.
  std::vector<Piece> split;
  tv_rx_spans sp = {};
  for (Piece &pc : P.pieces) {
    if (pc.kind != TEXT || is_marker(pc.text, "PAUSE") || is_marker(pc.text, "EVENT")) {
      split.push_back(std::move(pc));
      continue;
    }
    tv_rx_split(flag, f->rx[FR_SENTENCE], pc.text.data(), (int32_t)pc.text.size(), &sp);
    if (*flag) break;
    for (int32_t k = 0; k < sp.n; k++) {
      if (k) split.push_back(Piece{BREAK, {}, 0, 0, 0});
      const uint32_t *p = pc.text.data();
      split.push_back(Piece{TEXT, std::vector<uint32_t>(p + sp.p[2 * k], p + sp.p[2 * k + 1]), pc.style,
                            pc.flags, 0});
    }
  }
  tv_rx_spans_free(&sp);
  if (*flag) return -1;

  // Segments.
  std::vector<size_t> run;
  auto plain = [&](const Piece &pc) {
    return pc.kind == TEXT && !is_marker(pc.text, "PAUSE") && !is_marker(pc.text, "EVENT") &&
           !is_marker(pc.text, "BREAK");
  };
  auto close = [&]() -> bool {
    if (run.empty()) return true;
    std::vector<uint32_t> all;
    std::vector<tv_word_shift> shifts;
    for (size_t idx : run) {
      const Piece &pc = split[idx];
      int32_t before = pc.flags ? P.count_words(all) : 0;
      all.insert(all.end(), pc.text.begin(), pc.text.end());
      if (pc.flags) {
        int32_t after = P.count_words(all);
        if (*flag) return false;
        tv_word_shift w;
        shift_of(pc.flags, &w);
        for (int32_t k = before; k < after; k++) {
          w.word = k;
          shifts.push_back(w);
        }
      }
    }
    const Style &st = P.styles[(size_t)split[run[0]].style];
    run.clear();
    bool blank = true;
    for (uint32_t c : all)
      if (!ucd_is_space(P.u, c)) blank = false;
    if (blank) return true;
    // A word shifted by two pieces (their counts overlapping) keeps the
    // later record.
    std::stable_sort(shifts.begin(), shifts.end(),
                     [](const tv_word_shift &a, const tv_word_shift &b) { return a.word < b.word; });
    std::vector<tv_word_shift> uniq;
    for (size_t i = 0; i < shifts.size(); i++)
      if (i + 1 == shifts.size() || shifts[i + 1].word != shifts[i].word) uniq.push_back(shifts[i]);
    u32s s = {};
    u32s_put(flag, &s, all.data(), (int32_t)all.size());
    front_collapse_ws(flag, f, &s);
    front_trim_ws(P.u, &s);
    std::string txt = P.utf8(s.p, s.n);
    u32s_free(&s);
    if (*flag) return false;
    if (!out.add(txt, &st, NULL, uniq, 0, 0)) {
      fx_fail(flag, FX_NOMEM);
      return false;
    }
    return true;
  };
  for (size_t i = 0; i < split.size() && !*flag; i++) {
    const Piece &pc = split[i];
    if (plain(pc)) {
      if (!run.empty() && !(P.styles[(size_t)pc.style] == P.styles[(size_t)split[run[0]].style]) && !close())
        break;
      run.push_back(i);
      continue;
    }
    if (!close()) break;
    bool ok = true;
    static const std::vector<tv_word_shift> none;
    if (pc.kind == PAUSE) ok = out.add("", NULL, "none", none, pc.pause, 0);
    else if (pc.kind == TEXT && is_marker(pc.text, "PAUSE")) ok = out.add("", NULL, "none", none, -1, 1);
    else if (pc.kind == TEXT && is_marker(pc.text, "EVENT")) ok = out.add("", NULL, "none", none, 0, 1);
    if (!ok) fx_fail(flag, FX_NOMEM);
  }
  if (!*flag) close();
  return *flag ? -1 : 0;
}

} // namespace

void tv_segments_free(tv_segment *segments, int32_t count) {
  if (!segments) return;
  for (int32_t i = 0; i < count; i++) Out::tv_segments_free_one(segments[i]);
  tv_free(segments);
}

int tv_front_parse_markup(const tv_front *front, const char *text, const char *tag,
                          const char *const *ctrl_names, const float *ctrl_values, int32_t ctrl_count,
                          const char *const *tags, int32_t tag_count, tv_style_resolver resolver,
                          void *resolver_state, tv_segment **segments, int32_t *count) {
  if (segments) *segments = NULL;
  if (count) *count = 0;
  if (!front || !text || !segments || !count) {
    tv_seterr("tovantts front: NULL argument");
    return -1;
  }
  try {
    Parser P(front);
    Out out;
    if (parse(P, text, tag, ctrl_names, ctrl_values, ctrl_count, tags, tag_count, resolver, resolver_state,
              out) != 0)
      return -1;
    if (out.segs.empty()) return 0;
    tv_segment *arr = (tv_segment *)tv_malloc(sizeof(tv_segment) * out.segs.size());
    if (!arr) {
      tv_seterr(FX_NOMEM);
      return -1;
    }
    memcpy(arr, out.segs.data(), sizeof(tv_segment) * out.segs.size());
    *count = (int32_t)out.segs.size();
    *segments = arr;
    out.segs.clear(); // the array owns them now
    return 0;
  } catch (const std::bad_alloc &) {
    tv_seterr(FX_NOMEM);
    return -1;
  }
}
