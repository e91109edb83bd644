#include "runtime/weights.h"

#include <fcntl.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#define MAX_INT_LITERAL 9007199254740992.0 /* 2^53 */
#define MAX_I32 2147483647LL

static const struct {
  const char *name;
  int32_t size;
} dtypes[] = {
    {"F32", 4}, {"F16", 2}, {"BF16", 2}, {"I8", 1}, {"U8", 1},
    {"I16", 2}, {"I32", 4}, {"I64", 8},  {"BOOL", 1}, {"F64", 8},
};
#define NDTYPES ((int32_t)(sizeof dtypes / sizeof dtypes[0]))

int32_t tv_dtype_size(int32_t dtype) {
  return (dtype >= 0 && dtype < NDTYPES) ? dtypes[dtype].size : 0;
}

float tv_half_to_float(uint16_t h) {
  uint32_t sign = (uint32_t)(h >> 15) << 31;
  uint32_t exp = (h >> 10) & 0x1F;
  uint32_t man = h & 0x3FF;
  uint32_t bits;
  if (exp == 0x1F) {
    bits = sign | 0x7F800000u | (man << 13);
  } else if (exp != 0) {
    bits = sign | ((exp + 112) << 23) | (man << 13);
  } else if (man == 0) {
    bits = sign;
  } else {
    // Subnormal half: normalise the mantissa.
    int e = -1;
    do {
      e++;
      man <<= 1;
    } while (!(man & 0x400));
    bits = sign | ((uint32_t)(112 - e) << 23) | ((man & 0x3FF) << 13);
  }
  float f;
  memcpy(&f, &bits, 4);
  return f;
}

float tv_bf16_to_float(uint16_t b) {
  uint32_t bits = (uint32_t)b << 16;
  float f;
  memcpy(&f, &bits, 4);
  return f;
}

uint64_t tv_numel(const tv_tensor *t) {
  uint64_t n = 1;
  for (int32_t i = 0; i < t->ndim; i++) {
    if (t->dims[i] != 0 && n > UINT64_MAX / t->dims[i]) n = UINT64_MAX;
    else n *= t->dims[i];
  }
  return n;
}

// A JSON number written as an integer literal in [0, 2^53].
static bool int_literal(const tv_json *v, uint64_t *out) {
  if (!v || v->kind != TV_JSON_NUM || !v->is_int) return false;
  if (!(v->num >= 0 && v->num <= MAX_INT_LITERAL)) return false;
  *out = (uint64_t)v->num;
  return true;
}

struct entry {
  tv_tensor t;
  int32_t pos;
};

static int entry_cmp(const void *a, const void *b) {
  const entry *x = (const entry *)a, *y = (const entry *)b;
  int c = strcmp(x->t.name, y->t.name);
  if (c) return c;
  return (x->pos > y->pos) - (x->pos < y->pos);
}

void tv_file_close(tv_file *f) {
  if (!f) return;
  for (int32_t i = 0; i < f->count; i++) tv_free(f->tensors[i].name);
  tv_free(f->tensors);
  tv_json_free(f->meta);
  if (f->map) munmap(f->map, f->maplen);
  tv_free(f->path);
  tv_free(f);
}

