#include "runtime/stwriter.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>
#include <vector>

namespace {

struct st_tensor {
  std::string name;
  int32_t dtype;
  std::vector<int64_t> dims;
  std::string bytes;
};

struct st_layout {
  std::string name;
  const char *storage;
  std::vector<int64_t> dims;
  int32_t g, kp;  // int4 only
};

}  // namespace

struct tv_stwriter {
  std::vector<st_tensor> tensors;
  std::vector<st_layout> layout;
  std::vector<std::pair<std::string, std::string>> meta;
};

uint16_t tv_float_to_half(float f) {
  uint32_t x;
  memcpy(&x, &f, 4);
  uint32_t sign = (x >> 16) & 0x8000;
  uint32_t exp = (x >> 23) & 0xFF;
  uint32_t man = x & 0x7FFFFF;
  if (exp == 0xFF) return (uint16_t)(sign | 0x7C00 | (man ? 0x200 | (man >> 13) : 0));
  int e = (int)exp - 127 + 15;
  if (e >= 31) return (uint16_t)(sign | 0x7C00);
  if (e <= 0) {
    // Subnormal or zero half: shift the full mantissa and round to nearest even.
    if (e < -10) return (uint16_t)sign;
    man |= 0x800000;
    int shift = 14 - e;
    uint32_t half = man >> shift;
    uint32_t rest = man & ((1u << shift) - 1);
    uint32_t mid = 1u << (shift - 1);
    if (rest > mid || (rest == mid && (half & 1))) half++;
    return (uint16_t)(sign | half);
  }
  uint32_t half = ((uint32_t)e << 10) | (man >> 13);
  uint32_t rest = man & 0x1FFF;
  if (rest > 0x1000 || (rest == 0x1000 && (half & 1))) half++;  // may carry into the exponent
  return (uint16_t)(sign | half);
}

tv_stwriter *tv_stwriter_create(void) {
  tv_stwriter *w = new (std::nothrow) tv_stwriter;
  if (!w) tv_seterr("out of memory");
  return w;
}

void tv_stwriter_free(tv_stwriter *w) { delete w; }

static bool numel_of(int32_t ndim, const int64_t *dims, uint64_t *n) {
  if (ndim < 0 || ndim > TV_MAX_DIMS) return false;
  uint64_t p = 1;
  for (int32_t i = 0; i < ndim; i++) {
    if (dims[i] < 0) return false;
    if (dims[i] && p > UINT64_MAX / (uint64_t)dims[i]) return false;
    p *= (uint64_t)dims[i];
  }
  *n = p;
  return true;
}

static void put_tensor(tv_stwriter *w, st_tensor &&t) {
  for (st_tensor &old : w->tensors)
    if (old.name == t.name) {
      old = std::move(t);
      return;
    }
  w->tensors.push_back(std::move(t));
}

int tv_stwriter_add(tv_stwriter *w, const char *name, int32_t dtype, int32_t ndim, const int64_t *dims,
                    const void *data) {
  uint64_t n;
  int32_t es = tv_dtype_size(dtype);
  if (!es || !numel_of(ndim, dims, &n) || n > (1ull << 53) / (uint64_t)es) {
    tv_seterr("safetensors: bad tensor %s", name);
    return -1;
  }
  try {
    st_tensor t{name, dtype, std::vector<int64_t>(dims, dims + ndim),
                std::string((const char *)data, (size_t)(n * (uint64_t)es))};
    put_tensor(w, std::move(t));
  } catch (const std::bad_alloc &) {
    tv_seterr("out of memory");
    return -1;
  }
  return 0;
}

int tv_stwriter_add_f32(tv_stwriter *w, const char *name, int32_t ndim, const int64_t *dims,
                        const float *data) {
  return tv_stwriter_add(w, name, TV_DT_F32, ndim, dims, data);
}

static int add_layout(tv_stwriter *w, const char *name, const char *storage, int32_t ndim,
                      const int64_t *dims, int32_t g, int32_t kp) {
  st_layout e{name, storage, std::vector<int64_t>(dims, dims + ndim), g, kp};
  for (st_layout &old : w->layout)
    if (old.name == e.name) {
      old = std::move(e);
      return 0;
    }
  w->layout.push_back(std::move(e));
  return 0;
}

