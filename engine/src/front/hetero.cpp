#include "front/hetero.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "front/symbols.h"
#include "runtime/error.h"

namespace {

const char *const kBadLine = "tovantts front: bad hetero.tsv line";
const char *const kNoMem = "tovantts front: out of memory";

char *dup_n(const char *s, size_t n) {
  char *p = (char *)malloc(n + 1);
  if (!p) return NULL;
  memcpy(p, s, n);
  p[n] = 0;
  return p;
}

// Symbol names separated by blanks to ids; false for an unknown name.
bool pron(char *const *sym, const int32_t *sorted, const char *s, size_t n, uint8_t **ids, int32_t *count, bool *nomem) {
  *ids = (uint8_t *)malloc(n / 2 + 1);
  *count = 0;
  if (!*ids) return *nomem = true, false;
  size_t i = 0;
  while (i < n) {
    while (i < n && s[i] == ' ') i++;
    size_t a = i;
    while (i < n && s[i] != ' ') i++;
    if (i == a) break;
    char name[32];
    if (i - a >= sizeof name) return false;
    memcpy(name, s + a, i - a);
    name[i - a] = 0;
    int32_t id = sym_lookup(sym, sorted, name);
    if (id < 0) return false;
    (*ids)[(*count)++] = (uint8_t)id;
  }
  return true;
}

// A decimal integer that fits 32 bits, optionally signed.
bool parse_int(const char *s, size_t n, int32_t *v) {
  if (n == 0 || n > 15) return false;
  char buf[16];
  memcpy(buf, s, n);
  buf[n] = 0;
  size_t i = (buf[0] == '-' || buf[0] == '+') ? 1 : 0;
  if (i == n) return false;
  for (size_t k = i; k < n; k++)
    if (buf[k] < '0' || buf[k] > '9') return false;
  errno = 0;
  long long x = strtoll(buf, NULL, 10);
  if (errno || x < INT32_MIN || x > INT32_MAX) return false;
  *v = (int32_t)x;
  return true;
}

int cmp_n(const char *a, const char *b, int32_t bn) {
  int c = strncmp(a, b, (size_t)bn);
  if (c) return c;
  return a[bn] ? 1 : 0;
}

// Record with key (len bytes), by binary search; NULL when absent.
template <class R, class K>
const R *find(const R *a, int32_t n, const char *key, int32_t len, K keyof) {
  int32_t lo = 0, hi = n - 1;
  while (lo <= hi) {
    int32_t mid = lo + (hi - lo) / 2;
    int c = cmp_n(keyof(a[mid]), key, len);
    if (c == 0) return &a[mid];
    if (c < 0) lo = mid + 1;
    else hi = mid - 1;
  }
  return NULL;
}

// Sorts by key then line order and keeps the last of each key.
template <class R, class K, class Seq, class Drop>
int32_t sort_keep_last(R *a, int32_t n, K keyof, Seq seqof, Drop drop) {
  std::sort(a, a + n, [&](const R &x, const R &y) {
    int c = strcmp(keyof(x), keyof(y));
    return c ? c < 0 : seqof(x) < seqof(y);
  });
  int32_t w = 0;
  for (int32_t i = 0; i < n; i++) {
    if (i + 1 < n && strcmp(keyof(a[i]), keyof(a[i + 1])) == 0) {
      drop(a[i]);
      continue;
    }
    a[w++] = a[i];
  }
  return w;
}

template <class R>
bool grow(R **a, int32_t n, int32_t *cap) {
  if (n < *cap) return true;
  int32_t c = *cap ? *cap * 2 : 64;
  R *p = (R *)realloc(*a, sizeof(R) * (size_t)c);
  if (!p) return false;
  *a = p;
  *cap = c;
  return true;
}

void free_word(het_word &w) {
  free(w.word);
  free(w.a);
  free(w.b);
  free(w.group);
}

} // namespace

void het_free(tv_hetero *t) {
  if (!t) return;
  for (int32_t i = 0; i < t->nwords; i++) free_word(t->words[i]);
  for (int32_t i = 0; i < t->nweights; i++) free(t->weights[i].key);
  for (int32_t i = 0; i < t->ntags; i++) {
    free(t->tags[i].word);
    free(t->tags[i].tag);
  }
  free(t->words);
  free(t->weights);
  free(t->tags);
  memset(t, 0, sizeof *t);
}

