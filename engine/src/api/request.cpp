#include "api/request.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <charconv>

#include "api/engine.h"
#include "runtime/error.h"

const char *const TV_CONTROLS[12] = {"rate", "loud",  "f0_med", "f0_iqr",   "f0_end", "pause",
                                     "tilt", "voiced", "flat",  "centroid", "cpps",   "h1h2"};

namespace {

const char *const KEYS[] = {"text",     "voice",      "ref_wav", "prompt", "tag",
                            "ctrl",     "pace",       "guidance", "word_shift", "markup",
                            "flow",     "seed",       "spk_vec", "prompt_mapping", "$schema"};

const char *const EDGE_ONLY =
    "%s is not available in the edge build: free-text prompts and voice cloning run on a host "
    "with the full model";

// ---------------------------------------------------------------------------
// Number and value texts

struct Sci {
  int neg;
  char digits[20];  // significant digits, no point
  int n;
  int exp;  // decimal exponent of the first digit
};

// Splits to_chars' scientific text "-d.ddde+XX".
void split_sci(const char *s, Sci *o) {
  o->neg = *s == '-';
  if (o->neg) s++;
  o->n = 0;
  for (; *s && *s != 'e'; s++)
    if (*s != '.' && o->n < 19) o->digits[o->n++] = *s;
  o->digits[o->n] = 0;
  o->exp = *s == 'e' ? atoi(s + 1) : 0;
}

// Shortest "%.*e" text of 1..17 significant digits that reads back to v.
void shortest_sci(double v, char *buf, size_t cap) {
  for (int p = 1; p <= 17; p++) {
    auto r = std::to_chars(buf, buf + cap - 1, v, std::chars_format::scientific, p - 1);
    *r.ptr = 0;
    double back = 0.0;
    std::from_chars(buf, r.ptr, back);
    if (back == v || p == 17) return;
  }
}

void format_sci(const Sci &s, char *out) {
  char *o = out;
  if (s.neg) *o++ = '-';
  if (s.exp >= -4 && s.exp <= 15) {
    if (s.exp >= 0) {
      for (int i = 0; i <= s.exp; i++) *o++ = i < s.n ? s.digits[i] : '0';
      *o++ = '.';
      if (s.n > s.exp + 1)
        for (int i = s.exp + 1; i < s.n; i++) *o++ = s.digits[i];
      else
        *o++ = '0';
    } else {
      *o++ = '0';
      *o++ = '.';
      for (int i = 0; i < -s.exp - 1; i++) *o++ = '0';
      for (int i = 0; i < s.n; i++) *o++ = s.digits[i];
    }
    *o = 0;
    return;
  }
  *o++ = s.digits[0];
  if (s.n > 1) {
    *o++ = '.';
    for (int i = 1; i < s.n; i++) *o++ = s.digits[i];
  }
  int e = s.exp;
  *o++ = 'e';
  *o++ = e < 0 ? '-' : '+';
  if (e < 0) e = -e;
  char eb[8];
  int k = 0;
  do {
    eb[k++] = (char)('0' + e % 10);
    e /= 10;
  } while (e);
  if (k < 2) eb[k++] = '0';
  while (k) *o++ = eb[--k];
  *o = 0;
}

// Bytes of s up to max, cut back to a character boundary.
size_t utf8_cut(const char *s, size_t max) {
  size_t n = strnlen(s, max + 1);
  if (n <= max) return n;
  n = max;
  while (n > 0 && ((unsigned char)s[n] & 0xC0) == 0x80) n--;
  return n;
}

// Bytes of the first max code points of s.
size_t utf8_chars(const char *s, size_t max) {
  size_t i = 0, k = 0;
  while (s[i]) {
    if (((unsigned char)s[i] & 0xC0) != 0x80) {
      if (k == max) break;
      k++;
    }
    i++;
  }
  return i;
}

bool truthy(const tv_json *v) {
  if (!v) return false;
  switch (v->kind) {
    case TV_JSON_BOOL:
    case TV_JSON_NUM:
      return v->num != 0.0;
    case TV_JSON_STR:
      return v->str && v->str[0];
    case TV_JSON_ARR:
    case TV_JSON_OBJ:
      return v->count > 0;
    default:
      return false;
  }
}

bool present(const tv_json *v) { return v && v->kind != TV_JSON_NULL; }

// The white space a request text may not consist of (full model).
bool is_space_cp(uint32_t c) {
  return (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x20) || c == 0x85 || c == 0xA0 ||
         c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

// Decodes one white-space character of up to 3 bytes at s; its length, or 0
// when s does not start with one.
size_t space_at(const unsigned char *s) {
  uint32_t c;
  size_t len;
  if (s[0] < 0x80) {
    c = s[0];
    len = 1;
  } else if ((s[0] & 0xE0) == 0xC0 && (s[1] & 0xC0) == 0x80) {
    c = ((uint32_t)(s[0] & 0x1F) << 6) | (s[1] & 0x3F);
    len = 2;
  } else if ((s[0] & 0xF0) == 0xE0 && (s[1] & 0xC0) == 0x80 && (s[2] & 0xC0) == 0x80) {
    c = ((uint32_t)(s[0] & 0x0F) << 12) | ((uint32_t)(s[1] & 0x3F) << 6) | (s[2] & 0x3F);
    len = 3;
  } else {
    return 0;
  }
  return c && is_space_cp(c) ? len : 0;
}

bool blank_text(const char *s) {
  const unsigned char *p = (const unsigned char *)s;
  while (*p) {
    size_t k = space_at(p);
    if (!k) return false;
    p += k;
  }
  return true;
}

size_t code_points(const char *s) {
  size_t n = 0;
  for (const unsigned char *p = (const unsigned char *)s; *p; p++)
    if ((*p & 0xC0) != 0x80) n++;
  return n;
}

char *dup(const char *s) {
  size_t n = strlen(s);
  char *p = (char *)malloc(n + 1);
  if (!p) {
    tv_seterr("out of memory");
    return NULL;
  }
  memcpy(p, s, n + 1);
  return p;
}

// Members of an object as the request's language sees them: a repeated key
// keeps the place of its first occurrence and the value of its last.
struct Members {
  const tv_json *obj = nullptr;
  uint8_t *first = nullptr;  // 1 for the first member of each key
  ~Members() { free(first); }
};

struct KeyPos {
  const char *key;
  int32_t i;
};

int keypos_cmp(const void *a, const void *b) {
  const KeyPos *x = (const KeyPos *)a, *y = (const KeyPos *)b;
  int c = strcmp(x->key, y->key);
  return c ? c : (x->i > y->i) - (x->i < y->i);
}

int members(const tv_json *obj, Members *m) {
  m->obj = obj;
  const int32_t n = obj->count;
  m->first = (uint8_t *)calloc((size_t)(n > 0 ? n : 1), 1);
  KeyPos *kp = (KeyPos *)malloc(sizeof(KeyPos) * (size_t)(n > 0 ? n : 1));
  if (!m->first || !kp) {
    free(kp);
    tv_seterr("out of memory");
    return -1;
  }
  for (int32_t i = 0; i < n; i++) kp[i] = {obj->keys[i], i};
  qsort(kp, (size_t)n, sizeof *kp, keypos_cmp);
  for (int32_t i = 0; i < n; i++)
    if (i == 0 || strcmp(kp[i].key, kp[i - 1].key) != 0) m->first[kp[i].i] = 1;
  free(kp);
  return 0;
}

// Joins names with ", " (cut by the error text's own limit).
void join(uint32_t *fl, sb *b, char *const *names, int32_t n, const char *quote) {
  for (int32_t i = 0; i < n; i++) {
    if (i) sb_cat(fl, b, ", ");
    sb_cat(fl, b, quote);
    sb_cat(fl, b, names[i]);
    sb_cat(fl, b, quote);
  }
}

int fail_oom() {
  tv_seterr("out of memory");
  return -1;
}

struct JsonRoot {
  tv_json *root = nullptr;
  ~JsonRoot() { tv_json_free(root); }
};

int set_ctrl(tv_request *r, int32_t idx, double v) {
  for (int32_t i = 0; i < r->n_ctrl; i++)
    if (r->ctrl_idx[i] == idx) {
      r->ctrl_val[i] = v;
      return 0;
    }
  r->ctrl_idx[r->n_ctrl] = idx;
  r->ctrl_val[r->n_ctrl++] = v;
  return 0;
}

int unknown_control(const char *name) {
  uint32_t fl = 0;
  sb b = {};
  join(&fl, &b, (char *const *)TV_CONTROLS, 12, "");
  tv_seterr("unknown control '%s'; known: %s", name, sb_cstr(&b));
  sb_free(&b);
  return -1;
}

int ctrl_value(tv_request *r, const char *name, const tv_json *v, int paren) {
  char label[64];
  snprintf(label, sizeof label, "ctrl.%s", name);
  double x;
  if (json_num(label, v, "-5.0", "5.0", paren, &x, -5.0, 5.0) != 0) return -1;
  return set_ctrl(r, ctrl_index(name), x);
}

int word_shift_value(const char *key, const char *member, const tv_json *v, float *out) {
  struct Range {
    const char *name, *lo, *hi;
    double l, h;
  };
  static const Range R[] = {{"pitch", "-12.0", "12.0", -12.0, 12.0},
                            {"energy", "-20.0", "20.0", -20.0, 20.0},
                            {"dur", "0.25", "4.0", 0.25, 4.0}};
  for (const Range &x : R)
    if (strcmp(member, x.name) == 0) {
      char label[160];
      snprintf(label, sizeof label, "word_shift.%.*s.%s", (int)utf8_chars(key, 40), key, member);
      double d;
      if (json_num(label, v, x.lo, x.hi, 0, &d, x.l, x.h) != 0) return -1;
      *out = (float)d;
      return 0;
    }
  return -1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Texts of numbers and values

void py_float(char *out, double v) {
  if (v != v) {
    strcpy(out, "nan");
    return;
  }
  if (isinf(v)) {
    strcpy(out, v > 0 ? "inf" : "-inf");
    return;
  }
  char buf[48];
  shortest_sci(v, buf, sizeof buf);
  Sci s;
  split_sci(buf, &s);
  format_sci(s, out);
}

void float_short(char *out, float v) {
  if (v != v || isinf(v)) {
    py_float(out, (double)v);
    return;
  }
  char buf[48];
  double value = (double)v;
  for (int p = 1; p <= 9; p++) {
    auto r = std::to_chars(buf, buf + sizeof buf - 1, (double)v, std::chars_format::scientific, p - 1);
    *r.ptr = 0;
    float back = 0.0f;
    std::from_chars(buf, r.ptr, back);
    if (back == v) {
      std::from_chars(buf, r.ptr, value);
      break;
    }
  }
  py_float(out, value);
}

void py_repr(char *out, const tv_json *v) {
  if (!v || v->kind == TV_JSON_NULL) {
    strcpy(out, "None");
    return;
  }
  switch (v->kind) {
    case TV_JSON_BOOL:
      strcpy(out, v->num != 0.0 ? "True" : "False");
      return;
    case TV_JSON_NUM:
      if (v->is_int) {
        // Integers print exactly as the parser holds them; huge ones keep
        // their digits instead of overflowing a 64-bit integer.
        if (v->num == 0.0)
          strcpy(out, "0");
        else
          snprintf(out, TV_REPR_TEXT, "%.0f", v->num);
      } else {
        py_float(out, v->num);
      }
      return;
    case TV_JSON_STR: {
      const char *s = v->str ? v->str : "";
      snprintf(out, TV_REPR_TEXT, "'%.*s'", (int)utf8_cut(s, 200), s);
      return;
    }
    case TV_JSON_ARR:
      strcpy(out, v->count ? "[...]" : "[]");
      return;
    default:
      strcpy(out, v->count ? "{...}" : "{}");
      return;
  }
}

void sb_json_str(uint32_t *flag, sb *b, const char *s) {
  sb_ch(flag, b, '"');
  const char *run = s;
  for (const char *p = s;; p++) {
    unsigned char c = (unsigned char)*p;
    if (c == 0 || c == '"' || c == '\\' || c < 0x20) {
      sb_put(flag, b, run, (int32_t)(p - run));
      if (c == 0) break;
      if (c == '"' || c == '\\') {
        sb_ch(flag, b, '\\');
        sb_ch(flag, b, (char)c);
      } else {
        sb_fmt(flag, b, "\\u%04x", c);
      }
      run = p + 1;
    }
  }
  sb_ch(flag, b, '"');
}

void sb_json_num(uint32_t *flag, sb *b, double v) {
  if (v != v) {
    sb_cat(flag, b, "NaN");
  } else if (isinf(v)) {
    sb_cat(flag, b, v > 0 ? "Infinity" : "-Infinity");
  } else {
    char t[TV_NUM_TEXT];
    py_float(t, v);
    sb_cat(flag, b, t);
  }
}

void sb_json_ctrl(uint32_t *flag, sb *b, int32_t n, const int32_t *idx, const double *val) {
  sb_ch(flag, b, '{');
  for (int32_t i = 0; i < n; i++) {
    if (i) sb_cat(flag, b, ", ");
    sb_json_str(flag, b, TV_CONTROLS[idx[i]]);
    sb_cat(flag, b, ": ");
    sb_json_num(flag, b, val[i]);
  }
  sb_ch(flag, b, '}');
}

int32_t ctrl_index(const char *name) {
  if (!name) return -1;
  for (int32_t i = 0; i < 12; i++)
    if (strcmp(name, TV_CONTROLS[i]) == 0) return i;
  return -1;
}

int json_num(const char *name, const tv_json *v, const char *lo_text, const char *hi_text, int paren,
             double *out, double lo, double hi) {
  char repr[TV_REPR_TEXT];
  if (!v || v->kind != TV_JSON_NUM) {
    py_repr(repr, v);
    tv_seterr("%s must be a number, got %s", name, repr);
    return -1;
  }
  if (!(lo <= v->num && v->num <= hi)) {
    py_repr(repr, v);
    if (paren)
      tv_seterr("%s=%s is outside (%s, %s)", name, repr, lo_text, hi_text);
    else
      tv_seterr("%s=%s is outside [%s, %s]", name, repr, lo_text, hi_text);
    return -1;
  }
  *out = v->num;
  return 0;
}

// ---------------------------------------------------------------------------
// Validation

void req_free(tv_request *r) {
  if (!r) return;
  free(r->text);
  free(r->voice);
  free(r->ref_wav);
  free(r->spk_vec);
  free(r->prompt);
  free(r->tag);
  free(r->shifts);
  free(r->mapped_tag);
  for (int i = 0; i < 3; i++) free(r->top_tags[i]);
  memset(r, 0, sizeof *r);
}

int parse_word_shift(const tv_json *obj, tv_request *r) {
  Members m;
  if (members(obj, &m) != 0) return -1;
  for (int32_t i = 0; i < obj->count; i++) {
    if (!m.first[i]) continue;
    const char *key = obj->keys[i];
    const tv_json *val = tv_json_get(obj, key);
    // Optional blanks, a sign, digits, blanks: the integer spellings a word
    // index may have.
    const unsigned char *p = (const unsigned char *)key;
    size_t k;
    while ((k = space_at(p))) p += k;
    int neg = 0;
    if (*p == '+' || *p == '-') neg = *p++ == '-';
    int64_t index = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
      if (index < 2147483647) index = index * 10 + (*p - '0');
      if (index > 2147483647) index = 2147483647;
      digits++;
      p++;
    }
    while ((k = space_at(p))) p += k;
    if (!digits || *p) {
      tv_seterr("word_shift key '%s' is not a word index", key);
      return -1;
    }
    bool bad = (neg && index != 0) || val->kind != TV_JSON_OBJ;
    for (int32_t j = 0; !bad && j < val->count; j++) {
      const char *mk = val->keys[j];
      bad = strcmp(mk, "pitch") != 0 && strcmp(mk, "energy") != 0 && strcmp(mk, "dur") != 0;
    }
    if (bad) {
      tv_seterr("word_shift['%s'] must be a non-negative index -> {pitch, energy, dur}", key);
      return -1;
    }
    tv_req_shift *rec = NULL;
    for (int32_t j = 0; j < r->n_shifts; j++)
      if (r->shifts[j].index == (int32_t)index) rec = &r->shifts[j];
    if (!rec) {
      // Records never outnumber the object's members.
      if (!r->shifts) {
        r->shifts = (tv_req_shift *)malloc(sizeof(tv_req_shift) * (size_t)obj->count);
        if (!r->shifts) return fail_oom();
      }
      rec = &r->shifts[r->n_shifts++];
      *rec = {(int32_t)index, 0.0f, 0.0f, 1.0f, 0u};
    }
    Members inner;
    if (members(val, &inner) != 0) return -1;
    for (int32_t j = 0; j < val->count; j++) {
      if (!inner.first[j]) continue;
      const char *mk = val->keys[j];
      const tv_json *mv = tv_json_get(val, mk);
      float f;
      if (word_shift_value(key, mk, mv, &f) != 0) return -1;
      if (mk[0] == 'p') {
        rec->pitch = f;
        rec->mask |= TV_SHIFT_PITCH;
      } else if (mk[0] == 'e') {
        rec->energy = f;
        rec->mask |= TV_SHIFT_ENERGY;
      } else {
        rec->dur = f;
        rec->mask |= TV_SHIFT_DUR;
      }
    }
  }
  return 0;
}

namespace {

int check_unknown_keys(const tv_json *root) {
  enum { MAX_UNKNOWN = 64 };
  const char *unknown[MAX_UNKNOWN];
  int n = 0;
  for (int32_t i = 0; i < root->count; i++) {
    const char *k = root->keys[i];
    bool known = false;
    for (const char *name : KEYS) known = known || strcmp(k, name) == 0;
    if (known) continue;
    bool seen = false;
    for (int j = 0; j < n; j++) seen = seen || strcmp(unknown[j], k) == 0;
    if (!seen && n < MAX_UNKNOWN) unknown[n++] = k;
  }
  if (!n) return 0;
  qsort(unknown, (size_t)n, sizeof *unknown,
        [](const void *a, const void *b) { return strcmp(*(const char *const *)a, *(const char *const *)b); });
  uint32_t fl = 0;
  sb b = {};
  join(&fl, &b, (char *const *)unknown, n, "'");
  tv_seterr("unknown request field(s) [%s]; see request.schema.json", sb_cstr(&b));
  sb_free(&b);
  return -1;
}

int unknown_tag(const tovantts_engine *e, const char *tag, const char *form) {
  uint32_t fl = 0;
  sb b = {};
  join(&fl, &b, e->tags, e->n_tags, "");
  tv_seterr(form, tag, sb_cstr(&b));
  sb_free(&b);
  return -1;
}

int voices_full(const tovantts_engine *e, const tv_json *voice, tv_request *r) {
  if (!truthy(voice)) return (r->voice = dup(e->default_voice ? e->default_voice : "")) ? 0 : -1;
  if (voice->kind == TV_JSON_STR) {
    if (name_index(e->voices, e->n_voices, voice->str) < 0) {
      tv_seterr("unknown voice '%s'; list them with tts.voices / `tovantts voices`", voice->str);
      return -1;
    }
    return (r->voice = dup(voice->str)) ? 0 : -1;
  }
  char repr[TV_REPR_TEXT];
  py_repr(repr, voice);
  tv_seterr("unknown voice %s; list them with tts.voices / `tovantts voices`", repr);
  return -1;
}

int voices_edge(const tovantts_engine *e, const tv_json *voice, tv_request *r) {
  if (!present(voice)) return (r->voice = dup(e->default_voice ? e->default_voice : "")) ? 0 : -1;
  if (voice->kind == TV_JSON_STR && name_index(e->voices, e->n_voices, voice->str) >= 0)
    return (r->voice = dup(voice->str)) ? 0 : -1;
  char repr[TV_REPR_TEXT];
  py_repr(repr, voice);
  const int32_t n = e->n_voices;
  // An engine always has voices; the guard keeps the modulo defined.
  const char *v0 = n ? e->voices[0 % n] : "", *v1 = n ? e->voices[1 % n] : "", *v2 = n ? e->voices[2 % n] : "";
  tv_seterr("unknown voice %s; this edge build ships %d voices (see tts.voices), e.g. %s, %s, %s", repr, n, v0,
            v1, v2);
  return -1;
}

int validate(const tovantts_engine *e, const tv_json *root, tv_request *r, int streaming) {
  if (root->kind != TV_JSON_OBJ) {
    tv_seterr("a request is a JSON object");
    return -1;
  }
  if (check_unknown_keys(root) != 0) return -1;

  const tv_json *text = tv_json_get(root, "text");
  if (!text || text->kind != TV_JSON_STR || (!e->edge && blank_text(text->str))) {
    tv_seterr("text must be a non-empty string");
    return -1;
  }
  if (code_points(text->str) > TV_REQ_MAX_TEXT) {
    tv_seterr("text is longer than %d characters; split it (or stream it sentence by sentence)", TV_REQ_MAX_TEXT);
    return -1;
  }
  if (!(r->text = dup(text->str))) return -1;

  const tv_json *spk = tv_json_get(root, "spk_vec");
  if (present(spk)) {
    bool ok = spk->kind == TV_JSON_ARR && spk->count == TV_SPK_VEC;
    for (int32_t i = 0; ok && i < spk->count; i++) ok = spk->items[i].kind == TV_JSON_NUM;
    if (!ok) {
      tv_seterr("spk_vec must be a list of 512 numbers");
      return -1;
    }
    // Speaker vectors are unit length; the bound leaves room for unnormalised
    // mixes while refusing what would overflow the conditioning network (or a
    // float) into silence.
    for (int32_t i = 0; i < TV_SPK_VEC; i++) {
      char name[32];
      double v;
      snprintf(name, sizeof name, "spk_vec[%d]", (int)i);
      if (json_num(name, &spk->items[i], "-1000.0", "1000.0", 0, &v, -1000.0, 1000.0) != 0) return -1;
    }
    if (!(r->spk_vec = (float *)malloc(sizeof(float) * TV_SPK_VEC))) return fail_oom();
    for (int32_t i = 0; i < TV_SPK_VEC; i++) r->spk_vec[i] = (float)spk->items[i].num;
  }

  const tv_json *markup = tv_json_get(root, "markup");
  if (present(markup) && markup->kind != TV_JSON_BOOL) {
    tv_seterr("markup must be true or false");
    return -1;
  }
  r->markup = present(markup) && markup->num != 0.0;

  const tv_json *voice = tv_json_get(root, "voice"), *tag = tv_json_get(root, "tag");
  const tv_json *prompt = tv_json_get(root, "prompt"), *ref = tv_json_get(root, "ref_wav");
  const tv_json *ctrl = tv_json_get(root, "ctrl"), *ws = tv_json_get(root, "word_shift");

  if (!e->edge) {
    if (present(ref)) {
      if (ref->kind != TV_JSON_STR) {
        tv_seterr("ref_wav must be a path string");
        return -1;
      }
      if (truthy(voice)) {
        tv_seterr("give either voice (a built-in voice) or ref_wav (clone a reference clip), not both");
        return -1;
      }
      if (!(r->ref_wav = dup(ref->str))) return -1;
    } else if (!r->spk_vec) {
      if (voices_full(e, voice, r) != 0) return -1;
    }
    if (present(prompt)) {
      if (prompt->kind != TV_JSON_STR) {
        tv_seterr("prompt must be a string");
        return -1;
      }
      if (!(r->prompt = dup(prompt->str))) return -1;
    }
    if (present(tag)) {
      if (tag->kind != TV_JSON_STR) {
        tv_seterr("tag must be a string");
        return -1;
      }
      if (name_index(e->tags, e->n_tags, tag->str) < 0) return unknown_tag(e, tag->str, "unknown tag '%s'; known: %s");
      if (!(r->tag = dup(tag->str))) return -1;
    }
    if (truthy(ctrl)) {
      if (ctrl->kind != TV_JSON_OBJ) {
        tv_seterr("ctrl must be an object {control: z}");
        return -1;
      }
      for (int32_t i = 0; i < ctrl->count; i++)
        if (ctrl_index(ctrl->keys[i]) < 0) return unknown_control(ctrl->keys[i]);
      Members m;
      if (members(ctrl, &m) != 0) return -1;
      for (int32_t i = 0; i < ctrl->count; i++)
        if (m.first[i] && ctrl_value(r, ctrl->keys[i], tv_json_get(ctrl, ctrl->keys[i]), 0) != 0) return -1;
    }
  } else {
    if (truthy(tag) && tag->kind != TV_JSON_STR) {
      tv_seterr("tag must be a string");
      return -1;
    }
    if (truthy(ws) && (streaming || r->markup)) {
      tv_seterr(
          "word_shift does not combine with markup / stream(); use inline markup (*word*, <slow>, <high> ...) "
          "there");
      return -1;
    }
    if (present(prompt)) {
      tv_seterr(EDGE_ONLY, "prompt=");
      return -1;
    }
    if (present(ref)) {
      tv_seterr(EDGE_ONLY, "ref_wav=");
      return -1;
    }
    const char *t = truthy(tag) ? tag->str : "none";
    if (name_index(e->tags, e->n_tags, t) < 0) return unknown_tag(e, t, "unknown tag '%s'; known tags: %s");
    if (!(r->tag = dup(t))) return -1;
    if (!r->spk_vec && voices_edge(e, voice, r) != 0) return -1;
    if (truthy(ctrl)) {
      if (ctrl->kind != TV_JSON_OBJ) {
        tv_seterr("ctrl must be an object {control: z}");
        return -1;
      }
      Members m;
      if (members(ctrl, &m) != 0) return -1;
      for (int32_t i = 0; i < ctrl->count; i++) {
        if (!m.first[i]) continue;
        if (ctrl_index(ctrl->keys[i]) < 0) return unknown_control(ctrl->keys[i]);
        if (ctrl_value(r, ctrl->keys[i], tv_json_get(ctrl, ctrl->keys[i]), 1) != 0) return -1;
      }
    }
  }

  const tv_json *pace = tv_json_get(root, "pace"), *guid = tv_json_get(root, "guidance");
  if (present(pace) && json_num("pace", pace, "0.25", "4.0", 0, &r->pace, 0.25, 4.0) != 0) return -1;
  if (present(guid) && json_num("guidance", guid, "0.0", "4.0", 0, &r->guidance, 0.0, 4.0) != 0) return -1;

  if (!e->edge) {
    const tv_json *flow = tv_json_get(root, "flow"), *seed = tv_json_get(root, "seed");
    if (present(flow)) {
      if (flow->kind != TV_JSON_BOOL) {
        tv_seterr("flow must be true or false");
        return -1;
      }
      r->flow = flow->num != 0.0;
    }
    if (present(seed)) {
      if (seed->kind != TV_JSON_NUM || !seed->is_int || !(seed->num >= 0.0 && seed->num <= 9.2e18)) {
        tv_seterr("seed must be a non-negative integer");
        return -1;
      }
      r->seed = (int64_t)seed->num;
    }
  }

  if (truthy(ws)) {
    if (ws->kind != TV_JSON_OBJ) {
      tv_seterr("word_shift must be an object {word_index: {pitch, energy, dur}}");
      return -1;
    }
    if (!e->edge && r->markup) {
      tv_seterr("word_shift and markup cannot be combined (markup re-indexes words per segment)");
      return -1;
    }
    if (parse_word_shift(ws, r) != 0) return -1;
  }
  return 0;
}

}  // namespace

int req_from_json(const tovantts_engine *e, const char *json, tv_request *r, int streaming) {
  memset(r, 0, sizeof *r);
  r->pace = 1.0;
  r->guidance = e->guidance;
  r->flow = e->flow != 0;
  if (!json) {
    tv_seterr("a request is a JSON object");
    return -1;
  }
  JsonRoot j;
  if (!(j.root = tv_json_parse(json, strlen(json)))) return -1;
  return validate(e, j.root, r, streaming);
}

// ---------------------------------------------------------------------------
// Options to request JSON

namespace {

void member(uint32_t *fl, sb *b, const char *key) {
  sb_cat(fl, b, ", ");
  sb_json_str(fl, b, key);
  sb_cat(fl, b, ": ");
}

bool is_blank_ch(char c) { return c == ' '; }

// "name=z,name=z" to a JSON object.
int ctrl_object(uint32_t *fl, sb *b, const char *s) {
  sb_ch(fl, b, '{');
  int n = 0;
  const char *p = s;
  for (;;) {
    while (*p == ' ' || *p == ',') p++;
    if (!*p) break;
    const char *item = p, *end = strchr(p, ',');
    if (!end) end = p + strlen(p);
    const char *eq = (const char *)memchr(item, '=', (size_t)(end - item));
    if (!eq) {
      tv_seterr("ctrl must look like name=z,name=z (got '%.*s')", (int)(end - item), item);
      return -1;
    }
    const char *ne = eq;
    while (ne > item && is_blank_ch(ne[-1])) ne--;
    // The value text as written, without the blanks around it.
    const char *vs = eq + 1, *ve = end;
    while (vs < ve && is_blank_ch(*vs)) vs++;
    while (ve > vs && is_blank_ch(ve[-1])) ve--;
    char *vcopy = (char *)malloc((size_t)(ve - vs) + 1);
    char *name = (char *)malloc((size_t)(ne - item) + 1);
    if (!vcopy || !name) {
      free(vcopy);
      free(name);
      return fail_oom();
    }
    memcpy(vcopy, vs, (size_t)(ve - vs));
    vcopy[ve - vs] = 0;
    memcpy(name, item, (size_t)(ne - item));
    name[ne - item] = 0;
    char *stop;
    double v = tv_strtod(vcopy, &stop);
    if (stop == vcopy || *stop) {
      tv_seterr("ctrl.%s must be a number, got '%s'", name, vcopy);
      free(vcopy);
      free(name);
      return -1;
    }
    if (n++) sb_cat(fl, b, ", ");
    sb_json_str(fl, b, name);
    sb_cat(fl, b, ": ");
    sb_json_num(fl, b, v);
    free(vcopy);
    free(name);
    p = end;
  }
  sb_ch(fl, b, '}');
  return 0;
}

// "word:key=v,key=v;word:..." to a JSON object.
int word_shift_object(uint32_t *fl, sb *b, const char *s) {
  static const char *const SHAPE = "word_shift must look like word:key=v,key=v;word:... (got '%s')";
  sb_ch(fl, b, '{');
  int entries = 0;
  const char *p = s;
  for (;;) {
    while (*p == ' ' || *p == ';') p++;
    if (!*p) break;
    const char *digits = p;
    while (*p >= '0' && *p <= '9') p++;
    if (p == digits || *p != ':') {
      tv_seterr(SHAPE, s);
      return -1;
    }
    if (entries++) sb_cat(fl, b, ", ");
    sb_ch(fl, b, '"');
    sb_put(fl, b, digits, (int32_t)(p - digits));
    sb_cat(fl, b, "\": {");
    p++;
    int pairs = 0;
    for (;;) {
      while (*p == ' ' || *p == ',') p++;
      if (!*p || *p == ';') break;
      const char *key = p;
      while (*p && *p != '=' && *p != ';' && *p != ',') p++;
      if (*p != '=') {
        tv_seterr(SHAPE, s);
        return -1;
      }
      const char *ke = p;
      while (ke > key && is_blank_ch(ke[-1])) ke--;
      p++;
      const char *val = p;
      char *stop;
      double v = tv_strtod(val, &stop);
      if (stop == val || (*stop && *stop != ' ' && *stop != ',' && *stop != ';')) {
        const char *ve = val;
        while (*ve && *ve != ',' && *ve != ';') ve++;
        tv_seterr("word_shift value for '%.*s' must be a number (got '%.*s')", (int)(ke - key), key,
                  (int)(ve - val), val);
        return -1;
      }
      p = stop;
      if (pairs++) sb_cat(fl, b, ", ");
      char *k = (char *)malloc((size_t)(ke - key) + 1);
      if (!k) return fail_oom();
      memcpy(k, key, (size_t)(ke - key));
      k[ke - key] = 0;
      sb_json_str(fl, b, k);
      free(k);
      sb_cat(fl, b, ": ");
      sb_json_num(fl, b, v);
    }
    sb_ch(fl, b, '}');
  }
  sb_ch(fl, b, '}');
  return 0;
}

}  // namespace

// Exported; here because a request without options starts from the same
// defaults.
void tovantts_default_options(tovantts_options *opt) {
  if (!opt) return;
  memset(opt, 0, sizeof *opt);
  opt->pace = 1.0f;
  opt->guidance = -1.0f;
  opt->flow = -1;
}

int req_options_json(const char *text, const tovantts_options *opt, char **out) {
  *out = NULL;
  tovantts_options def;
  if (!opt) {
    tovantts_default_options(&def);
    opt = &def;
  }
  if (opt->seed < 0) {
    tv_seterr("seed must be a non-negative integer");
    return -1;
  }
  uint32_t fl = 0;
  sb b = {};
  sb_cat(&fl, &b, "{\"text\": ");
  sb_json_str(&fl, &b, text ? text : "");
  const char *texts[4][2] = {{"voice", opt->voice}, {"tag", opt->tag}, {"prompt", opt->prompt}, {"ref_wav", opt->ref_wav}};
  for (auto &t : texts)
    if (t[1]) {
      member(&fl, &b, t[0]);
      sb_json_str(&fl, &b, t[1]);
    }
  if (opt->ctrl && opt->ctrl[0]) {
    member(&fl, &b, "ctrl");
    if (ctrl_object(&fl, &b, opt->ctrl) != 0) goto fail;
  }
  if (opt->word_shift && opt->word_shift[0]) {
    member(&fl, &b, "word_shift");
    if (word_shift_object(&fl, &b, opt->word_shift) != 0) goto fail;
  }
  if (opt->pace != 0.0f) {
    member(&fl, &b, "pace");
    sb_json_num(&fl, &b, (double)opt->pace);
  }
  if (!(opt->guidance < 0.0f)) {
    member(&fl, &b, "guidance");
    sb_json_num(&fl, &b, (double)opt->guidance);
  }
  if (opt->markup) sb_cat(&fl, &b, ", \"markup\": true");
  if (opt->flow >= 0) sb_cat(&fl, &b, opt->flow ? ", \"flow\": true" : ", \"flow\": false");
  if (opt->seed > 0) sb_fmt(&fl, &b, ", \"seed\": %lld", (long long)opt->seed);
  if (opt->spk_vec) {
    member(&fl, &b, "spk_vec");
    sb_ch(&fl, &b, '[');
    for (int i = 0; i < TV_SPK_VEC; i++) {
      if (i) sb_cat(&fl, &b, ", ");
      sb_json_num(&fl, &b, (double)opt->spk_vec[i]);
    }
    sb_ch(&fl, &b, ']');
  }
  sb_ch(&fl, &b, '}');
  if (fl) {
    tv_seterr("out of memory");
    goto fail;
  }
  if (!(*out = tv_strdup(sb_cstr(&b)))) {
    tv_seterr("out of memory");
    goto fail;
  }
  sb_free(&b);
  return 0;
fail:
  sb_free(&b);
  return -1;
}

int req_from_options(const tovantts_engine *e, const char *text, const tovantts_options *opt, tv_request *r,
                     int streaming) {
  memset(r, 0, sizeof *r);
  char *json;
  if (req_options_json(text, opt, &json) != 0) return -1;
  int rc = req_from_json(e, json, r, streaming);
  tv_free(json);
  return rc;
}

// ---------------------------------------------------------------------------
// Canonical form

char *req_canonical(const tovantts_engine *e, const tv_request *r) {
  uint32_t fl = 0;
  sb b = {};
  char t[TV_NUM_TEXT];
  sb_cat(&fl, &b, "{\"text\": ");
  sb_json_str(&fl, &b, r->text ? r->text : "");
  if (r->voice) {
    member(&fl, &b, "voice");
    sb_json_str(&fl, &b, r->voice);
  }
  if (r->ref_wav) {
    member(&fl, &b, "ref_wav");
    sb_json_str(&fl, &b, r->ref_wav);
  }
  if (r->spk_vec) {
    member(&fl, &b, "spk_vec");
    sb_ch(&fl, &b, '[');
    for (int i = 0; i < TV_SPK_VEC; i++) {
      if (i) sb_cat(&fl, &b, ", ");
      sb_json_num(&fl, &b, (double)r->spk_vec[i]);
    }
    sb_ch(&fl, &b, ']');
  }
  member(&fl, &b, "tag");
  sb_json_str(&fl, &b, r->tag ? r->tag : "none");
  member(&fl, &b, "ctrl");
  sb_json_ctrl(&fl, &b, r->n_ctrl, r->ctrl_idx, r->ctrl_val);
  member(&fl, &b, "pace");
  sb_json_num(&fl, &b, r->pace);
  member(&fl, &b, "guidance");
  sb_json_num(&fl, &b, r->guidance);
  if (!e->edge) {
    sb_cat(&fl, &b, r->flow ? ", \"flow\": true" : ", \"flow\": false");
    sb_fmt(&fl, &b, ", \"seed\": %lld", (long long)r->seed);
  }
  sb_cat(&fl, &b, r->markup ? ", \"markup\": true" : ", \"markup\": false");
  if (r->n_shifts > 0) {
    member(&fl, &b, "word_shift");
    sb_ch(&fl, &b, '{');
    for (int32_t i = 0; i < r->n_shifts; i++) {
      const tv_req_shift *s = &r->shifts[i];
      if (i) sb_cat(&fl, &b, ", ");
      sb_fmt(&fl, &b, "\"%d\": {", s->index);
      const char *sep = "";
      const struct {
        uint32_t bit;
        const char *name;
        float v;
      } parts[3] = {{TV_SHIFT_PITCH, "pitch", s->pitch}, {TV_SHIFT_ENERGY, "energy", s->energy},
                    {TV_SHIFT_DUR, "dur", s->dur}};
      for (auto &p : parts)
        if (s->mask & p.bit) {
          float_short(t, p.v);
          sb_fmt(&fl, &b, "%s\"%s\": %s", sep, p.name, t);
          sep = ", ";
        }
      sb_ch(&fl, &b, '}');
    }
    sb_ch(&fl, &b, '}');
  }
  if (r->mapped) {
    member(&fl, &b, "prompt_mapping");
    sb_cat(&fl, &b, "{\"tag\": ");
    sb_json_str(&fl, &b, r->mapped_tag ? r->mapped_tag : "none");
    sb_cat(&fl, &b, ", \"ctrl\": ");
    sb_json_ctrl(&fl, &b, r->n_mapped_ctrl, r->mapped_idx, r->mapped_val);
    sb_cat(&fl, &b, ", \"top_tags\": [");
    for (int32_t i = 0; i < r->n_top; i++) {
      if (i) sb_cat(&fl, &b, ", ");
      sb_ch(&fl, &b, '[');
      sb_json_str(&fl, &b, r->top_tags[i] ? r->top_tags[i] : "");
      sb_cat(&fl, &b, ", ");
      sb_json_num(&fl, &b, r->top_prob[i]);
      sb_ch(&fl, &b, ']');
    }
    sb_cat(&fl, &b, "]}");
  }
  sb_ch(&fl, &b, '}');
  char *out = fl ? NULL : tv_strdup(sb_cstr(&b));
  sb_free(&b);
  if (!out) tv_seterr("out of memory");
  return out;
}