int tv_stwriter_add_mat(tv_stwriter *w, const char *name, int32_t storage, int32_t ndim,
                        const int64_t *dims, const float *data, int32_t g, int32_t kp) {
  uint64_t n;
  if (ndim < 1 || !numel_of(ndim, dims, &n)) {
    tv_seterr("safetensors: bad shape for %s", name);
    return -1;
  }
  int64_t R = dims[0], K = 1;
  for (int32_t i = 1; i < ndim; i++) K *= dims[i];
  try {
    switch (storage) {
      case TV_ST_RAW:
        if (tv_stwriter_add(w, name, TV_DT_F32, ndim, dims, data) != 0) return -1;
        return add_layout(w, name, "raw", ndim, dims, 0, 0);
      case TV_ST_FP16: {
        std::vector<uint16_t> h(n);
        for (uint64_t i = 0; i < n; i++) h[i] = tv_float_to_half(data[i]);
        if (tv_stwriter_add(w, name, TV_DT_F16, ndim, dims, h.data()) != 0) return -1;
        return add_layout(w, name, "fp16", ndim, dims, 0, 0);
      }
      case TV_ST_INT8: {
        std::vector<int8_t> q((size_t)n);
        std::vector<float> s((size_t)R);
        for (int64_t r = 0; r < R; r++) {
          const float *x = data + r * K;
          float m = 0;
          for (int64_t c = 0; c < K; c++) m = fmaxf(m, fabsf(x[c]));
          float scale = m > 0 ? m / 127.0f : 1.0f;
          s[r] = scale;
          for (int64_t c = 0; c < K; c++) {
            float v = rintf(x[c] / scale);
            q[r * K + c] = (int8_t)fminf(127.0f, fmaxf(-127.0f, v));
          }
        }
        int64_t qd[2] = {R, K};
        if (tv_stwriter_add(w, tv_name("%s::q", name), TV_DT_I8, 2, qd, q.data()) != 0 ||
            tv_stwriter_add(w, tv_name("%s::s", name), TV_DT_F32, 1, &R, s.data()) != 0)
          return -1;
        return add_layout(w, name, "int8", ndim, dims, 0, 0);
      }
      case TV_ST_INT4: {
        if (g == 0) g = 32;
        if (g < 2 || g > 65536) {
          tv_seterr("safetensors: bad int4 group for %s", name);
          return -1;
        }
        if (kp == 0) {
          int64_t step = (g % 2) ? 2 * (int64_t)g : g;
          int64_t p = (K + step - 1) / step * step;
          if (p > 2147483647) {
            tv_seterr("safetensors: bad int4 padding for %s", name);
            return -1;
          }
          kp = (int32_t)p;
        }
        if (kp < K || kp % 2 || kp % g) {
          tv_seterr("safetensors: bad int4 padding for %s", name);
          return -1;
        }
        int64_t groups = kp / g;
        std::vector<uint8_t> q((size_t)(R * kp / 2), 0x88);
        std::vector<float> s((size_t)(R * groups));
        for (int64_t r = 0; r < R; r++) {
          const float *x = data + r * K;
          for (int64_t gi = 0; gi < groups; gi++) {
            int64_t c0 = gi * g, c1 = c0 + g < K ? c0 + g : K;
            float m = 0;
            for (int64_t c = c0; c < c1; c++) m = fmaxf(m, fabsf(x[c]));
            float scale = m > 0 ? m / 7.0f : 1.0f;
            s[r * groups + gi] = scale;
            for (int64_t c = c0; c < c1; c++) {
              int v = (int)fminf(7.0f, fmaxf(-8.0f, rintf(x[c] / scale))) + 8;
              int64_t j = r * kp + c;
              uint8_t &b = q[(size_t)(j / 2)];
              b = (j & 1) ? (uint8_t)((b & 0x0F) | (v << 4)) : (uint8_t)((b & 0xF0) | v);
            }
          }
        }
        int64_t qd[2] = {R, kp / 2}, sd[2] = {R, groups};
        if (tv_stwriter_add(w, tv_name("%s::q", name), TV_DT_U8, 2, qd, q.data()) != 0 ||
            tv_stwriter_add(w, tv_name("%s::s", name), TV_DT_F32, 2, sd, s.data()) != 0)
          return -1;
        return add_layout(w, name, "int4", ndim, dims, g, kp);
      }
    }
  } catch (const std::bad_alloc &) {
    tv_seterr("out of memory");
    return -1;
  }
  tv_seterr("safetensors: unknown storage %d for %s", storage, name);
  return -1;
}

int tv_stwriter_meta(tv_stwriter *w, const char *key, const char *value) {
  try {
    for (auto &kv : w->meta)
      if (kv.first == key) {
        kv.second = value;
        return 0;
      }
    w->meta.emplace_back(key, value);
  } catch (const std::bad_alloc &) {
    tv_seterr("out of memory");
    return -1;
  }
  return 0;
}