tv_file *tv_file_open(const char *path) {
  tv_file *f = (tv_file *)tv_calloc(sizeof *f);
  if (!f) return NULL;
  tv_json *hdr = NULL;
  entry *work = NULL;
  int32_t nwork = 0;
  const unsigned char *base;
  uint64_t hlen, data_size, data_end = 0;
  const unsigned char *data;
  struct stat st;
  int fd;
  if (!(f->path = tv_strdup(path))) goto fail;
  fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0 || fstat(fd, &st) != 0) {
    if (fd >= 0) close(fd);
    tv_seterr("cannot open %s", path);
    goto fail;
  }
  if (st.st_size < 8) {
    close(fd);
    tv_seterr("%s: not a safetensors file", path);
    goto fail;
  }
  f->maplen = (size_t)st.st_size;
  f->map = mmap(NULL, f->maplen, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (f->map == MAP_FAILED) {
    f->map = NULL;
    tv_seterr("cannot map %s", path);
    goto fail;
  }
  base = (const unsigned char *)f->map;
  hlen = 0;
  for (int i = 7; i >= 0; i--) hlen = (hlen << 8) | base[i];
  if (hlen > f->maplen - 8) {
    tv_seterr("%s: bad safetensors header", path);
    goto fail;
  }
  hdr = tv_json_parse((const char *)base + 8, (size_t)hlen);
  if (!hdr) {
    tv_seterr("%s: bad safetensors header (%s)", path, tv_geterr());
    goto fail;
  }
  if (hdr->kind != TV_JSON_OBJ) {
    tv_seterr("%s: bad safetensors header (not an object)", path);
    goto fail;
  }
  data = base + 8 + hlen;
  data_size = f->maplen - 8 - hlen;
  work = (entry *)tv_calloc(((size_t)hdr->count + 1) * sizeof *work);
  if (!work) goto fail;
  for (int32_t i = 0; i < hdr->count; i++) {
    const char *name = hdr->keys[i];
    tv_json *v = &hdr->items[i];
    if (strcmp(name, "__metadata__") == 0) {
      tv_json *m = (tv_json *)tv_malloc(sizeof *m);
      if (!m) goto fail;
      *m = *v;
      memset(v, 0, sizeof *v);
      tv_json_free(f->meta);
      f->meta = m;
      continue;
    }
    const tv_json *dt = tv_json_get(v, "dtype");
    const tv_json *shape = tv_json_get(v, "shape");
    const tv_json *offs = tv_json_get(v, "data_offsets");
    int32_t dtype = -1;
    if (dt && dt->kind == TV_JSON_STR)
      for (int32_t k = 0; k < NDTYPES; k++)
        if (strcmp(dt->str, dtypes[k].name) == 0) dtype = k;
    if (dtype < 0 || !shape || shape->kind != TV_JSON_ARR || shape->count > TV_MAX_DIMS || !offs ||
        offs->kind != TV_JSON_ARR || offs->count != 2) {
      tv_seterr("%s: bad entry %s", path, name);
      goto fail;
    }
    entry *e = &work[nwork];
    e->t.dtype = dtype;
    e->t.ndim = shape->count;
    for (int32_t d = 0; d < shape->count; d++) {
      if (!int_literal(&shape->items[d], &e->t.dims[d])) {
        tv_seterr("%s: bad shape for %s", path, name);
        goto fail;
      }
    }
    uint64_t begin, end;
    uint64_t n = tv_numel(&e->t);
    uint64_t esize = (uint64_t)dtypes[dtype].size;
    if (!int_literal(&offs->items[0], &begin) || !int_literal(&offs->items[1], &end) ||
        begin > data_size || end > data_size || end < begin || n > UINT64_MAX / esize ||
        n * esize != end - begin) {
      tv_seterr("%s: bad offsets for %s", path, name);
      goto fail;
    }
    e->t.data = data + begin;
    e->t.size = end - begin;
    if (end > data_end) data_end = end;
    e->pos = i;
    if (!(e->t.name = tv_strdup(name))) goto fail;
    nwork++;
  }
  // Bytes after the last tensor mean the data was shifted or the file was
  // appended to: every offset would then point at the wrong values.
  if (data_end != data_size) {
    tv_seterr("%s: %llu bytes after the last tensor (damaged file?)", path,
              (unsigned long long)(data_size - data_end));
    goto fail;
  }
  tv_json_free(hdr);
  hdr = NULL;
  qsort(work, (size_t)nwork, sizeof *work, entry_cmp);
  f->tensors = (tv_tensor *)tv_malloc(((size_t)nwork + 1) * sizeof *f->tensors);
  if (!f->tensors) goto fail;
  for (int32_t i = 0; i < nwork; i++) {
    // The last definition of a repeated name wins.
    if (i + 1 < nwork && strcmp(work[i].t.name, work[i + 1].t.name) == 0) {
      tv_free(work[i].t.name);
      continue;
    }
    f->tensors[f->count++] = work[i].t;
  }
  tv_free(work);
  return f;
fail:
  for (int32_t i = 0; i < nwork; i++) tv_free(work[i].t.name);
  tv_free(work);
  tv_json_free(hdr);
  tv_file_close(f);
  return NULL;
}

