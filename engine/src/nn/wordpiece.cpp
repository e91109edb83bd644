#include "nn/wordpiece.h"

#include <string.h>

#include "runtime/error.h"

using namespace wordpiece;

#define MAX_WORD 100  /* longer words become one [UNK] */
#define MAX_PIECE (2 + 4 * MAX_WORD)

static const char *const SPECIAL[TV_WP_SPECIALS] = {"[PAD]", "[UNK]", "[CLS]", "[SEP]", "[MASK]"};

// ---------------------------------------------------------------------------
// Unicode tables

int tv_uni_norm(uint32_t c, uint32_t *out) {
  if (c < 0x80) {
    if (c == 0x09 || c == 0x0A || c == 0x0D) {
      out[0] = ' ';
      return 1;
    }
    if (c < 0x20 || c == 0x7F) return 0;
    if (c >= 'A' && c <= 'Z') c += 32;
    out[0] = c;
    return 1;
  }
  int32_t lo = 0, hi = NORM_COUNT - 1;
  const tv_uni_norm_row *row = NULL;
  while (lo <= hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (NORM[mid].last < c)
      lo = mid + 1;
    else if (NORM[mid].first > c)
      hi = mid - 1;
    else {
      row = &NORM[mid];
      break;
    }
  }
  if (!row) {
    out[0] = c;
    return 1;
  }
  switch (row->kind) {
    case 0: return 0;
    case 1: out[0] = ' '; return 1;
    case 2:
      out[0] = ' ';
      out[1] = c;
      out[2] = ' ';
      return 3;
    case 3: out[0] = (uint32_t)((int64_t)c + row->value); return 1;
    case 4: out[0] = (c - row->first) % 2 == 0 ? (uint32_t)((int64_t)c + row->value) : c; return 1;
    case 6: {
      const uint32_t s = c - 0xAC00;
      out[0] = 0x1100 + s / 588;
      out[1] = 0x1161 + (s % 588) / 28;
      if (s % 28 == 0) return 2;
      out[2] = 0x11A7 + s % 28;
      return 3;
    }
    default: {
      const int32_t at = row->value;
      if (at < 0 || at >= POOL_COUNT) return 0;
      uint32_t n = POOL[at];
      if (n > 3 || at + (int64_t)n >= POOL_COUNT) return 0;
      for (uint32_t i = 0; i < n; i++) out[i] = POOL[at + 1 + i];
      return (int)n;
    }
  }
}

int tv_uni_reorder_class(uint32_t c) {
  static const uint8_t low[5] = {0, 0, 255, 255, 0};  // U+0009..U+000D
  if (c >= 0x20 && c <= 0x7E) return 0;
  if (c >= 0x09 && c <= 0x0D) return low[c - 0x09];
  if (c < 0x80) return 255;
  int32_t lo = 0, hi = REORDER_COUNT - 1;
  while (lo <= hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (REORDER[mid].last < c)
      lo = mid + 1;
    else if (REORDER[mid].first > c)
      hi = mid - 1;
    else
      return REORDER[mid].cls;
  }
  return 0;
}

static int in_ranges(const tv_uni_range *r, int32_t count, uint32_t c) {
  int32_t lo = 0, hi = count - 1;
  while (lo <= hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (r[mid].last < c)
      lo = mid + 1;
    else if (r[mid].first > c)
      hi = mid - 1;
    else
      return 1;
  }
  return 0;
}

int tv_uni_is_punct(uint32_t c) { return in_ranges(PUNCT, PUNCT_COUNT, c); }
int tv_uni_is_space(uint32_t c) { return in_ranges(SPACE, SPACE_COUNT, c); }

// ---------------------------------------------------------------------------
// Vocabulary

static uint32_t fnv1a(const char *s, size_t n) {
  uint32_t h = 0x811c9dc5u;
  for (size_t i = 0; i < n; i++) h = (h ^ (uint8_t)s[i]) * 16777619u;
  return h;
}