static void json_string(std::string &out, const std::string &s) {
  out += '"';
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += (char)c;
    } else if (c < 0x20) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += (char)c;
    }
  }
  out += '"';
}

static void json_dims(std::string &out, const std::vector<int64_t> &dims) {
  out += '[';
  for (size_t i = 0; i < dims.size(); i++) {
    if (i) out += ',';
    out += std::to_string(dims[i]);
  }
  out += ']';
}

static const char *dtype_name(int32_t dt) {
  static const char *names[] = {"F32", "F16", "BF16", "I8", "U8", "I16", "I32", "I64", "BOOL", "F64"};
  return names[dt];
}

static int write_all(FILE *f, const std::string &s) {
  return fwrite(s.data(), 1, s.size(), f) == s.size() ? 0 : -1;
}

int tv_stwriter_save(tv_stwriter *w, const char *path) {
  std::string tmp;
  FILE *f = NULL;
  try {
    std::vector<std::pair<std::string, std::string>> meta = w->meta;
    if (!w->layout.empty()) {
      std::string q = "{\"layout\":{";
      for (size_t i = 0; i < w->layout.size(); i++) {
        const st_layout &e = w->layout[i];
        if (i) q += ',';
        json_string(q, e.name);
        q += ":{\"s\":\"";
        q += e.storage;
        q += "\",\"shape\":";
        json_dims(q, e.dims);
        if (strcmp(e.storage, "int4") == 0)
          q += ",\"g\":" + std::to_string(e.g) + ",\"Kp\":" + std::to_string(e.kp);
        q += '}';
      }
      q += "}}";
      bool replaced = false;
      for (auto &kv : meta)
        if (kv.first == "tovantts_quant") kv.second = q, replaced = true;
      if (!replaced) meta.emplace_back("tovantts_quant", q);
    }
    std::string hdr = "{";
    bool first = true;
    if (!meta.empty()) {
      hdr += "\"__metadata__\":{";
      for (size_t i = 0; i < meta.size(); i++) {
        if (i) hdr += ',';
        json_string(hdr, meta[i].first);
        hdr += ':';
        json_string(hdr, meta[i].second);
      }
      hdr += '}';
      first = false;
    }
    uint64_t off = 0;
    std::vector<uint64_t> begins;
    for (const st_tensor &t : w->tensors) {
      off = (off + 63) & ~(uint64_t)63;
      begins.push_back(off);
      if (!first) hdr += ',';
      first = false;
      json_string(hdr, t.name);
      hdr += ":{\"dtype\":\"";
      hdr += dtype_name(t.dtype);
      hdr += "\",\"shape\":";
      json_dims(hdr, t.dims);
      hdr += ",\"data_offsets\":[" + std::to_string(off) + "," + std::to_string(off + t.bytes.size()) + "]}";
      off += t.bytes.size();
    }
    hdr += '}';
    // Pad with blanks so that the data area starts on a 64-byte boundary.
    while ((8 + hdr.size()) % 64) hdr += ' ';
    tmp = std::string(path) + ".tmp-XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) {
      tv_seterr("cannot write %s", path);
      return -1;
    }
    // mkstemp makes the file private; model files are read by every user.
    fchmod(fd, 0644);
    f = fdopen(fd, "wb");
    if (!f) {
      close(fd);
      goto fail;
    }
    unsigned char len8[8];
    uint64_t n = hdr.size();
    for (int i = 0; i < 8; i++) len8[i] = (unsigned char)(n >> (8 * i));
    if (fwrite(len8, 1, 8, f) != 8 || write_all(f, hdr) != 0) goto fail;
    uint64_t pos = 0;
    static const char zeros[64] = {0};
    for (size_t i = 0; i < w->tensors.size(); i++) {
      if (begins[i] > pos && fwrite(zeros, 1, begins[i] - pos, f) != begins[i] - pos) goto fail;
      if (write_all(f, w->tensors[i].bytes) != 0) goto fail;
      pos = begins[i] + w->tensors[i].bytes.size();
    }
    if (fflush(f) != 0 || fsync(fileno(f)) != 0) goto fail;
    if (fclose(f) != 0) {
      f = NULL;
      goto fail;
    }
    f = NULL;
    if (rename(tmp.c_str(), path) != 0) goto fail;
    return 0;
  } catch (const std::bad_alloc &) {
    if (f) fclose(f);
    if (!tmp.empty()) unlink(tmp.c_str());
    tv_seterr("out of memory");
    return -1;
  }
fail:
  if (f) fclose(f);
  unlink(tmp.c_str());
  tv_seterr("cannot write %s", path);
  return -1;
}