const tv_tensor *tv_file_find(const tv_file *f, const char *name) {
  int32_t lo = 0, hi = f->count - 1;
  while (lo <= hi) {
    int32_t mid = lo + (hi - lo) / 2;
    int c = strcmp(f->tensors[mid].name, name);
    if (c == 0) return &f->tensors[mid];
    if (c < 0) lo = mid + 1;
    else hi = mid - 1;
  }
  return NULL;
}

int32_t tv_file_count(const tv_file *f) { return f->count; }

const tv_tensor *tv_file_tensor(const tv_file *f, int32_t i) { return &f->tensors[i]; }

const char *tv_file_metadata(const tv_file *f, const char *key) {
  return tv_json_str(tv_json_get(f->meta, key), NULL);
}

// ---- the weights container

struct cache_entry {
  char *name;
  float *f32;       /* owned array from tv_weights_f32 */
  int64_t f32_count;
  tv_mat *mat;      /* owned view from tv_weights_mat */
  float *scales;    /* the view's scales */
  float *conv;      /* the view's converted float data */
};

struct tv_weights {
  tv_file *file;
  const tv_json *layout;
  tv_json *quant;
  cache_entry *cache;
  int32_t ncache;
  int32_t room;
};

tv_weights *tv_weights_open(const char *path) {
  tv_weights *w = (tv_weights *)tv_calloc(sizeof *w);
  if (!w) return NULL;
  if (!(w->file = tv_file_open(path))) {
    tv_free(w);
    return NULL;
  }
  const char *q = tv_file_metadata(w->file, "tovantts_quant");
  if (q) {
    w->quant = tv_json_parse(q, strlen(q));
    if (!w->quant) {
      tv_seterr("%s: bad tovantts_quant metadata", path);
      tv_weights_close(w);
      return NULL;
    }
    w->layout = tv_json_get(w->quant, "layout");
  }
  return w;
}

void tv_weights_close(tv_weights *w) {
  if (!w) return;
  for (int32_t i = 0; i < w->ncache; i++) {
    cache_entry *c = &w->cache[i];
    tv_free(c->name);
    tv_free(c->f32);
    tv_free(c->mat);
    tv_free(c->scales);
    tv_free(c->conv);
  }
  free(w->cache);
  tv_json_free(w->quant);
  tv_file_close(w->file);
  tv_free(w);
}

const char *tv_weights_path(const tv_weights *w) { return w->file->path; }

const tv_file *tv_weights_file(const tv_weights *w) { return w->file; }

static const tv_json *layout_entry(const tv_weights *w, const char *name) {
  return tv_json_get(w->layout, name);
}

int tv_weights_has(const tv_weights *w, const char *name) {
  return (layout_entry(w, name) || tv_file_find(w->file, name)) ? 1 : 0;
}

int tv_weights_shape(const tv_weights *w, const char *name, uint64_t dims[TV_MAX_DIMS]) {
  const char *path = w->file->path;
  const tv_json *shape = tv_json_get(layout_entry(w, name), "shape");
  if (shape) {
    if (shape->kind != TV_JSON_ARR) {
      tv_seterr("%s: bad layout shape for %s", path, name);
      return 0;
    }
    if (shape->count > TV_MAX_DIMS) {
      tv_seterr("%s: layout shape of %s has %d dims", path, name, shape->count);
      return 0;
    }
    for (int32_t i = 0; i < shape->count; i++) {
      if (!int_literal(&shape->items[i], &dims[i])) {
        tv_seterr("%s: bad layout shape for %s", path, name);
        return 0;
      }
    }
    if (shape->count == 0) tv_seterr("%s: missing tensor %s", path, name);
    return shape->count;
  }
  const tv_tensor *t = tv_file_find(w->file, name);
  if (!t || t->ndim == 0) {
    tv_seterr("%s: missing tensor %s", path, name);
    return 0;
  }
  for (int32_t i = 0; i < t->ndim; i++) dims[i] = t->dims[i];
  return t->ndim;
}