tv_wordpiece *tv_wordpiece_load(const char *path) {
  char *buf = NULL;
  size_t len = 0;
  if (tv_read_file(path, &buf, &len) != 0) return NULL;
  size_t lines = 0;
  for (size_t i = 0; i < len; i++) lines += buf[i] == '\n';
  if (len > 0 && buf[len - 1] != '\n') lines++;
  // Ids are i32 and the slot table holds twice the lines: keep both far from
  // overflowing.
  if (lines > (1u << 28)) {
    tv_seterr("%s: %zu lines is too many for a vocabulary", path, lines);
    tv_free(buf);
    return NULL;
  }
  tv_wordpiece *wp = (tv_wordpiece *)tv_calloc(sizeof(tv_wordpiece));
  if (!wp) {
    tv_free(buf);
    return NULL;
  }
  wp->buf = buf;
  wp->size = (int32_t)lines;
  uint32_t slots = 1;
  while (slots < 2 * (lines + 1)) slots <<= 1;
  wp->mask = slots - 1;
  wp->tok = (char **)tv_malloc(sizeof(char *) * (lines ? lines : 1));
  wp->tok_len = (int32_t *)tv_malloc(sizeof(int32_t) * (lines ? lines : 1));
  wp->slots = (int32_t *)tv_malloc(sizeof(int32_t) * slots);
  if (!wp->tok || !wp->tok_len || !wp->slots) {
    tv_wordpiece_free(wp);
    return NULL;
  }
  memset(wp->slots, 0xFF, sizeof(int32_t) * slots);
  size_t start = 0;
  for (int32_t id = 0; id < wp->size; id++) {
    size_t end = start;
    while (end < len && buf[end] != '\n') end++;
    size_t n = end - start;
    if (n > 0 && buf[start + n - 1] == '\r') n--;
    buf[start + n] = '\0';
    wp->tok[id] = buf + start;
    wp->tok_len[id] = (int32_t)n;
    uint32_t s = fnv1a(buf + start, n) & wp->mask;
    for (;; s = (s + 1) & wp->mask) {
      const int32_t at = wp->slots[s];
      if (at < 0) {
        wp->slots[s] = id;
        break;
      }
      if ((size_t)wp->tok_len[at] == n && memcmp(wp->tok[at], buf + start, n) == 0) break;  // first line wins
    }
    start = end + 1;
  }
  for (int i = 0; i < TV_WP_SPECIALS; i++) wp->special[i] = tv_wordpiece_id(wp, SPECIAL[i], strlen(SPECIAL[i]));
  wp->unk = wp->special[1];
  wp->cls = wp->special[2];
  wp->sep = wp->special[3];
  if (wp->unk < 0 || wp->cls < 0 || wp->sep < 0) {
    tv_seterr("%s: no [UNK] / [CLS] / [SEP] token", path);
    tv_wordpiece_free(wp);
    return NULL;
  }
  return wp;
}

void tv_wordpiece_free(tv_wordpiece *wp) {
  if (!wp) return;
  tv_free(wp->buf);
  tv_free(wp->tok);
  tv_free(wp->tok_len);
  tv_free(wp->slots);
  tv_free(wp);
}

int32_t tv_wordpiece_vocab_size(const tv_wordpiece *wp) { return wp ? wp->size : 0; }

int32_t tv_wordpiece_id(const tv_wordpiece *wp, const char *bytes, size_t len) {
  if (!wp || !wp->slots) return -1;
  for (uint32_t s = fnv1a(bytes, len) & wp->mask;; s = (s + 1) & wp->mask) {
    const int32_t at = wp->slots[s];
    if (at < 0) return -1;
    if ((size_t)wp->tok_len[at] == len && memcmp(wp->tok[at], bytes, len) == 0) return at;
  }
}

// ---------------------------------------------------------------------------
// Encoding