int het_load(tv_hetero *t, const char *path, char *const *sym, const int32_t *sym_sorted) {
  memset(t, 0, sizeof *t);
  t->tag_features = 1;
  char *buf = NULL;
  size_t len = 0;
  if (tv_read_file(path, &buf, &len) != 0) {
    tv_seterr("tovantts front: cannot open %s", path);
    return -1;
  }
  int32_t capw = 0, capk = 0, capt = 0, seq = 0;
  const char *err = NULL;
  size_t at = 0;
  while (at < len && !err) {
    size_t end = at;
    while (end < len && buf[end] != '\n') end++;
    size_t ll = end - at;
    const char *line = buf + at;
    at = end + 1;
    if (ll && line[ll - 1] == '\r') ll--;
    if (ll == 0) continue;
    // Fields at tabs.
    const char *f[6];
    size_t fl[6];
    int nf = 0;
    size_t a = 0;
    for (size_t i = 0; i <= ll; i++) {
      if (i < ll && line[i] != '\t') continue;
      if (nf < 6) {
        f[nf] = line + a;
        fl[nf] = i - a;
      }
      nf++;
      a = i + 1;
    }
    if (fl[0] != 1) {
      err = kBadLine;
      break;
    }
    char kind = f[0][0];
    seq++;
    if (kind == 'N') {
      t->tag_features = 0;
    } else if (kind == 'H') {
      if (nf != 5) {
        err = kBadLine;
        break;
      }
      if (!grow(&t->words, t->nwords, &capw)) {
        err = kNoMem;
        break;
      }
      het_word w = {};
      bool nomem = false;
      w.word = dup_n(f[1], fl[1]);
      w.group = dup_n(f[4], fl[4]);
      bool ok = w.word && w.group;
      nomem = !ok;
      ok = ok && pron(sym, sym_sorted, f[2], fl[2], &w.a, &w.na, &nomem);
      ok = ok && pron(sym, sym_sorted, f[3], fl[3], &w.b, &w.nb, &nomem);
      if (!ok) {
        free_word(w);
        err = nomem ? kNoMem : kBadLine;
        break;
      }
      t->words[t->nwords++] = w;
    } else if (kind == 'T') {
      if (nf != 3) {
        err = kBadLine;
        break;
      }
      if (!grow(&t->tags, t->ntags, &capt)) {
        err = kNoMem;
        break;
      }
      het_tagrec r = {dup_n(f[1], fl[1]), dup_n(f[2], fl[2]), seq};
      if (!r.word || !r.tag) {
        free(r.word);
        free(r.tag);
        err = kNoMem;
        break;
      }
      t->tags[t->ntags++] = r;
    } else if (kind == 'W') {
      int32_t v = 0;
      if (nf != 3 || !parse_int(f[2], fl[2], &v)) {
        err = kBadLine;
        break;
      }
      if (!grow(&t->weights, t->nweights, &capk)) {
        err = kNoMem;
        break;
      }
      het_weight r = {dup_n(f[1], fl[1]), v, seq};
      if (!r.key) {
        err = kNoMem;
        break;
      }
      t->weights[t->nweights++] = r;
    } else {
      err = kBadLine;
    }
  }
  tv_free(buf);
  if (err) {
    het_free(t);
    tv_seterr("%s", err);
    return -1;
  }
  // Heteronym records arrive in line order; a stable sort keeps it among
  // equal words, so the last one of a word is the one kept.
  std::stable_sort(t->words, t->words + t->nwords,
                   [](const het_word &x, const het_word &y) { return strcmp(x.word, y.word) < 0; });
  int32_t w = 0;
  for (int32_t i = 0; i < t->nwords; i++) {
    if (i + 1 < t->nwords && strcmp(t->words[i].word, t->words[i + 1].word) == 0) {
      free_word(t->words[i]);
      continue;
    }
    t->words[w++] = t->words[i];
  }
  t->nwords = w;
  t->nweights = sort_keep_last(
      t->weights, t->nweights, [](const het_weight &r) { return (const char *)r.key; },
      [](const het_weight &r) { return r.seq; }, [](het_weight &r) { free(r.key); });
  t->ntags = sort_keep_last(
      t->tags, t->ntags, [](const het_tagrec &r) { return (const char *)r.word; },
      [](const het_tagrec &r) { return r.seq; },
      [](het_tagrec &r) {
        free(r.word);
        free(r.tag);
      });
  return 0;
}

const het_word *het_find(const tv_hetero *t, const char *word, int32_t len) {
  return find(t->words, t->nwords, word, len, [](const het_word &r) { return (const char *)r.word; });
}

namespace {

bool has_letter(const char *w, int32_t n) {
  for (int32_t i = 0; i < n; i++)
    if ((w[i] >= 'a' && w[i] <= 'z') || (w[i] >= 'A' && w[i] <= 'Z')) return true;
  return false;
}

bool only_letters(const char *w, int32_t n) {
  for (int32_t i = 0; i < n; i++)
    if (!((w[i] >= 'a' && w[i] <= 'z') || (w[i] >= 'A' && w[i] <= 'Z'))) return false;
  return true;
}

void suffix(uint32_t *flag, const char *w, int32_t n, sb *out) {
  if (n >= 3 && only_letters(w, n)) sb_put(flag, out, w + n - 2, 2);
  else sb_put(flag, out, w, n);
}

struct Word {
  const char *p;
  int32_t n;
};

} // namespace

