#include "front/ucd.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "runtime/error.h"

namespace {

struct Reader {
  const unsigned char *p;
  size_t n, at;
  bool bad; // a count or field ran past the end
  size_t left() const { return n - at; }
  bool u32(uint32_t *v) {
    if (bad || left() < 4) return bad = true, false;
    *v = (uint32_t)p[at] | (uint32_t)p[at + 1] << 8 | (uint32_t)p[at + 2] << 16 |
         (uint32_t)p[at + 3] << 24;
    at += 4;
    return true;
  }
  bool u8(uint32_t *v) {
    if (bad || left() < 1) return bad = true, false;
    *v = p[at++];
    return true;
  }
  // Reads a section count and checks that count records of at least `size`
  // bytes can still follow.
  bool count(uint32_t *k, size_t size) {
    if (!u32(k)) return false;
    if ((uint64_t)*k * size > left()) return bad = true, false;
    return true;
  }
  const unsigned char *take(size_t k) {
    if (bad || left() < k) return bad = true, nullptr;
    const unsigned char *r = p + at;
    at += k;
    return r;
  }
};

const char *const kEmpty = "";

} // namespace

void ucd_free(ucd *u) {
  if (!u) return;
  free(u->word);
  free(u->space);
  free(u->digit);
  for (int i = 0; i < 128; i++) free(u->ascii_clean[i]);
  for (int32_t i = 0; i < u->nclean; i++) free(u->clean[i].s);
  free(u->clean);
  free(u->fold);
  for (int32_t i = 0; i < u->nlower; i++) free(u->lower[i].cps);
  free(u->lower);
  memset(u, 0, sizeof *u);
}

// Keeps, of several entries for one code point, the last in file order;
// entries arrive sorted by (cp, order). Frees the dropped ones.
template <class E, class Drop>
static int32_t keep_last(E *a, int32_t n, Drop drop) {
  int32_t w = 0;
  for (int32_t i = 0; i < n; i++) {
    if (i + 1 < n && a[i + 1].cp == a[i].cp) {
      drop(a[i]);
      continue;
    }
    a[w++] = a[i];
  }
  return w;
}

int ucd_load(ucd *u, const char *path) {
  memset(u, 0, sizeof *u);
  char *buf = NULL;
  size_t len = 0;
  if (tv_read_file(path, &buf, &len) != 0) {
    tv_seterr("tovantts front: cannot open %s", path);
    return -1;
  }
  Reader r{(const unsigned char *)buf, len, 4, false};
  uint32_t k = 0, v = 0;
  bool nomem = false;
  if (len < 8 || memcmp(buf, "TVUC", 4) != 0 || !r.u32(&v) || v != 1) {
    tv_free(buf);
    tv_seterr("tovantts front: bad unicode.bin");
    return -1;
  }

  // 1: word ranges
  if (r.count(&k, 8)) {
    u->word = (ucd_range *)malloc(sizeof(ucd_range) * (k ? k : 1));
    if (!u->word) nomem = true;
    for (uint32_t i = 0; !nomem && i < k; i++) {
      r.u32(&u->word[i].first);
      r.u32(&u->word[i].last);
    }
    if (!nomem) u->nword = (int32_t)k;
    std::stable_sort(u->word, u->word + u->nword,
                     [](const ucd_range &a, const ucd_range &b) { return a.first < b.first; });
  }
  // 2: white space (ASCII is built in)
  if (!nomem && r.count(&k, 4)) {
    u->space = (uint32_t *)malloc(sizeof(uint32_t) * (k ? k : 1));
    if (!u->space) nomem = true;
    for (uint32_t i = 0; !nomem && i < k; i++) {
      r.u32(&v);
      if (v >= 128) u->space[u->nspace++] = v;
    }
  }
  // 3: digit ranges
  if (!nomem && r.count(&k, 12)) {
    u->digit = (ucd_digits *)malloc(sizeof(ucd_digits) * (k ? k : 1));
    if (!u->digit) nomem = true;
    for (uint32_t i = 0; !nomem && i < k; i++) {
      r.u32(&u->digit[i].first);
      r.u32(&u->digit[i].last);
      r.u32(&u->digit[i].value);
    }
    if (!nomem) u->ndigit = (int32_t)k;
  }
  // 4: cleaning map
  if (!nomem && r.count(&k, 5)) {
    u->clean = (ucd_clean *)malloc(sizeof(ucd_clean) * (k ? k : 1));
    if (!u->clean) nomem = true;
    for (uint32_t i = 0; !nomem && i < k; i++) {
      uint32_t cp = 0, n = 0;
      if (!r.u32(&cp) || !r.u8(&n)) break;
      const unsigned char *t = r.take(n);
      if (!t) break;
      char *s = (char *)malloc(n + 1);
      if (!s) {
        nomem = true;
        break;
      }
      memcpy(s, t, n);
      s[n] = 0;
      if (cp < 128) {
        free(u->ascii_clean[cp]);
        u->ascii_clean[cp] = s;
        u->ascii_clean_len[cp] = n;
      } else {
        u->clean[u->nclean++] = ucd_clean{cp, s, n, i};
      }
    }
  }
  // 5: fold pairs
  if (!nomem && r.count(&k, 8)) {
    u->fold = (ucd_foldpair *)malloc(sizeof(ucd_foldpair) * (k ? k : 1));
    if (!u->fold) nomem = true;
    for (uint32_t i = 0; !nomem && i < k; i++) {
      r.u32(&u->fold[i].cp);
      r.u32(&u->fold[i].folded);
    }
    if (!nomem) u->nfold = (int32_t)k;
  }
  // 6: lower case; a record cut by the end stops loading at once
  if (!nomem && r.count(&k, 5)) {
    u->lower = (ucd_lower *)malloc(sizeof(ucd_lower) * (k ? k : 1));
    if (!u->lower) nomem = true;
    for (uint32_t i = 0; !nomem && i < k; i++) {
      uint32_t cp = 0, n = 0;
      if (!r.u32(&cp) || !r.u8(&n)) break;
      const unsigned char *t = r.take(n);
      if (!t) break;
      uint32_t fl = 0;
      u32s d = {};
      u32s_utf8(&fl, &d, (const char *)t, n);
      if (fl) {
        nomem = true;
        break;
      }
      u->lower[u->nlower++] = ucd_lower{cp, d.p, (uint32_t)d.n, i};
    }
  }
  tv_free(buf);
  if (nomem || r.bad) {
    ucd_free(u);
    tv_seterr(nomem ? "tovantts front: out of memory" : "tovantts front: truncated asset");
    return -1;
  }

  std::sort(u->clean, u->clean + u->nclean, [](const ucd_clean &a, const ucd_clean &b) {
    return a.cp != b.cp ? a.cp < b.cp : a.order < b.order;
  });
  u->nclean = keep_last(u->clean, u->nclean, [](ucd_clean &e) { free(e.s); });
  std::sort(u->lower, u->lower + u->nlower, [](const ucd_lower &a, const ucd_lower &b) {
    return a.cp != b.cp ? a.cp < b.cp : a.order < b.order;
  });
  u->nlower = keep_last(u->lower, u->nlower, [](ucd_lower &e) { free(e.cps); });
  // The first pair of the file decides; sorting lets lookups bisect.
  std::stable_sort(u->fold, u->fold + u->nfold,
                   [](const ucd_foldpair &a, const ucd_foldpair &b) { return a.cp < b.cp; });
  int32_t w = 0;
  for (int32_t i = 0; i < u->nfold; i++)
    if (w == 0 || u->fold[w - 1].cp != u->fold[i].cp) u->fold[w++] = u->fold[i];
  u->nfold = w;
  return 0;
}

