#include "front/frontend.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "front/normalize.h"
#include "front/sb.h"
#include "runtime/error.h"

namespace {

int compile_all(tv_front *f) {
  char sentence[1024];
  if (front_sentence_pattern(sentence, sizeof sentence) != 0) {
    tv_seterr("tovantts front: out of memory");
    return -1;
  }
  for (int i = 0; i < FR_NRX; i++) {
    const char *p = i == FR_SENTENCE ? sentence : kFrontPatternText[i];
    f->rx[i] = tv_rx_compile(&f->uc, p, i == FR_MARKUP ? 1 : 0);
    if (!f->rx[i]) return -1;
  }
  // Units, longest abbreviation first.
  int32_t order[FR_NUNITS];
  front_units_by_length(order);
  for (int k = 0; k < FR_NUNITS; k++) {
    char pat[64];
    front_unit_pattern(kFrontUnits[order[k]][0], pat);
    f->unit_rx[k] = tv_rx_compile(&f->uc, pat, 0);
    f->unit_words[k] = kFrontUnits[order[k]][1];
    if (!f->unit_rx[k]) return -1;
  }
  for (int i = 0; i < FR_NTITLES; i++) {
    f->title_rx[i] = tv_rx_compile(&f->uc, kFrontTitles[i][0], 0);
    f->title_words[i] = kFrontTitles[i][1];
    if (!f->title_rx[i]) return -1;
  }
  return 0;
}

// Appends one entry; growth 64, then doubling.
void emit(uint32_t *flag, tv_phonemes *o, int32_t id, int32_t word) {
  if (*flag) return;
  if (o->count == o->capacity) {
    int64_t cap = o->capacity ? (int64_t)o->capacity * 2 : 64;
    if (cap > INT32_MAX) {
      fx_fail(flag, FX_NOMEM);
      return;
    }
    int32_t *ids = (int32_t *)realloc(o->ids, sizeof(int32_t) * (size_t)cap);
    if (!ids) {
      fx_fail(flag, FX_NOMEM);
      return;
    }
    o->ids = ids;
    int32_t *words = (int32_t *)realloc(o->words, sizeof(int32_t) * (size_t)cap);
    if (!words) {
      fx_fail(flag, FX_NOMEM);
      return;
    }
    o->words = words;
    o->capacity = (int32_t)cap;
  }
  o->ids[o->count] = id;
  o->words[o->count] = word;
  o->count++;
}

void plain_road(uint32_t *flag, const tv_front *f, const u32s &text, tv_phonemes *out) {
  int32_t *ids = NULL, n = 0;
  g2p_call(flag, &f->g2p, text.p, text.n, &ids, &n);
  if (*flag) return;
  emit(flag, out, TV_SYM_SP, -1);
  int32_t word = -1, pend_at = 0, pend_n = 0;
  // The pending word is the run ids[pend_at, pend_at + pend_n).
  auto flush = [&](bool space) {
    if (pend_n == 0) return;
    word++;
    for (int32_t k = 0; k < pend_n; k++) emit(flag, out, ids[pend_at + k], word);
    if (space) emit(flag, out, TV_SYM_SP, -1);
    pend_n = 0;
  };
  for (int32_t i = 0; i <= n && !*flag; i++) {
    int32_t id = i < n ? ids[i] : -1;
    if (id >= 2 && id <= 8) {
      flush(false);
      emit(flag, out, id, -1);
    } else if (id == -1) {
      flush(true);
    } else {
      if (pend_n == 0) pend_at = i;
      pend_n++;
    }
  }
  free(ids);
}

bool only_blanks_and_brackets(const ucd *u, const uint32_t *p, int32_t n) {
  for (int32_t i = 0; i < n; i++)
    if (p[i] != '[' && p[i] != ']' && !ucd_is_space(u, p[i])) return false;
  return true;
}

void convert(uint32_t *flag, const tv_front *f, const uint32_t *text, int32_t n, tv_phonemes *out);

void bracket_road(uint32_t *flag, const tv_front *f, const u32s &N, const tv_rx_spans &sp,
                  tv_phonemes *out) {
  emit(flag, out, TV_SYM_SP, -1);
  int32_t offset = 0, top = -1;
  for (int32_t k = 0; k < sp.n && !*flag; k++) {
    int32_t a = sp.p[2 * k], b = sp.p[2 * k + 1];
    if (k % 2 == 1) {
      if (b - a > 57) continue;
      char name[64];
      int32_t j = 0;
      name[j++] = '[';
      for (int32_t i = a; i < b; i++) {
        uint32_t c = N.p[i];
        name[j++] = (char)(c >= 'A' && c <= 'Z' ? c + 32 : c);
      }
      name[j++] = ']';
      name[j] = 0;
      int32_t id = tv_front_symbol_id(f, name);
      if (id >= 0) {
        emit(flag, out, id, -1);
        emit(flag, out, TV_SYM_SP, -1);
      }
      continue;
    }
    if (only_blanks_and_brackets(&f->uc, N.p + a, b - a)) continue;
    u32s piece = {};
    u32s_put(flag, &piece, N.p + a, b - a);
    for (int32_t i = 0; i < piece.n; i++)
      if (piece.p[i] == '[' || piece.p[i] == ']') piece.p[i] = ' ';
    tv_phonemes sub = {};
    convert(flag, f, piece.p, piece.n, &sub);
    for (int32_t i = 1; i < sub.count && !*flag; i++) {
      int32_t w = sub.words[i] < 0 ? -1 : sub.words[i] + offset;
      if (w > top) top = w;
      emit(flag, out, sub.ids[i], w);
    }
    if (top >= 0) offset = top + 1;
    tv_phonemes_free(&sub);
    u32s_free(&piece);
  }
}

// Normalisation, then the bracket road when the text holds sound tags, else
// the plain road.
void convert(uint32_t *flag, const tv_front *f, const uint32_t *text, int32_t n, tv_phonemes *out) {
  u32s N = {};
  front_normalize(flag, f, text, n, &N);
  if (*flag) {
    u32s_free(&N);
    return;
  }
  tv_rx_spans sp = {};
  if (u32_find(N.p, N.n, '[') >= 0) tv_rx_split(flag, f->rx[FR_SOUND_TAG], N.p, N.n, &sp);
  if (!*flag) {
    if (sp.n >= 2) bracket_road(flag, f, N, sp, out);
    else plain_road(flag, f, N, out);
  }
  tv_rx_spans_free(&sp);
  u32s_free(&N);
}

} // namespace