void het_tag(uint32_t *flag, const tv_hetero *t, const char *word, int32_t len, sb *out) {
  const het_tagrec *r =
      find(t->tags, t->ntags, word, len, [](const het_tagrec &x) { return (const char *)x.word; });
  if (r) {
    sb_cat(flag, out, r->tag);
  } else if ((len == 3 && memcmp(word, "<s>", 3) == 0) || (len == 4 && memcmp(word, "</s>", 4) == 0)) {
    sb_put(flag, out, word, len);
  } else if (!has_letter(word, len)) {
    sb_ch(flag, out, 'P');
  } else {
    sb_ch(flag, out, 'U');
    if (len < 3) sb_put(flag, out, word, len);
    else sb_put(flag, out, word + len - 2, 2);
  }
}

int64_t het_score(uint32_t *flag, const tv_hetero *t, const het_word *h, const char *const *toks,
                  const int32_t *lens, int32_t n, int32_t i) {
  auto ctx = [&](int32_t k) -> Word {
    if (k < 0) return {"<s>", 3};
    if (k >= n) return {"</s>", 4};
    return {toks[k], lens[k]};
  };
  Word p1 = ctx(i - 1), p2 = ctx(i - 2), n1 = ctx(i + 1), n2 = ctx(i + 2);
  sb tp1 = {}, tn1 = {}, tp2 = {}, tn2 = {};
  if (t->tag_features) {
    het_tag(flag, t, p1.p, p1.n, &tp1);
    het_tag(flag, t, n1.p, n1.n, &tn1);
    het_tag(flag, t, p2.p, p2.n, &tp2);
    het_tag(flag, t, n2.p, n2.n, &tn2);
  }
  // Each feature is built after its prefix in one buffer, then looked up
  // under the word's and the group's key.
  sb key = {};
  int64_t score = 0;
  int32_t wn = (int32_t)strlen(h->word), gn = (int32_t)strlen(h->group);
  auto score_feature = [&](auto &&build) {
    if (*flag) return;
    for (int kind = 0; kind < 2; kind++) {
      key.n = 0;
      sb_cat(flag, &key, kind == 0 ? "w:" : "g:");
      if (kind == 0) sb_put(flag, &key, h->word, wn);
      else sb_put(flag, &key, h->group, gn);
      sb_ch(flag, &key, '|');
      build();
      if (*flag) return;
      const het_weight *r = find(t->weights, t->nweights, key.p, key.n,
                                 [](const het_weight &x) { return (const char *)x.key; });
      if (r) score += r->weight;
    }
  };
  auto w = [&](const Word &x) { sb_put(flag, &key, x.p, x.n); };
  auto s = [&](const sb &x) { sb_put(flag, &key, sb_cstr(&x), x.n); };
  auto cat = [&](const char *c) { sb_cat(flag, &key, c); };
  score_feature([&] { cat("b"); });
  score_feature([&] { cat("p1="), w(p1); });
  score_feature([&] { cat("n1="), w(n1); });
  score_feature([&] { cat("p2="), w(p2); });
  score_feature([&] { cat("n2="), w(n2); });
  score_feature([&] { cat("p1s="), suffix(flag, p1.p, p1.n, &key); });
  score_feature([&] { cat("n1s="), suffix(flag, n1.p, n1.n, &key); });
  score_feature([&] { cat("p1n1="), w(p1), cat("_"), w(n1); });
  score_feature([&] { cat("p2p1="), w(p2), cat("_"), w(p1); });
  score_feature([&] { cat("n1n2="), w(n1), cat("_"), w(n2); });
  score_feature([&] { cat("p2s="), suffix(flag, p2.p, p2.n, &key); });
  score_feature([&] { cat("n2s="), suffix(flag, n2.p, n2.n, &key); });
  if (t->tag_features) {
    score_feature([&] { cat("p1t="), s(tp1); });
    score_feature([&] { cat("n1t="), s(tn1); });
    score_feature([&] { cat("p2t="), s(tp2); });
    score_feature([&] { cat("n2t="), s(tn2); });
    score_feature([&] { cat("p1tn1t="), s(tp1), cat("_"), s(tn1); });
    score_feature([&] { cat("p2tp1t="), s(tp2), cat("_"), s(tp1); });
    score_feature([&] { cat("n1tn2t="), s(tn1), cat("_"), s(tn2); });
    score_feature([&] { cat("p1n1t="), w(p1), cat("_"), s(tn1); });
    score_feature([&] { cat("p1tn1="), s(tp1), cat("_"), w(n1); });
  }
  sb_free(&key);
  sb_free(&tp1);
  sb_free(&tn1);
  sb_free(&tp2);
  sb_free(&tn2);
  return score;
}

int32_t het_choose(uint32_t *flag, const tv_hetero *t, const het_word *h, const char *const *toks,
                   const int32_t *lens, int32_t n, int32_t i, uint8_t *ids) {
  int64_t score = het_score(flag, t, h, toks, lens, n, i);
  if (*flag) return 0;
  const uint8_t *src = score > 0 ? h->a : h->b;
  int32_t k = score > 0 ? h->na : h->nb;
  if (k > 64) k = 64;
  if (k) memcpy(ids, src, (size_t)k);
  return k;
}