int ucd_is_word(const ucd *u, uint32_t c) {
  if (c <= 127)
    return c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  int32_t lo = 0, hi = u->nword; // first range whose first > c
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (u->word[mid].first <= c) lo = mid + 1;
    else hi = mid;
  }
  return lo > 0 && c <= u->word[lo - 1].last;
}

int ucd_is_space(const ucd *u, uint32_t c) {
  if (c < 128) return (c >= 9 && c <= 13) || (c >= 28 && c <= 32);
  for (int32_t i = 0; i < u->nspace; i++)
    if (u->space[i] == c) return 1;
  return 0;
}

int ucd_digit(const ucd *u, uint32_t c) {
  if (c < 128) return c >= '0' && c <= '9' ? (int)(c - '0') : -1;
  for (int32_t i = 0; i < u->ndigit; i++) {
    const ucd_digits &d = u->digit[i];
    if (c >= d.first && c <= d.last) {
      uint64_t v = (uint64_t)d.value + (c - d.first);
      return v <= 9 ? (int)v : -1; // a malformed range is no digit at all
    }
  }
  return -1;
}

uint32_t ucd_fold(const ucd *u, uint32_t c) {
  if (c < 128) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  int32_t lo = 0, hi = u->nfold - 1;
  while (lo <= hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (u->fold[mid].cp == c) return u->fold[mid].folded;
    if (u->fold[mid].cp < c) lo = mid + 1;
    else hi = mid - 1;
  }
  return c;
}

template <class E>
static const E *find_cp(const E *a, int32_t n, uint32_t c) {
  int32_t lo = 0, hi = n - 1;
  while (lo <= hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (a[mid].cp == c) return &a[mid];
    if (a[mid].cp < c) lo = mid + 1;
    else hi = mid - 1;
  }
  return nullptr;
}

void ucd_lower_small(uint32_t *flag, const ucd *u, const uint32_t *cps, int32_t k, u32s *out) {
  for (int32_t i = 0; i < k; i++) {
    uint32_t c = cps[i];
    if (c < 128) {
      u32s_push(flag, out, c >= 'A' && c <= 'Z' ? c + 32 : c);
      continue;
    }
    const ucd_lower *e = find_cp(u->lower, u->nlower, c);
    if (e) u32s_put(flag, out, e->cps, (int32_t)e->len);
    else u32s_push(flag, out, c);
  }
}

const char *ucd_g2p_clean(const ucd *u, uint32_t c, uint32_t *len) {
  const char *s = NULL;
  uint32_t n = 0;
  if (c < 128) {
    s = u->ascii_clean[c];
    n = u->ascii_clean_len[c];
  } else if (const ucd_clean *e = find_cp(u->clean, u->nclean, c)) {
    s = e->s;
    n = e->len;
  }
  if (!s) s = kEmpty, n = 0;
  if (len) *len = n;
  return s;
}