tv_front *front_load_with(const char *dir, int32_t reserved) {
  if (!dir || !*dir) {
    tv_seterr("tovantts front: no asset directory");
    return NULL;
  }
  tv_front *f = (tv_front *)tv_calloc(sizeof(tv_front));
  if (!f) return NULL;
  std::string path = std::string(dir) + "/unicode.bin";
  if (ucd_load(&f->uc, path.c_str()) != 0) goto fail;
  if (sym_build(f->sym, f->sym_sorted, reserved) != 0) goto fail;
  if (g2p_init(&f->g2p, dir, &f->uc, f->sym, f->sym_sorted) != 0) goto fail;
  if (compile_all(f) != 0) goto fail;
  return f;
fail:
  tv_front_free(f);
  return NULL;
}

tv_front *tv_front_load(const char *dir) { return front_load_with(dir, 13); }

void tv_front_free(tv_front *f) {
  if (!f) return;
  g2p_free(&f->g2p);
  for (int i = 0; i < FR_NRX; i++) tv_rx_free(f->rx[i]);
  for (int i = 0; i < FR_NUNITS; i++) tv_rx_free(f->unit_rx[i]);
  for (int i = 0; i < FR_NTITLES; i++) tv_rx_free(f->title_rx[i]);
  sym_free(f->sym);
  ucd_free(&f->uc);
  tv_free(f);
}

int32_t tv_front_symbol_id(const tv_front *f, const char *name) {
  if (!f || !name || !f->sym[0]) return -1;
  return sym_lookup(f->sym, f->sym_sorted, name);
}

const char *tv_front_symbol(const tv_front *f, int32_t id) {
  if (!f || id < 0 || id >= TV_NSYM) return NULL;
  return f->sym[id];
}

int front_phonemes_u32(uint32_t *flag, const tv_front *f, const uint32_t *text, int32_t n,
                       tv_phonemes *out) {
  out->count = 0;
  convert(flag, f, text, n, out);
  if (*flag) {
    out->count = 0;
    return -1;
  }
  return 0;
}

int tv_front_phonemes(const tv_front *f, const char *text, tv_phonemes *out) {
  if (out) out->count = 0;
  if (!f || !text || !out) {
    tv_seterr("tovantts front: NULL argument");
    return -1;
  }
  uint32_t flag = 0;
  u32s t = {};
  u32s_utf8(&flag, &t, text, strlen(text));
  int r = flag ? -1 : front_phonemes_u32(&flag, f, t.p, t.n, out);
  u32s_free(&t);
  return r;
}

void tv_phonemes_free(tv_phonemes *out) {
  if (!out) return;
  free(out->ids);
  free(out->words);
  memset(out, 0, sizeof *out);
}

char *tv_front_normalize(const tv_front *f, const char *text) {
  if (!f || !text) {
    tv_seterr("tovantts front: NULL argument");
    return NULL;
  }
  uint32_t flag = 0;
  u32s t = {}, N = {};
  sb b = {};
  u32s_utf8(&flag, &t, text, strlen(text));
  front_normalize(&flag, f, t.p, t.n, &N);
  sb_utf8(&flag, &b, N.p, N.n);
  char *r = NULL;
  if (!flag) {
    r = (char *)tv_malloc((size_t)b.n + 1);
    if (r) memcpy(r, sb_cstr(&b), (size_t)b.n + 1);
  }
  u32s_free(&t);
  u32s_free(&N);
  sb_free(&b);
  return r;
}

int tv_front_has_speech(const tv_phonemes *out) {
  if (!out) return 0;
  for (int32_t i = 0; i < out->count; i++)
    if (out->ids[i] >= TV_SYM_SPEECH) return 1;
  return 0;
}
