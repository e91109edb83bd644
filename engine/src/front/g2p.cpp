#include "front/g2p.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "front/rxsub.h"
#include "front/sb.h"
#include "front/symbols.h"
#include "runtime/error.h"

namespace {

uint32_t rd32(const uint8_t *p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

} // namespace

const char *const kG2pTokenPattern =
    R"((?<!@)[a-z0-9]+(?:[.\-][a-z0-9]+){0,126}[.](?:[a-z]{2,13})\b/?(?!@)|[a-z](?:[a-z]|['\-_])+[a-z]|[a-z0-9_]+|\.(?:\s*\.)+|\S)";
const char *const kG2pRunPattern = R"(([^a-z0-9])\1{3,})";

// ---------------------------------------------------------------- lexicons

void lex_free(tv_lexicon *lx) {
  if (!lx) return;
  tv_free(lx->file);
  memset(lx, 0, sizeof *lx);
}

int lex_load(tv_lexicon *lx, const char *path) {
  memset(lx, 0, sizeof *lx);
  char *buf = NULL;
  size_t len = 0;
  if (tv_read_file(path, &buf, &len) != 0) {
    tv_seterr("tovantts front: cannot open %s", path);
    return -1;
  }
  const uint8_t *p = (const uint8_t *)buf;
  if (len < 20 || memcmp(buf, "TVLX", 4) != 0) {
    tv_free(buf);
    tv_seterr("tovantts front: bad lexicon %s", path);
    return -1;
  }
  if (rd32(p + 4) != 1) {
    tv_free(buf);
    tv_seterr("tovantts front: bad lexicon version");
    return -1;
  }
  uint64_t n = rd32(p + 8), K = rd32(p + 12), V = rd32(p + 16);
  if (len < n || len < 28 + 8 * n + K + V) {
    tv_free(buf);
    tv_seterr("tovantts front: truncated asset");
    return -1;
  }
  const uint8_t *koff = p + 20, *voff = p + 24 + 4 * n;
  const uint8_t *keys = p + 28 + 8 * n, *vals = keys + K;
  bool bad = false;
  for (uint64_t i = 0; i < n && !bad; i++) {
    if (rd32(koff + 4 * i) > rd32(koff + 4 * i + 4)) bad = true;
    if (rd32(voff + 4 * i) > rd32(voff + 4 * i + 4)) bad = true;
  }
  if (rd32(koff + 4 * n) > K || rd32(voff + 4 * n) > V) bad = true;
  // Values are symbol ids; one outside the table would reach the acoustic
  // model's embedding.
  for (uint64_t i = 0; i < V && !bad; i++)
    if (vals[i] >= TV_NSYM) bad = true;
  if (bad) {
    tv_free(buf);
    tv_seterr("tovantts front: bad lexicon %s", path);
    return -1;
  }
  lx->file = buf;
  lx->n = (uint32_t)n;
  lx->K = (uint32_t)K;
  lx->V = (uint32_t)V;
  lx->koff = koff;
  lx->voff = voff;
  lx->keys = keys;
  lx->vals = vals;
  return 0;
}

const uint8_t *lex_find(const tv_lexicon *lx, const char *key, int32_t klen, int32_t *vlen) {
  int64_t lo = 0, hi = (int64_t)lx->n - 1;
  while (lo <= hi) {
    int64_t mid = lo + (hi - lo) / 2;
    uint32_t a = rd32(lx->koff + 4 * mid), b = rd32(lx->koff + 4 * mid + 4);
    int32_t kl = (int32_t)(b - a);
    int32_t common = kl < klen ? kl : klen;
    int c = common ? memcmp(lx->keys + a, key, (size_t)common) : 0;
    if (c == 0) c = kl < klen ? -1 : kl > klen ? 1 : 0;
    if (c == 0) {
      uint32_t va = rd32(lx->voff + 4 * mid), vb = rd32(lx->voff + 4 * mid + 4);
      *vlen = (int32_t)(vb - va);
      return lx->vals + va;
    }
    if (c < 0) lo = mid + 1;
    else hi = mid - 1;
  }
  *vlen = 0;
  return NULL;
}

// ---------------------------------------------------------------- the model

void gru_free(tv_gru *m) {
  if (!m) return;
  void *arrays[] = {m->enc_in, m->dec_in, m->enc_w, m->dec_w, m->out_w, m->enc_s, m->enc_b,
                    m->dec_s,  m->dec_b,  m->out_s, m->out_b, m->map};
  for (void *a : arrays) tv_free(a);
  memset(m, 0, sizeof *m);
}

int gru_load(tv_gru *m, const char *path) {
  memset(m, 0, sizeof *m);
  char *buf = NULL;
  size_t len = 0;
  if (tv_read_file(path, &buf, &len) != 0) {
    tv_seterr("tovantts front: cannot open %s", path);
    return -1;
  }
  const uint8_t *p = (const uint8_t *)buf;
  const char *err = NULL;
  if (len < 20 || memcmp(buf, "TVGR", 4) != 0) err = "tovantts front: bad gru.bin";
  else if (rd32(p + 4) != 1) err = "tovantts front: bad gru.bin version";
  if (err) {
    tv_free(buf);
    tv_seterr("%s", err);
    return -1;
  }
  uint32_t H = rd32(p + 8), vin = rd32(p + 12), vout = rd32(p + 16);
  if (H < 32 || H > 512 || H % 32 || vin < 3 || vin > 4096 || vout < 4 || vout > 4096) {
    tv_free(buf);
    tv_seterr("tovantts front: unsupported GRU size");
    return -1;
  }
  m->H = (int32_t)H;
  m->vin = (int32_t)vin;
  m->vout = (int32_t)vout;
  uint64_t at = 20, G = 3ull * H;
  // Copies the next count elements of size bytes into a block of its own.
  auto take = [&](void **dst, uint64_t count, uint64_t size) {
    if (err) return;
    uint64_t bytes = count * size;
    if (at + bytes > len) {
      err = "tovantts front: truncated asset";
      return;
    }
    *dst = tv_malloc((size_t)bytes);
    if (!*dst) {
      err = "tovantts front: out of memory";
      return;
    }
    memcpy(*dst, p + at, (size_t)bytes);
    at += bytes;
  };
  take((void **)&m->enc_in, vin * G, 4);
  take((void **)&m->dec_in, vout * G, 4);
  take((void **)&m->enc_w, G * H, 1);
  take((void **)&m->enc_s, G, 4);
  take((void **)&m->enc_b, G, 4);
  take((void **)&m->dec_w, G * H, 1);
  take((void **)&m->dec_s, G, 4);
  take((void **)&m->dec_b, G, 4);
  take((void **)&m->out_w, (uint64_t)vout * H, 1);
  take((void **)&m->out_s, vout, 4);
  take((void **)&m->out_b, vout, 4);
  take((void **)&m->map, vout, 4);
  tv_free(buf);
  if (err) {
    gru_free(m);
    tv_seterr("%s", err);
    return -1;
  }
  return 0;
}

namespace {

// int8 row times single-precision values, summed in single precision per
// block of 32 and the blocks in double.
double dot_i8(const int8_t *w, const float *x, int32_t H) {
  double total = 0;
  for (int32_t b = 0; b < H; b += 32) {
    float acc = 0;
    for (int32_t k = 0; k < 32; k++) acc += (float)w[b + k] * x[b + k];
    total += acc;
  }
  return total;
}

double sigmoid(double v) { return 1.0 / (1.0 + exp(-v)); }

void cell(const tv_gru *m, const float *x, const int8_t *W, const float *scale, const float *bias,
          double *h, float *hf, double *g) {
  const int32_t H = m->H;
  for (int32_t j = 0; j < H; j++) hf[j] = (float)h[j];
  for (int32_t i = 0; i < 3 * H; i++)
    g[i] = (double)bias[i] + (double)scale[i] * dot_i8(W + (size_t)i * H, hf, H);
  for (int32_t j = 0; j < H; j++) {
    double r = sigmoid((double)x[j] + g[j]);
    double z = sigmoid((double)x[H + j] + g[H + j]);
    double nn = tanh((double)x[2 * H + j] + r * g[2 * H + j]);
    h[j] = z * h[j] + (1 - z) * nn;
  }
}

} // namespace

int32_t gru_run(const tv_gru *m, const char *word, int32_t len, int32_t *out) {
  const int32_t H = m->H;
  double h[512], g[1536];
  float hf[512];
  for (int32_t j = 0; j < H; j++) h[j] = 0;
  const size_t G = 3 * (size_t)H;
  for (int32_t i = 0; i <= len; i++) {
    int32_t sym = 2;
    if (i < len) {
      unsigned char c = (unsigned char)word[i];
      sym = c >= 'a' && c <= 'z' ? c - 94 : 1;
    }
    if (sym >= m->vin) sym = 1;
    cell(m, m->enc_in + (size_t)sym * G, m->enc_w, m->enc_s, m->enc_b, h, hf, g);
  }
  int32_t prev = 2, n = 0;
  for (int32_t step = 0; step < G2P_MAX_PREDICT; step++) {
    cell(m, m->dec_in + (size_t)prev * G, m->dec_w, m->dec_s, m->dec_b, h, hf, g);
    for (int32_t j = 0; j < H; j++) hf[j] = (float)h[j];
    int32_t best = 0;
    double bestv = 0;
    for (int32_t o = 0; o < m->vout; o++) {
      double v = (double)m->out_b[o] + (double)m->out_s[o] * dot_i8(m->out_w + (size_t)o * H, hf, H);
      if (o == 0 || v > bestv) best = o, bestv = v;
    }
    if (best == 3) break;
    out[n++] = best;
    prev = best;
  }
  return n;
}

// ---------------------------------------------------------------- the cache

namespace {

uint32_t fnv1a(const char *s, int32_t n) {
  uint32_t h = 0x811C9DC5u;
  for (int32_t i = 0; i < n; i++) h = (h ^ (unsigned char)s[i]) * 16777619u;
  return h;
}

bool same_key(const char *key, const char *w, int32_t n) {
  return strncmp(key, w, (size_t)n) == 0 && key[n] == 0;
}

} // namespace

int32_t predict_cached(const tv_g2p *g, const char *word, int32_t len, int32_t *out) {
  g2p_cache *c = g->cache;
  const uint32_t start = fnv1a(word, len) & (G2P_CACHE_SLOTS - 1);
  pthread_mutex_lock(&c->mu);
  if (c->slots) {
    for (uint32_t s = start; c->slots[s].key; s = (s + 1) & (G2P_CACHE_SLOTS - 1)) {
      if (same_key(c->slots[s].key, word, len)) {
        int32_t k = c->slots[s].count;
        for (int32_t i = 0; i < k; i++) out[i] = c->slots[s].ids[i];
        pthread_mutex_unlock(&c->mu);
        return k;
      }
    }
  }
  pthread_mutex_unlock(&c->mu);

  int32_t raw[G2P_MAX_PREDICT];
  int32_t nr = gru_run(&g->gru, word, len, raw), k = 0;
  for (int32_t i = 0; i < nr; i++) {
    int32_t sym = g->gru.map[raw[i]];
    if (sym >= 0 && sym < TV_NSYM) out[k++] = sym;
  }

  char *key = (char *)malloc((size_t)len + 1);
  if (key) {
    memcpy(key, word, (size_t)len);
    key[len] = 0;
  }
  pthread_mutex_lock(&c->mu);
  c->runs++;
  if (key && !c->slots) c->slots = (g2p_slot *)calloc(G2P_CACHE_SLOTS, sizeof(g2p_slot));
  if (key && c->slots) {
    if (c->entries >= G2P_CACHE_MAX) {
      for (uint32_t s = 0; s < G2P_CACHE_SLOTS; s++) free(c->slots[s].key);
      memset(c->slots, 0, sizeof(g2p_slot) * G2P_CACHE_SLOTS);
      c->entries = 0;
    }
    uint32_t s = start;
    while (c->slots[s].key && !same_key(c->slots[s].key, word, len)) s = (s + 1) & (G2P_CACHE_SLOTS - 1);
    if (c->slots[s].key) {
      free(key); // another thread got here first
    } else {
      c->slots[s].key = key;
      for (int32_t i = 0; i < k; i++) c->slots[s].ids[i] = (int8_t)out[i];
      c->slots[s].count = k;
      c->entries++;
    }
    key = NULL;
  }
  pthread_mutex_unlock(&c->mu);
  free(key);
  return k;
}

// ---------------------------------------------------------------- the record

void g2p_free(tv_g2p *g) {
  if (!g) return;
  numwords_free(&g->nw);
  lex_free(&g->lex);
  lex_free(&g->oov);
  gru_free(&g->gru);
  het_free(&g->het);
  tv_rx_free(g->run_rx);
  tv_rx_free(g->token_rx);
  if (g->cache) {
    if (g->cache->slots)
      for (uint32_t s = 0; s < G2P_CACHE_SLOTS; s++) free(g->cache->slots[s].key);
    free(g->cache->slots);
    pthread_mutex_destroy(&g->cache->mu);
    tv_free(g->cache);
  }
  memset(g, 0, sizeof *g);
}

int g2p_init(tv_g2p *g, const char *dir, const ucd *u, char *const *sym, const int32_t *sym_sorted) {
  memset(g, 0, sizeof *g);
  g->u = u;
  std::string d = dir;
  std::string path;
  if (numwords_init(&g->nw, u) != 0) goto fail;
  path = d + "/lexicon.bin";
  if (lex_load(&g->lex, path.c_str()) != 0) goto fail;
  path = d + "/oov.bin";
  if (lex_load(&g->oov, path.c_str()) != 0) goto fail;
  path = d + "/gru.bin";
  if (gru_load(&g->gru, path.c_str()) != 0) goto fail;
  path = d + "/hetero.tsv";
  if (het_load(&g->het, path.c_str(), sym, sym_sorted) != 0) goto fail;
  g->run_rx = tv_rx_compile(u, kG2pRunPattern, 0);
  if (!g->run_rx) goto fail;
  g->token_rx = tv_rx_compile(u, kG2pTokenPattern, 0);
  if (!g->token_rx) goto fail;
  g->cache = (g2p_cache *)tv_calloc(sizeof(g2p_cache));
  if (!g->cache) goto fail;
  if (pthread_mutex_init(&g->cache->mu, NULL) != 0) {
    tv_free(g->cache);
    g->cache = NULL;
    tv_seterr("tovantts front: out of memory");
    goto fail;
  }
  for (int i = 0; i < 128; i++) g->punct[i] = -1;
  for (const char *c = ",.?!;:-"; *c; c++) {
    char name[2] = {*c, 0};
    g->punct[(int)*c] = sym_lookup(sym, sym_sorted, name);
  }
  return 0;
fail:
  g2p_free(g);
  return -1;
}

int g2p_in_cmu(const tv_g2p *g, const char *word) {
  int32_t n = 0;
  for (; word[n]; n++)
    if ((unsigned char)word[n] > 127) return 0;
  int32_t vl = 0;
  return lex_find(&g->lex, word, n, &vl) != NULL;
}

namespace {

struct IdList {
  int32_t *p = nullptr;
  int32_t n = 0, cap = 0;
  bool push(int32_t v) {
    if (n == cap) {
      int32_t c = cap ? cap * 2 : 256;
      int32_t *q = (int32_t *)realloc(p, sizeof(int32_t) * (size_t)c);
      if (!q) return false;
      p = q;
      cap = c;
    }
    p[n++] = v;
    return true;
  }
};

bool has_lower(const char *s, int32_t n) {
  for (int32_t i = 0; i < n; i++)
    if (s[i] >= 'a' && s[i] <= 'z') return true;
  return false;
}

// Replaces every occurrence of from by to in the byte text s.
void replace_all(uint32_t *flag, u32s *s, const char *from, const char *to) {
  int32_t fn = (int32_t)strlen(from);
  u32s o = {};
  int32_t i = 0;
  while (i < s->n) {
    bool hit = i + fn <= s->n;
    for (int32_t k = 0; hit && k < fn; k++) hit = s->p[i + k] == (uint32_t)(unsigned char)from[k];
    if (hit) {
      u32s_ascii(flag, &o, to);
      i += fn;
    } else {
      u32s_push(flag, &o, s->p[i++]);
    }
  }
  if (!*flag) u32s_move(s, &o);
  u32s_free(&o);
}

} // namespace

void g2p_call(uint32_t *flag, const tv_g2p *g, const uint32_t *text, int32_t n, int32_t **ids,
              int32_t *count) {
  *ids = NULL;
  *count = 0;
  if (*flag) return;
  const ucd *u = g->u;
  u32s s = {}, t = {};
  nw_normalize_numbers(flag, &g->nw, text, n, &s);
  // One code point per cleaning byte from here on.
  for (int32_t i = 0; i < s.n && !*flag; i++) {
    uint32_t len = 0;
    const char *c = ucd_g2p_clean(u, s.p[i], &len);
    for (uint32_t k = 0; k < len; k++) u32s_push(flag, &t, (unsigned char)c[k]);
  }
  replace_all(flag, &t, "i.e.", "that is");
  replace_all(flag, &t, "e.g.", "for example");
  rx_subf_inplace(flag, g->run_rx, &t, [](uint32_t *fl, const int32_t *m, const uint32_t *tx, u32s *o) {
    for (int k = 0; k < 3; k++) rxm_put(fl, o, m, tx, 1);
  });

  // Tokens first: heteronyms look at their neighbours.
  std::string bytes;
  std::vector<int32_t> start, length;
  {
    int32_t pos = 0, m[TV_RX_MREC];
    bytes.reserve((size_t)t.n);
    while (!*flag && tv_rx_next(flag, g->token_rx, t.p, t.n, &pos, m)) {
      start.push_back((int32_t)bytes.size());
      length.push_back(m[1] - m[0]);
      for (int32_t i = m[0]; i < m[1]; i++) bytes.push_back((char)t.p[i]);
    }
  }
  u32s_free(&s);
  u32s_free(&t);
  if (*flag) return;
  int32_t nt = (int32_t)start.size();
  std::vector<const char *> toks((size_t)nt);
  for (int32_t i = 0; i < nt; i++) toks[(size_t)i] = bytes.data() + start[(size_t)i];

  IdList out;
  bool nomem = false;
  std::string word;
  for (int32_t i = 0; i < nt && !*flag && !nomem; i++) {
    const char *w = toks[(size_t)i];
    int32_t wl = length[(size_t)i];
    int32_t buf[G2P_MAX_IDS];
    int32_t k = 0;
    if (!has_lower(w, wl)) {
      if (wl == 1 && (unsigned char)w[0] < 128 && g->punct[(int)w[0]] >= 0) buf[k++] = g->punct[(int)w[0]];
    } else if (const het_word *h = het_find(&g->het, w, wl)) {
      uint8_t b[G2P_MAX_IDS];
      k = het_choose(flag, &g->het, h, toks.data(), length.data(), nt, i, b);
      for (int32_t j = 0; j < k; j++) buf[j] = b[j];
    } else {
      int32_t vl = 0;
      const uint8_t *v = lex_find(&g->lex, w, wl, &vl);
      if (!v || vl == 0) {
        int32_t ol = 0;
        const uint8_t *o = v ? NULL : lex_find(&g->oov, w, wl, &ol);
        if (o) {
          v = o;
          vl = ol;
        } else {
          word.assign(w, (size_t)wl);
          k = predict_cached(g, word.c_str(), wl, buf);
          v = NULL;
          vl = 0;
        }
      }
      if (vl > G2P_MAX_IDS) vl = G2P_MAX_IDS;
      for (int32_t j = 0; j < vl; j++) buf[k++] = v[j];
    }
    for (int32_t j = 0; j < k && !nomem; j++) nomem = !out.push(buf[j]);
    if (!nomem) nomem = !out.push(-1);
  }
  if (nomem) fx_fail(flag, FX_NOMEM);
  if (*flag) {
    free(out.p);
    return;
  }
  if (out.n > 0) out.n--; // the last separator
  *ids = out.p;
  *count = out.n;
}