// Converts n elements of a tensor to floats into out; -1 for I16.
static int convert(const tv_tensor *t, float *out, uint64_t n) {
  const unsigned char *p = (const unsigned char *)t->data;
  switch (t->dtype) {
    case TV_DT_F32: memcpy(out, p, n * 4); return 0;
    case TV_DT_F16:
      for (uint64_t i = 0; i < n; i++) {
        uint16_t h;
        memcpy(&h, p + 2 * i, 2);
        out[i] = tv_half_to_float(h);
      }
      return 0;
    case TV_DT_BF16:
      for (uint64_t i = 0; i < n; i++) {
        uint16_t h;
        memcpy(&h, p + 2 * i, 2);
        out[i] = tv_bf16_to_float(h);
      }
      return 0;
    case TV_DT_I8:
      for (uint64_t i = 0; i < n; i++) out[i] = (float)(int8_t)p[i];
      return 0;
    case TV_DT_U8:
    case TV_DT_BOOL:
      for (uint64_t i = 0; i < n; i++) out[i] = (float)p[i];
      return 0;
    case TV_DT_I32:
      for (uint64_t i = 0; i < n; i++) {
        int32_t v;
        memcpy(&v, p + 4 * i, 4);
        out[i] = (float)v;
      }
      return 0;
    case TV_DT_I64:
      for (uint64_t i = 0; i < n; i++) {
        int64_t v;
        memcpy(&v, p + 8 * i, 8);
        out[i] = (float)v;
      }
      return 0;
    case TV_DT_F64:
      for (uint64_t i = 0; i < n; i++) {
        double v;
        memcpy(&v, p + 8 * i, 8);
        out[i] = (float)v;
      }
      return 0;
  }
  tv_seterr("unsupported dtype");
  return -1;
}

// Float form of a whole tensor: in place when it is aligned F32 (*owned NULL),
// else a new converted array (*owned set to it).
static const float *float_form(const tv_tensor *t, float **owned) {
  *owned = NULL;
  if (t->dtype == TV_DT_F32 && ((uintptr_t)t->data % 4) == 0) return (const float *)t->data;
  if (t->dtype == TV_DT_I16) {
    tv_seterr("unsupported dtype");
    return NULL;
  }
  uint64_t n = tv_numel(t);
  float *out = (float *)tv_malloc((size_t)n * 4);
  if (!out) return NULL;
  if (convert(t, out, n) != 0) {
    tv_free(out);
    return NULL;
  }
  *owned = out;
  return out;
}

static bool all_finite(const float *x, int64_t n) {
  for (int64_t i = 0; i < n; i++)
    if (!isfinite(x[i])) return false;
  return true;
}

static cache_entry *cache_find(tv_weights *w, const char *name) {
  for (int32_t i = 0; i < w->ncache; i++)
    if (strcmp(w->cache[i].name, name) == 0) return &w->cache[i];
  return NULL;
}

static cache_entry *cache_get(tv_weights *w, const char *name) {
  cache_entry *c = cache_find(w, name);
  if (c) return c;
  if (w->ncache == w->room) {
    int32_t room = w->room ? w->room * 2 : 64;
    cache_entry *grown = (cache_entry *)realloc(w->cache, (size_t)room * sizeof *grown);
    if (!grown) {
      tv_seterr("out of memory");
      return NULL;
    }
    w->cache = grown;
    w->room = room;
  }
  char *copy = tv_strdup(name);
  if (!copy) return NULL;
  c = &w->cache[w->ncache++];
  memset(c, 0, sizeof *c);
  c->name = copy;
  return c;
}

// The integer value of a layout member, or def when the member is absent;
// false when present but not an integer literal in [lo, hi].
static bool layout_int(const tv_json *entry, const char *key, int64_t def, int64_t lo, int64_t hi,
                       int64_t *out) {
  const tv_json *v = tv_json_get(entry, key);
  if (!v) {
    *out = def;
    return true;
  }
  uint64_t u;
  if (!int_literal(v, &u) || (int64_t)u < lo || (int64_t)u > hi) return false;
  *out = (int64_t)u;
  return true;
}

static bool shape_mismatch(const char *path, const char *name, int64_t r, int64_t k, int32_t rows,
                           int32_t cols) {
  if ((rows >= 1 && rows != r) || (cols >= 1 && cols != k)) {
    tv_seterr("%s: %s is [%d, %d], expected [%d, %d]", path, name, (int)r, (int)k, rows, cols);
    return true;
  }
  return false;
}