namespace {

struct Out {
  uint32_t *ids;
  int32_t n, budget;  // tokens so far (after [CLS]); room for tokens
  bool full() const { return n >= budget; }
  void put(int32_t id) { ids[1 + n++] = (uint32_t)id; }
};

// Decodes one code point at s (n bytes left); a malformed sequence gives
// U+FFFD for its first byte only.
uint32_t utf8_next(const uint8_t *s, size_t n, size_t *used) {
  const uint8_t b = s[0];
  *used = 1;
  if (b < 0x80) return b;
  int k;
  uint32_t c, min;
  if (b >= 0xC2 && b <= 0xDF) k = 1, c = b & 0x1F, min = 0x80;
  else if (b >= 0xE0 && b <= 0xEF) k = 2, c = b & 0x0F, min = 0x800;
  else if (b >= 0xF0 && b <= 0xF4) k = 3, c = b & 0x07, min = 0x10000;
  else return 0xFFFD;
  if ((size_t)k >= n) return 0xFFFD;
  for (int i = 1; i <= k; i++) {
    if ((s[i] & 0xC0) != 0x80) return 0xFFFD;
    c = (c << 6) | (s[i] & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0xFFFD;
  *used = (size_t)k + 1;
  return c;
}

size_t utf8_put(uint32_t c, char *o) {
  if (c < 0x80) {
    o[0] = (char)c;
    return 1;
  }
  if (c < 0x800) {
    o[0] = (char)(0xC0 | (c >> 6));
    o[1] = (char)(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    o[0] = (char)(0xE0 | (c >> 12));
    o[1] = (char)(0x80 | ((c >> 6) & 0x3F));
    o[2] = (char)(0x80 | (c & 0x3F));
    return 3;
  }
  o[0] = (char)(0xF0 | (c >> 18));
  o[1] = (char)(0x80 | ((c >> 12) & 0x3F));
  o[2] = (char)(0x80 | ((c >> 6) & 0x3F));
  o[3] = (char)(0x80 | (c & 0x3F));
  return 4;
}

// One word of n code points (n may exceed MAX_WORD: then only the count
// matters). Returns false when the budget ran out.
bool word_pieces(const tv_wordpiece *wp, const uint32_t *w, int32_t n, Out *out) {
  if (n > MAX_WORD) {
    out->put(wp->unk);
    return !out->full();
  }
  char bytes[4 * MAX_WORD];
  int32_t off[MAX_WORD + 1];
  size_t len = 0;
  for (int32_t i = 0; i < n; i++) {
    off[i] = (int32_t)len;
    len += utf8_put(w[i], bytes + len);
  }
  off[n] = (int32_t)len;
  int32_t pieces[MAX_WORD], count = 0;
  char piece[MAX_PIECE];
  for (int32_t start = 0; start < n;) {
    int32_t found = -1, end = n;
    for (; end > start; end--) {
      size_t plen = 0;
      if (start > 0) piece[plen++] = '#', piece[plen++] = '#';
      memcpy(piece + plen, bytes + off[start], (size_t)(off[end] - off[start]));
      plen += (size_t)(off[end] - off[start]);
      if ((found = tv_wordpiece_id(wp, piece, plen)) >= 0) break;
    }
    if (found < 0) {
      count = 0;
      pieces[count++] = wp->unk;
      break;
    }
    pieces[count++] = found;
    start = end;
  }
  for (int32_t i = 0; i < count; i++) {
    out->put(pieces[i]);
    if (out->full()) return false;
  }
  return true;
}

// Text [s, s + n) without special tokens. Returns 1 to go on, 0 when the
// budget is used up, -1 on failure.
int encode_span(const tv_wordpiece *wp, const uint8_t *s, size_t n, Out *out) {
  if (n == 0) return 1;
  // Normalised code points with their classes; at most 3 per input byte.
  if (n > ((size_t)1 << 60) / (3 * sizeof(uint32_t) + 3)) {
    tv_seterr("out of memory (%zu bytes)", n);
    return -1;
  }
  uint32_t *cp = (uint32_t *)tv_malloc(sizeof(uint32_t) * 3 * n);
  uint8_t *cls = (uint8_t *)tv_malloc(3 * n);
  if (!cp || !cls) {
    tv_free(cp);
    tv_free(cls);
    return -1;
  }
  size_t m = 0, run = 0;  // run: first index of the current run of marks
  for (size_t i = 0; i < n;) {
    size_t used;
    const uint32_t c = utf8_next(s + i, n - i, &used);
    i += used;
    uint32_t o[3];
    const int k = tv_uni_norm(c, o);
    if (k == 0) {
      if (tv_uni_reorder_class(c) != 255) run = m;
      continue;
    }
    for (int j = 0; j < k; j++) {
      const int cc = tv_uni_reorder_class(o[j]);
      if (cc == 0 || cc == 255) {
        cp[m] = o[j];
        cls[m++] = (uint8_t)cc;
        run = m;
        continue;
      }
      // Stable insertion by class. A run longer than a word can be makes
      // that word one [UNK] whatever its order, so it is not sorted further
      // (this keeps the cost linear on adversarial text).
      size_t p = m;
      if (m - run <= MAX_WORD + 1)
        while (p > run && cls[p - 1] > cc) p--;
      memmove(cp + p + 1, cp + p, sizeof(uint32_t) * (m - p));
      memmove(cls + p + 1, cls + p, m - p);
      cp[p] = o[j];
      cls[p] = (uint8_t)cc;
      m++;
    }
  }
  int rc = 1;
  uint32_t word[MAX_WORD + 1];
  int32_t wn = 0;
  for (size_t i = 0; i <= m && rc == 1; i++) {
    const bool end = i == m;
    const uint32_t c = end ? ' ' : cp[i];
    const bool space = end || tv_uni_is_space(c), punct = !space && tv_uni_is_punct(c);
    if (!space && !punct) {
      if (wn <= MAX_WORD) word[wn] = c;
      if (wn <= MAX_WORD) wn++;
      continue;
    }
    if (wn > 0 && !word_pieces(wp, word, wn, out)) rc = 0;
    wn = 0;
    if (rc == 1 && punct && !word_pieces(wp, &c, 1, out)) rc = 0;
  }
  tv_free(cp);
  tv_free(cls);
  return rc;
}

}  // namespace

int32_t tv_wordpiece_encode(const tv_wordpiece *wp, const char *text, uint32_t *ids, int32_t max_len) {
  if (max_len < 2) {
    tv_seterr("tv_wordpiece_encode: max_len %d < 2", max_len);
    return -1;
  }
  if (!wp || !text || !ids) {
    tv_seterr("tv_wordpiece_encode: no vocabulary, text or output");
    return -1;
  }
  Out out = {ids, 0, max_len - 2};
  const uint8_t *s = (const uint8_t *)text;
  const size_t n = strlen(text);
  size_t span = 0;  // start of the text not yet encoded
  int rc = out.full() ? 0 : 1;
  for (size_t i = 0; i < n && rc == 1; i++) {
    if (s[i] != '[') continue;
    for (int k = 0; k < TV_WP_SPECIALS; k++) {
      const size_t len = strlen(SPECIAL[k]);
      if (wp->special[k] < 0 || n - i < len || memcmp(s + i, SPECIAL[k], len) != 0) continue;
      rc = encode_span(wp, s + span, i - span, &out);
      if (rc == 1) {
        out.put(wp->special[k]);
        if (out.full()) rc = 0;
      }
      span = i + len;
      i = span - 1;
      break;
    }
  }
  if (rc == 1) rc = encode_span(wp, s + span, n - span, &out);
  if (rc < 0) return -1;
  ids[0] = (uint32_t)wp->cls;
  ids[1 + out.n] = (uint32_t)wp->sep;
  return out.n + 2;
}