const tv_mat *tv_weights_mat(tv_weights *w, const char *name, int32_t rows, int32_t cols) {
  const char *path = w->file->path;
  cache_entry *hit = cache_find(w, name);
  if (hit && hit->mat) {
    // A cached view still has to be the shape this caller asks for.
    if (shape_mismatch(path, name, hit->mat->rows, hit->mat->cols, rows, cols)) return NULL;
    return hit->mat;
  }
  uint64_t dims[TV_MAX_DIMS];
  int nd = tv_weights_shape(w, name, dims);
  if (nd == 0) return NULL;
  uint64_t r64 = dims[0], k64 = 1;
  bool zero = false, too_big = r64 > (uint64_t)MAX_I32;
  for (int i = 1; i < nd; i++) {
    if (dims[i] == 0) zero = true;
    else if (k64 > (uint64_t)MAX_I32 / dims[i]) too_big = true;
    else k64 *= dims[i];
  }
  if (zero) k64 = 0;
  if (too_big || k64 > (uint64_t)MAX_I32) {
    tv_seterr("%s: %s has an unsupported shape for a matrix", path, name);
    return NULL;
  }
  int32_t R = (int32_t)r64, K = (int32_t)k64;
  if (shape_mismatch(path, name, R, K, rows, cols)) return NULL;

  const tv_json *entry = layout_entry(w, name);
  const char *s = tv_json_str(tv_json_get(entry, "s"), "raw");
  tv_mat m;
  memset(&m, 0, sizeof m);
  m.rows = R;
  m.cols = K;
  float *scales = NULL, *conv = NULL;
  tv_mat *view = NULL;
  cache_entry *c;
  if (strcmp(s, "raw") == 0 || strcmp(s, "fp16") == 0) {
    const tv_tensor *t = tv_file_find(w->file, name);
    if (!t) {
      tv_seterr("%s: missing tensor %s", path, name);
      return NULL;
    }
    if (tv_numel(t) != (uint64_t)R * (uint64_t)K) {
      tv_seterr("%s: %s has %lld elements, layout shape says [%d, %d]", path, name,
                (long long)tv_numel(t), R, K);
      return NULL;
    }
    m.storage = TV_MAT_F32;
    if (!(m.f32 = float_form(t, &conv))) return NULL;
  } else if (strcmp(s, "int8") == 0 || strcmp(s, "int4") == 0) {
    bool int4 = s[3] == '4';
    // Local buffers, not tv_name: callers often hold a tv_name result (the
    // very `name` here) across this call, and the rotating buffers would
    // overwrite it.
    char qn[600], sn[600];
    snprintf(qn, sizeof qn, "%s::q", name);
    snprintf(sn, sizeof sn, "%s::s", name);
    const tv_tensor *q = tv_file_find(w->file, qn);
    const tv_tensor *st = tv_file_find(w->file, sn);
    if (!q || !st) {
      tv_seterr("%s: missing tensor %s", path, q ? sn : qn);
      return NULL;
    }
    if (int4) {
      int64_t g, kp;
      if (!layout_int(entry, "g", 32, 2, 65536, &g) || !layout_int(entry, "Kp", K, K, MAX_I32, &kp) ||
          kp % 2 != 0 || kp % g != 0) {
        tv_seterr("%s: bad int4 group / padding for %s", path, name);
        return NULL;
      }
      if ((q->dtype != TV_DT_I8 && q->dtype != TV_DT_U8) ||
          q->size < (uint64_t)kp * (uint64_t)R / 2 ||
          tv_numel(st) != (uint64_t)(kp / g) * (uint64_t)R) {
        tv_seterr("%s: bad int4 layout for %s", path, name);
        return NULL;
      }
      m.storage = TV_MAT_I4;
      m.i4 = (const uint8_t *)q->data;
      m.g = (int32_t)g;
      m.kp = (int32_t)kp;
    } else {
      if (q->dtype != TV_DT_I8 || q->size != (uint64_t)R * (uint64_t)K || tv_numel(st) != (uint64_t)R) {
        tv_seterr("%s: bad int8 layout for %s", path, name);
        return NULL;
      }
      m.storage = TV_MAT_I8;
      m.i8 = (const int8_t *)q->data;
    }
    const float *sf = float_form(st, &scales);
    if (!sf) return NULL;
    if (!scales) {
      // Scales are always an owned copy.
      uint64_t n = tv_numel(st);
      if (!(scales = (float *)tv_malloc((size_t)n * 4))) return NULL;
      memcpy(scales, sf, (size_t)n * 4);
    }
    m.scales = scales;
    if (!all_finite(scales, (int64_t)tv_numel(st))) {
      tv_seterr("%s: the scales of %s hold a value that is not finite (damaged file?)", path, name);
      goto fail;
    }
  } else {
    tv_seterr("%s: unknown storage '%s' for %s", path, s, name);
    return NULL;
  }
  view = (tv_mat *)tv_malloc(sizeof *view);
  if (!view || !(c = cache_get(w, name))) goto fail;
  *view = m;
  c->mat = view;
  c->scales = scales;
  c->conv = conv;
  return view;
fail:
  tv_free(view);
  tv_free(scales);
  tv_free(conv);
  return NULL;
}

// Expands a quantised view into rows x cols floats.
static float *expand(const tv_mat *m) {
  size_t n = (size_t)m->rows * (size_t)m->cols;
  float *out = (float *)tv_malloc(n * 4);
  if (!out) return NULL;
  for (int32_t r = 0; r < m->rows; r++) {
    float *o = out + (size_t)r * m->cols;
    if (m->storage == TV_MAT_I8) {
      const int8_t *q = m->i8 + (size_t)r * m->cols;
      for (int32_t c = 0; c < m->cols; c++) o[c] = (float)q[c] * m->scales[r];
    } else {
      const float *s = m->scales + (size_t)r * (m->kp / m->g);
      for (int32_t c = 0; c < m->cols; c++) {
        size_t j = (size_t)r * m->kp + c;
        int nib = (j & 1) ? (m->i4[j / 2] >> 4) : (m->i4[j / 2] & 15);
        o[c] = (float)(nib - 8) * s[c / m->g];
      }
    }
  }
  return out;
}

const float *tv_weights_f32(tv_weights *w, const char *name, int64_t expected) {
  const char *path = w->file->path;
  cache_entry *hit = cache_find(w, name);
  if (hit && hit->f32) {
    // A cached array still has to hold the count this caller asks for.
    if (expected >= 1 && expected != hit->f32_count) {
      tv_seterr("%s: tensor %s has %lld elements, expected %lld", path, name,
                (long long)hit->f32_count, (long long)expected);
      return NULL;
    }
    return hit->f32;
  }
  const char *s = tv_json_str(tv_json_get(layout_entry(w, name), "s"), "raw");
  float *owned = NULL;
  const float *out;
  int64_t count;
  if (strcmp(s, "int8") == 0 || strcmp(s, "int4") == 0) {
    const tv_mat *m = tv_weights_mat(w, name, 0, 0);
    if (!m) return NULL;
    if (!(owned = expand(m))) return NULL;
    out = owned;
    count = (int64_t)m->rows * m->cols;
  } else {
    const tv_tensor *t = tv_file_find(w->file, name);
    if (!t) {
      tv_seterr("%s: missing tensor %s", path, name);
      return NULL;
    }
    if (!(out = float_form(t, &owned))) return NULL;
    count = (int64_t)tv_numel(t);
  }
  if (expected >= 1 && expected != count) {
    tv_free(owned);
    tv_seterr("%s: tensor %s has %lld elements, expected %lld", path, name, (long long)count,
              (long long)expected);
    return NULL;
  }
  if (owned) {
    cache_entry *c = cache_get(w, name);
    if (!c) {
      tv_free(owned);
      return NULL;
    }
    c->f32 = owned;
    c->f32_count = count;
  }
  return out;
}

const float *tv_weights_finite(tv_weights *w, const char *name, int64_t expected) {
  const float *x = tv_weights_f32(w, name, expected);
  if (!x) return NULL;
  uint64_t dims[TV_MAX_DIMS];
  const int nd = tv_weights_shape(w, name, dims);
  int64_t n = 1;
  for (int i = 0; i < nd; i++) n *= (int64_t)dims[i];
  if (!all_finite(x, n)) {
    tv_seterr("%s: tensor %s holds a value that is not finite (damaged file?)", w->file->path, name);
    return NULL;
  }
  return x;
}

const char *tv_name(const char *fmt, ...) {
  static thread_local char bufs[4][512];
  static thread_local int next;
  char *b = bufs[next];
  next = (next + 1) & 3;
  va_list ap;
  va_start(ap, fmt);
  if (vsnprintf(b, 512, fmt, ap) < 0) b[0] = 0;
  va_end(ap);
  return b;
}
