#include "runtime/weights.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "runtime/stwriter.h"
#include "TempDir.h"

using tovan::test::TempDir;

// Raw safetensors bytes: the 8-byte length, the header, the data area.
static const uint64_t kHeaderSize = ~0ull;
static std::string st_bytes(const std::string &header, const std::string &data = "", uint64_t len = kHeaderSize) {
  uint64_t n = len == kHeaderSize ? header.size() : len;
  std::string out(8, '\0');
  for (int i = 0; i < 8; i++) out[i] = (char)(n >> (8 * i));
  return out + header + data;
}

static std::string f32_bytes(std::vector<float> v) {
  return std::string((const char *)v.data(), v.size() * 4);
}

// Opens the file; "" on success (closing it again), else the message with the
// path replaced by "P".
static std::string open_error(const std::string &path) {
  tv_file *f = tv_file_open(path.c_str());
  if (f) {
    tv_file_close(f);
    return "";
  }
  std::string m = tv_geterr();
  for (size_t at; (at = m.find(path)) != std::string::npos;) m.replace(at, path.size(), "P");
  return m;
}

TEST(Safetensors, RefusesMalformedFilesWithTheirMessage) {
  TempDir dir;
  const std::string one = R"("dtype":"F32","shape":[1],"data_offsets":[0,4])";
  const std::string four(4, '\0');
  struct Case {
    const char *what;
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"empty file", "", "P: not a safetensors file"},
      {"seven bytes", "1234567", "P: not a safetensors file"},
      {"empty header and data", st_bytes(""), "P: bad safetensors header (JSON: unexpected end)"},
      {"exact header length", st_bytes("{}"), ""},
      {"header one byte too long", st_bytes("{}", "", 3), "P: bad safetensors header"},
      {"header length near 2^64", st_bytes("{}", "", ~0ull - 1), "P: bad safetensors header"},
      {"blank padding", st_bytes("{}   \n"), ""},
      {"NUL padding", st_bytes(std::string("{}\0\0", 4)), "P: bad safetensors header (JSON: trailing characters)"},
      {"not an object", st_bytes("[1]"), "P: bad safetensors header (not an object)"},
      {"bad JSON", st_bytes("{\"a\":}"), "P: bad safetensors header (JSON: unexpected character '}')"},
      {"entry not an object", st_bytes(R"({"a":1})"), "P: bad entry a"},
      {"no dtype", st_bytes(R"({"a":{"shape":[1],"data_offsets":[0,4]}})", four), "P: bad entry a"},
      {"unknown dtype", st_bytes(R"({"a":{"dtype":"F8","shape":[1],"data_offsets":[0,1]}})", four), "P: bad entry a"},
      {"dtype not a string", st_bytes(R"({"a":{"dtype":0,"shape":[1],"data_offsets":[0,4]}})", four), "P: bad entry a"},
      {"shape not an array", st_bytes(R"({"a":{"dtype":"F32","shape":1,"data_offsets":[0,4]}})", four), "P: bad entry a"},
      {"nine dims", st_bytes(R"({"a":{"dtype":"F32","shape":[1,1,1,1,1,1,1,1,1],"data_offsets":[0,4]}})", four), "P: bad entry a"},
      {"three offsets", st_bytes(R"({"a":{"dtype":"F32","shape":[1],"data_offsets":[0,4,4]}})", four), "P: bad entry a"},
      {"no offsets", st_bytes(R"({"a":{"dtype":"F32","shape":[1]}})", four), "P: bad entry a"},
      {"float dim", st_bytes(R"({"a":{"dtype":"F32","shape":[1.0],"data_offsets":[0,4]}})", four), "P: bad shape for a"},
      {"negative dim", st_bytes(R"({"a":{"dtype":"F32","shape":[-1],"data_offsets":[0,4]}})", four), "P: bad shape for a"},
      {"dim above 2^53", st_bytes(R"({"a":{"dtype":"U8","shape":[9007199254740994],"data_offsets":[0,4]}})", four), "P: bad shape for a"},
      {"string dim", st_bytes(R"({"a":{"dtype":"F32","shape":["1"],"data_offsets":[0,4]}})", four), "P: bad shape for a"},
      {"end past data", st_bytes(R"({"a":{"dtype":"F32","shape":[2],"data_offsets":[0,8]}})", four), "P: bad offsets for a"},
      {"end below begin", st_bytes(R"({"a":{"dtype":"F32","shape":[0],"data_offsets":[4,0]}})", four), "P: bad offsets for a"},
      {"size mismatch", st_bytes(R"({"a":{"dtype":"F32","shape":[2],"data_offsets":[0,4]}})", four), "P: bad offsets for a"},
      {"float offset", st_bytes(R"({"a":{"dtype":"F32","shape":[1],"data_offsets":[0,4.0]}})", four), "P: bad offsets for a"},
      {"negative offset", st_bytes(R"({"a":{"dtype":"F32","shape":[1],"data_offsets":[-4,0]}})", four), "P: bad offsets for a"},
      {"huge offsets", st_bytes(R"({"a":{"dtype":"F32","shape":[1],"data_offsets":[9007199254740992,9007199254740996]}})", four), "P: bad offsets for a"},
      // Element counts whose byte size wraps 64 bits must not match small offsets.
      {"count saturates", st_bytes(R"({"a":{"dtype":"U8","shape":[4294967296,4294967296],"data_offsets":[0,0]}})", four), "P: bad offsets for a"},
      {"count x size wraps", st_bytes(R"({"a":{"dtype":"F32","shape":[4611686018427387904],"data_offsets":[0,0]}})", four), "P: bad shape for a"},
      {"bytes wrap to zero", st_bytes(R"({"a":{"dtype":"F32","shape":[2147483648,2147483648],"data_offsets":[0,0]}})", four), "P: bad offsets for a"},
      {"second entry bad", st_bytes("{\"a\":{" + one + "},\"b\":{\"dtype\":\"F32\"}}", four), "P: bad entry b"},
      {"scalar", st_bytes(R"({"a":{"dtype":"F32","shape":[],"data_offsets":[0,4]}})", four), ""},
      {"zero-size tensor at the end", st_bytes(R"({"a":{"dtype":"F32","shape":[0,3],"data_offsets":[4,4]}})", four), ""},
  };
  for (const Case &c : cases) {
    std::string path = dir.write("t.safetensors", c.bytes);
    EXPECT_EQ(open_error(path), c.expected) << c.what;
  }
  std::string missing = dir.file("missing.safetensors");
  EXPECT_EQ(open_error(missing), "cannot open P");
  EXPECT_EQ(open_error(dir.path.string()), "cannot map P");
}

TEST(Safetensors, KeepsTheLastDefinitionAndFindsBySortedName) {
  TempDir dir;
  std::string header = R"({"zeta":{"dtype":"F32","shape":[1],"data_offsets":[0,4]},)"
                       R"("__metadata__":{"k":"old"},)"
                       R"("alpha":{"dtype":"F32","shape":[],"data_offsets":[4,8]},)"
                       R"("zeta":{"dtype":"F32","shape":[1,1],"data_offsets":[8,12]},)"
                       R"("__metadata__":{"k":"new","n":3},)"
                       R"("mid":{"dtype":"U8","shape":[2,2],"data_offsets":[12,16]}})";
  std::string path = dir.write("t.safetensors", st_bytes(header, f32_bytes({1, 2, 3}) + "\x01\x02\x03\x04"));
  tv_file *f = tv_file_open(path.c_str());
  ASSERT_NE(f, nullptr) << tv_geterr();
  ASSERT_EQ(tv_file_count(f), 3);
  EXPECT_STREQ(tv_file_tensor(f, 0)->name, "alpha");
  EXPECT_STREQ(tv_file_tensor(f, 1)->name, "mid");
  EXPECT_STREQ(tv_file_tensor(f, 2)->name, "zeta");
  const tv_tensor *z = tv_file_find(f, "zeta");
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z->ndim, 2);
  float v;
  memcpy(&v, z->data, 4);
  EXPECT_EQ(v, 3);
  EXPECT_EQ(tv_numel(tv_file_find(f, "alpha")), 1u);
  EXPECT_EQ(tv_numel(tv_file_find(f, "mid")), 4u);
  EXPECT_EQ(tv_file_find(f, "beta"), nullptr);
  EXPECT_EQ(tv_file_find(f, "zz"), nullptr);
  EXPECT_STREQ(tv_file_metadata(f, "k"), "new");
  EXPECT_EQ(tv_file_metadata(f, "n"), nullptr);  // not a string
  EXPECT_EQ(tv_file_metadata(f, "x"), nullptr);
  tv_file_close(f);
  tv_file_close(nullptr);
}

TEST(Safetensors, HalfConversionIsExactForEveryValue) {
  for (uint32_t h = 0; h < 65536; h++) {
    uint32_t e = (h >> 10) & 31, m = h & 1023;
    double sign = (h & 0x8000) ? -1 : 1;
    float f = tv_half_to_float((uint16_t)h);
    if (e == 31) {
      if (m) EXPECT_TRUE(std::isnan(f)) << h;
      else EXPECT_EQ(f, sign * INFINITY) << h;
      continue;
    }
    double want = e ? sign * ldexp(1024 + m, (int)e - 25) : sign * ldexp(m, -24);
    ASSERT_EQ(f, (float)want) << h;
    ASSERT_EQ(signbit(f), sign < 0) << h;
    ASSERT_EQ(tv_float_to_half(f), h) << h;  // and back
  }
  // Rounding to nearest even, overflow to infinity, underflow to zero.
  EXPECT_EQ(tv_float_to_half(1.0f + 1.0f / 2048), 0x3C00);
  EXPECT_EQ(tv_float_to_half(1.0f + 3.0f / 2048), 0x3C02);
  EXPECT_EQ(tv_float_to_half(70000.0f), 0x7C00);
  EXPECT_EQ(tv_float_to_half(65519.0f), 0x7BFF);
  EXPECT_EQ(tv_float_to_half(1e-9f), 0x0000);
  EXPECT_EQ(tv_float_to_half(3e-8f), 0x0001);  // above half the smallest subnormal
  EXPECT_EQ(tv_bf16_to_float(0x3FC0), 1.5f);
  EXPECT_EQ(tv_bf16_to_float(0xFF80), -INFINITY);
}

static std::string le(uint64_t v, int n) {
  std::string s;
  for (int i = 0; i < n; i++) s += (char)(v >> (8 * i));
  return s;
}

TEST(Weights, ConvertsEveryDtypeToFloat) {
  TempDir dir;
  double d = 0.1;
  std::string f64((const char *)&d, 8);
  struct Case {
    const char *dtype;
    std::string bytes;
    std::vector<float> want;
  } cases[] = {
      {"F32", f32_bytes({1.5f, -2}), {1.5f, -2}},
      {"F16", le(0x3E00, 2) + le(0x8001, 2), {1.5f, -5.9604645e-8f}},
      {"BF16", le(0x3FC0, 2) + le(0xC000, 2), {1.5f, -2}},
      {"I8", "\x05\xFB", {5, -5}},
      {"U8", "\x05\xFB", {5, 251}},
      {"I32", le((uint32_t)-7, 4) + le(16777217, 4), {-7, 16777216}},
      {"I64", le((uint64_t)-3, 8) + le(1ull << 40, 8), {-3, 1099511627776.0f}},
      {"BOOL", std::string("\x00\x01", 2), {0, 1}},
      {"F64", f64 + f64, {0.1f, 0.1f}},
  };
  for (const Case &c : cases) {
    std::string header = std::string(R"({"t":{"dtype":")") + c.dtype + R"(","shape":[2],"data_offsets":[0,)" +
                         std::to_string(c.bytes.size()) + "]}}";
    std::string path = dir.write("t.safetensors", st_bytes(header, c.bytes));
    tv_weights *w = tv_weights_open(path.c_str());
    ASSERT_NE(w, nullptr) << tv_geterr();
    const float *v = tv_weights_f32(w, "t", 2);
    ASSERT_NE(v, nullptr) << c.dtype << ": " << tv_geterr();
    EXPECT_EQ(v[0], c.want[0]) << c.dtype;
    EXPECT_EQ(v[1], c.want[1]) << c.dtype;
    const tv_mat *m = tv_weights_mat(w, "t", 2, 1);
    ASSERT_NE(m, nullptr) << tv_geterr();
    EXPECT_EQ(m->storage, (uint32_t)TV_MAT_F32);
    EXPECT_EQ(m->f32[1], c.want[1]);
    tv_weights_close(w);
  }
  std::string path = dir.write("t.safetensors", st_bytes(R"({"t":{"dtype":"I16","shape":[1],"data_offsets":[0,2]}})", "ab"));
  tv_weights *w = tv_weights_open(path.c_str());
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(tv_weights_f32(w, "t", 0), nullptr);
  EXPECT_STREQ(tv_geterr(), "unsupported dtype");
  EXPECT_EQ(tv_weights_mat(w, "t", 0, 0), nullptr);
  EXPECT_STREQ(tv_geterr(), "unsupported dtype");
  tv_weights_close(w);
}

TEST(Weights, AlignedFloatsStayInTheMappingOthersAreCopied) {
  TempDir dir;
  // "a" at data offset 0 of a 64-aligned data area, "b" at offset 1.
  std::string header = R"({"a":{"dtype":"F32","shape":[2],"data_offsets":[0,8]},)"
                       R"("b":{"dtype":"F32","shape":[2],"data_offsets":[9,17]}})";
  while ((8 + header.size()) % 64) header += ' ';
  std::string data = f32_bytes({1, 2}) + "x" + f32_bytes({3, 4});
  std::string path = dir.write("t.safetensors", st_bytes(header, data));
  tv_weights *w = tv_weights_open(path.c_str());
  ASSERT_NE(w, nullptr) << tv_geterr();
  const tv_file *f = tv_weights_file(w);
  const float *a = tv_weights_f32(w, "a", 2);
  const float *b = tv_weights_f32(w, "b", 2);
  ASSERT_TRUE(a && b);
  EXPECT_EQ((const void *)a, tv_file_find(f, "a")->data);
  EXPECT_NE((const void *)b, tv_file_find(f, "b")->data);
  EXPECT_EQ((uintptr_t)b % 4, 0u);
  EXPECT_EQ(b[0], 3);
  EXPECT_EQ(b[1], 4);
  EXPECT_EQ(tv_weights_f32(w, "b", 0), b);  // converted once, then cached
  EXPECT_EQ(tv_weights_mat(w, "b", 1, 2), nullptr);
  EXPECT_EQ(std::string(tv_geterr()), path + ": b is [2, 1], expected [1, 2]");
  tv_weights_close(w);
}

static std::vector<float> ramp(size_t n, float seed) {
  std::vector<float> v(n);
  uint32_t s = (uint32_t)(seed * 1000) + 12345;
  for (size_t i = 0; i < n; i++) {
    s = s * 1664525u + 1013904223u;
    v[i] = ((float)(s >> 8) / 16777216.0f - 0.5f) * 4 * seed;
  }
  return v;
}

// value(r, c) of any view, decoded independently of the container.
static float view_at(const tv_mat *m, int r, int c) {
  switch (m->storage) {
    case TV_MAT_F32: return m->f32[(size_t)r * m->cols + c];
    case TV_MAT_I8: return (float)m->i8[(size_t)r * m->cols + c] * m->scales[r];
    default: {
      size_t j = (size_t)r * m->kp + c;
      int nib = (m->i4[j / 2] >> ((j & 1) * 4)) & 15;
      return (float)(nib - 8) * m->scales[(size_t)r * (m->kp / m->g) + c / m->g];
    }
  }
}

TEST(Weights, QuantisedRoundTrips) {
  TempDir dir;
  struct Case {
    int32_t storage;
    std::vector<int64_t> dims;
    int32_t g, kp;
    uint32_t want_storage;
    float tolerance;  // relative to the largest |x| of a row
  } cases[] = {
      {TV_ST_RAW, {3, 5}, 0, 0, TV_MAT_F32, 0},
      {TV_ST_FP16, {7, 33}, 0, 0, TV_MAT_F32, 1.0f / 1024},
      {TV_ST_INT8, {1, 1}, 0, 0, TV_MAT_I8, 0.5f / 127},
      {TV_ST_INT8, {17, 3, 5}, 0, 0, TV_MAT_I8, 0.5f / 127},
      {TV_ST_INT8, {6}, 0, 0, TV_MAT_I8, 0.5f / 127},
      {TV_ST_INT4, {3, 5}, 0, 0, TV_MAT_I4, 0.5f / 7},
      {TV_ST_INT4, {5, 64}, 16, 0, TV_MAT_I4, 0.5f / 7},
      {TV_ST_INT4, {4, 70}, 32, 0, TV_MAT_I4, 0.5f / 7},
      {TV_ST_INT4, {9, 7}, 3, 12, TV_MAT_I4, 0.5f / 7},
      {TV_ST_INT4, {2, 33}, 32, 128, TV_MAT_I4, 0.5f / 7},
  };
  int idx = 0;
  for (const Case &c : cases) {
    size_t n = 1;
    for (int64_t d : c.dims) n *= (size_t)d;
    int rows = (int)c.dims[0], cols = (int)(n / rows);
    std::vector<float> x = ramp(n, 1.0f + idx);
    std::string name = "layer." + std::to_string(idx++) + ".weight";
    std::string path = dir.file("q.safetensors");
    tv_stwriter *sw = tv_stwriter_create();
    ASSERT_EQ(tv_stwriter_add_mat(sw, name.c_str(), c.storage, (int32_t)c.dims.size(), c.dims.data(), x.data(), c.g, c.kp), 0)
        << tv_geterr();
    float other[2] = {1, 2};
    int64_t two = 2;
    ASSERT_EQ(tv_stwriter_add_f32(sw, "plain", 1, &two, other), 0);
    ASSERT_EQ(tv_stwriter_meta(sw, "format", "pt"), 0);
    ASSERT_EQ(tv_stwriter_save(sw, path.c_str()), 0) << tv_geterr();
    tv_stwriter_free(sw);

    tv_weights *w = tv_weights_open(path.c_str());
    ASSERT_NE(w, nullptr) << tv_geterr();
    EXPECT_STREQ(tv_file_metadata(tv_weights_file(w), "format"), "pt");
    EXPECT_EQ(tv_weights_has(w, name.c_str()), 1);
    EXPECT_EQ(tv_weights_has(w, "plain"), 1);
    EXPECT_EQ(tv_weights_has(w, "nothing"), 0);
    uint64_t dims[8];
    ASSERT_EQ(tv_weights_shape(w, name.c_str(), dims), (int)c.dims.size());
    for (size_t i = 0; i < c.dims.size(); i++) EXPECT_EQ(dims[i], (uint64_t)c.dims[i]);
    const tv_mat *m = tv_weights_mat(w, name.c_str(), rows, cols);
    ASSERT_NE(m, nullptr) << tv_geterr();
    EXPECT_EQ(m->storage, c.want_storage);
    EXPECT_EQ(m->rows, rows);
    EXPECT_EQ(m->cols, cols);
    EXPECT_EQ(tv_weights_mat(w, name.c_str(), 0, 0), m);
    const float *f = tv_weights_f32(w, name.c_str(), (int64_t)n);
    ASSERT_NE(f, nullptr) << tv_geterr();
    for (int r = 0; r < rows; r++) {
      float mx = 0;
      for (int k = 0; k < cols; k++) mx = fmaxf(mx, fabsf(x[(size_t)r * cols + k]));
      for (int k = 0; k < cols; k++) {
        size_t i = (size_t)r * cols + k;
        ASSERT_EQ(f[i], view_at(m, r, k)) << name << " " << r << "," << k;
        ASSERT_LE(fabsf(f[i] - x[i]), c.tolerance * mx * 1.0001f + 1e-7f) << name << " " << r << "," << k;
      }
    }
    EXPECT_EQ(tv_weights_f32(w, "plain", 2)[1], 2);
    tv_weights_close(w);
  }
}

TEST(Weights, CachedViewsAreServedOnlyForTheirShape) {
  TempDir dir;
  std::vector<float> x = ramp(15, 1);
  int64_t d[2] = {3, 5};
  std::string path = dir.file("q.safetensors");
  tv_stwriter *sw = tv_stwriter_create();
  ASSERT_EQ(tv_stwriter_add_mat(sw, "q", TV_ST_INT8, 2, d, x.data(), 0, 0), 0);
  ASSERT_EQ(tv_stwriter_add_mat(sw, "h", TV_ST_FP16, 2, d, x.data(), 0, 0), 0);
  ASSERT_EQ(tv_stwriter_save(sw, path.c_str()), 0);
  tv_stwriter_free(sw);
  tv_weights *w = tv_weights_open(path.c_str());
  ASSERT_NE(w, nullptr);
  for (const char *name : {"q", "h"}) {
    ASSERT_NE(tv_weights_mat(w, name, 3, 5), nullptr);
    EXPECT_EQ(tv_weights_mat(w, name, 5, 3), nullptr);
    EXPECT_EQ(std::string(tv_geterr()), path + ": " + name + " is [3, 5], expected [5, 3]");
    ASSERT_NE(tv_weights_f32(w, name, 15), nullptr);
    EXPECT_EQ(tv_weights_f32(w, name, 14), nullptr);
    EXPECT_EQ(std::string(tv_geterr()), path + ": tensor " + name + " has 15 elements, expected 14");
    EXPECT_NE(tv_weights_mat(w, name, 3, 0), nullptr);  // the container stays usable
  }
  tv_weights_close(w);
}

TEST(Weights, QuantisedLookupKeepsTheCallersNameBuffers) {
  // Loaders build names with tv_name and hold them across the lookup; reading
  // an int8 matrix must not overwrite those rotating buffers.
  TempDir dir;
  std::vector<float> x = ramp(15, 1);
  int64_t d[2] = {3, 5};
  std::string path = dir.file("q.safetensors");
  tv_stwriter *sw = tv_stwriter_create();
  ASSERT_EQ(tv_stwriter_add_mat(sw, "enc.0.w", TV_ST_INT8, 2, d, x.data(), 0, 0), 0);
  ASSERT_EQ(tv_stwriter_save(sw, path.c_str()), 0);
  tv_stwriter_free(sw);
  tv_weights *w = tv_weights_open(path.c_str());
  ASSERT_NE(w, nullptr);
  const char *held[4];
  for (int i = 0; i < 4; i++) held[i] = tv_name("enc.%d.w", 0);
  ASSERT_NE(tv_weights_mat(w, held[0], 3, 5), nullptr);
  for (int i = 0; i < 4; i++) EXPECT_STREQ(held[i], "enc.0.w");
  tv_weights_close(w);
}

TEST(Weights, RefusesBadLayoutsWithTheirMessage) {
  TempDir dir;
  std::string path = dir.file("l.safetensors");
  std::vector<uint8_t> q(400, 0x88);
  std::vector<float> s(64, 1.0f);
  struct Tensor {
    const char *name;
    int32_t dtype;
    std::vector<int64_t> dims;
  };
  struct Case {
    const char *layout;  // members of "layout"
    std::vector<Tensor> tensors;
    const char *name;
    std::string expected;  // "" when the view is made
  } cases[] = {
      {R"("m":{"s":"int4","shape":[3,5]})", {{"m::q", TV_DT_U8, {3, 3}}, {"m::s", TV_DT_F32, {3}}}, "m",
       "P: bad int4 group / padding for m"},
      {R"("m":{"s":"int4","shape":[3,5],"Kp":64})", {{"m::q", TV_DT_U8, {3, 32}}, {"m::s", TV_DT_F32, {3, 2}}}, "m", ""},
      {R"("m":{"s":"int4","shape":[3,5],"Kp":64})", {{"m::q", TV_DT_U8, {3, 32}}, {"m::s", TV_DT_F32, {3, 1}}}, "m",
       "P: bad int4 layout for m"},
      {R"("m":{"s":"int4","shape":[3,5],"Kp":64})", {{"m::q", TV_DT_U8, {3, 31}}, {"m::s", TV_DT_F32, {3, 2}}}, "m",
       "P: bad int4 layout for m"},
      {R"("m":{"s":"int4","shape":[3,5],"Kp":64})", {{"m::q", TV_DT_I32, {3, 8}}, {"m::s", TV_DT_F32, {3, 2}}}, "m",
       "P: bad int4 layout for m"},
      {R"("m":{"s":"int4","shape":[3,6],"g":3,"Kp":6})", {{"m::q", TV_DT_I8, {9}}, {"m::s", TV_DT_F32, {6}}}, "m", ""},
      {R"("m":{"s":"int4","shape":[3,6],"g":1})", {{"m::q", TV_DT_I8, {9}}, {"m::s", TV_DT_F32, {18}}}, "m",
       "P: bad int4 group / padding for m"},
      {R"("m":{"s":"int4","shape":[3,6],"g":2.0})", {{"m::q", TV_DT_I8, {9}}, {"m::s", TV_DT_F32, {9}}}, "m",
       "P: bad int4 group / padding for m"},
      {R"("m":{"s":"int4","shape":[3,6],"g":2,"Kp":4})", {{"m::q", TV_DT_I8, {9}}, {"m::s", TV_DT_F32, {9}}}, "m",
       "P: bad int4 group / padding for m"},
      {R"("m":{"s":"int8","shape":[3,5]})", {{"m::q", TV_DT_I8, {15}}, {"m::s", TV_DT_F32, {3}}}, "m", ""},
      {R"("m":{"s":"int8","shape":[3,5]})", {{"m::q", TV_DT_U8, {15}}, {"m::s", TV_DT_F32, {3}}}, "m",
       "P: bad int8 layout for m"},
      {R"("m":{"s":"int8","shape":[3,5]})", {{"m::q", TV_DT_I8, {16}}, {"m::s", TV_DT_F32, {3}}}, "m",
       "P: bad int8 layout for m"},
      {R"("m":{"s":"int8","shape":[3,5]})", {{"m::q", TV_DT_I8, {15}}, {"m::s", TV_DT_F32, {5}}}, "m",
       "P: bad int8 layout for m"},
      {R"("m":{"s":"int8","shape":[3,5]})", {{"m::q", TV_DT_I8, {15}}}, "m", "P: missing tensor m::s"},
      {R"("m":{"s":"int8","shape":[3,5]})", {{"m::s", TV_DT_F32, {3}}}, "m", "P: missing tensor m::q"},
      {R"("m":{"s":"int8","shape":[3,5]})", {{"m::q", TV_DT_I8, {15}}, {"m::s", TV_DT_I16, {3}}}, "m", "unsupported dtype"},
      {R"("m":{"s":"int2","shape":[3,5]})", {}, "m", "P: unknown storage 'int2' for m"},
      {R"("m":{"shape":[3,2.0]})", {{"m", TV_DT_F32, {6}}}, "m", "P: bad layout shape for m"},
      {R"("m":{"shape":"3"})", {{"m", TV_DT_F32, {6}}}, "m", "P: bad layout shape for m"},
      {R"("m":{"shape":[1,1,1,1,1,1,1,1,6]})", {{"m", TV_DT_F32, {6}}}, "m", "P: layout shape of m has 9 dims"},
      {R"("m":{"shape":[]})", {{"m", TV_DT_F32, {6}}}, "m", "P: missing tensor m"},
      {R"("m":{"s":"fp16","shape":[2,3]})", {{"m", TV_DT_F16, {6}}}, "m", ""},
      {R"("m":{"shape":[3,3]})", {{"m", TV_DT_F32, {6}}}, "m", "P: m has 6 elements, layout shape says [3, 3]"},
      {R"("m":{"shape":[2147483648,0]})", {{"m", TV_DT_F32, {0}}}, "m", "P: m has an unsupported shape for a matrix"},
      {R"("m":{"shape":[1,65536,65536]})", {{"m", TV_DT_F32, {0}}}, "m", "P: m has an unsupported shape for a matrix"},
      {R"("m":{"shape":[5,0]})", {{"m", TV_DT_F32, {0}}}, "m", ""},
      {R"("m":{"shape":[3,2]})", {}, "m", "P: missing tensor m"},
      {R"("x":{})", {{"m", TV_DT_F32, {6}}}, "m", ""},
      {R"("x":{})", {{"m", TV_DT_F32, {}}}, "m", "P: missing tensor m"},
      {R"("x":{})", {}, "nothing", "P: missing tensor nothing"},
  };
  for (const Case &c : cases) {
    tv_stwriter *sw = tv_stwriter_create();
    for (const Tensor &t : c.tensors)
      ASSERT_EQ(tv_stwriter_add(sw, t.name, t.dtype, (int32_t)t.dims.size(), t.dims.data(),
                                t.dtype == TV_DT_F32 ? (const void *)s.data() : q.data()), 0);
    ASSERT_EQ(tv_stwriter_meta(sw, "tovantts_quant", (std::string("{\"layout\":{") + c.layout + "}}").c_str()), 0);
    ASSERT_EQ(tv_stwriter_save(sw, path.c_str()), 0);
    tv_stwriter_free(sw);
    tv_weights *w = tv_weights_open(path.c_str());
    ASSERT_NE(w, nullptr) << tv_geterr();
    const tv_mat *m = tv_weights_mat(w, c.name, 0, 0);
    std::string got = m ? "" : tv_geterr();
    for (size_t at; (at = got.find(path)) != std::string::npos;) got.replace(at, path.size(), "P");
    EXPECT_EQ(got, c.expected) << c.layout;
    tv_weights_close(w);
  }
}

TEST(Weights, RefusesBadQuantMetadata) {
  TempDir dir;
  std::string path = dir.file("m.safetensors");
  tv_stwriter *sw = tv_stwriter_create();
  ASSERT_EQ(tv_stwriter_meta(sw, "tovantts_quant", "{\"layout\":"), 0);
  ASSERT_EQ(tv_stwriter_save(sw, path.c_str()), 0);
  tv_stwriter_free(sw);
  EXPECT_EQ(tv_weights_open(path.c_str()), nullptr);
  EXPECT_EQ(std::string(tv_geterr()), path + ": bad tovantts_quant metadata");
  EXPECT_EQ(tv_weights_open(dir.file("none").c_str()), nullptr);
  EXPECT_EQ(std::string(tv_geterr()), "cannot open " + dir.file("none"));
  tv_weights_close(nullptr);
}

TEST(Weights, NamesRotateThroughFourBuffers) {
  const char *a = tv_name("backbone.%d.dwconv", 1);
  const char *b = tv_name("b%d", 2);
  const char *c = tv_name("c%d", 3);
  const char *d = tv_name("d%d", 4);
  EXPECT_STREQ(a, "backbone.1.dwconv");
  EXPECT_STREQ(b, "b2");
  EXPECT_STREQ(c, "c3");
  EXPECT_STREQ(d, "d4");
  EXPECT_EQ(tv_name("e"), a);
  std::string longname(600, 'n');
  EXPECT_EQ(strlen(tv_name("%s", longname.c_str())), 511u);
}

TEST(StWriter, SavesAtomicallyAndReportsFailure) {
  TempDir dir;
  std::string path = dir.file("w.safetensors");
  dir.write("w.safetensors", "old contents");
  tv_stwriter *sw = tv_stwriter_create();
  float v[3] = {1, 2, 3};
  int64_t d = 3;
  ASSERT_EQ(tv_stwriter_add_f32(sw, "a", 1, &d, v), 0);
  v[0] = 9;
  ASSERT_EQ(tv_stwriter_add_f32(sw, "a", 1, &d, v), 0);  // replaces
  ASSERT_EQ(tv_stwriter_add_f32(sw, "name \"quoted\"\n", 1, &d, v), 0);
  ASSERT_EQ(tv_stwriter_save(sw, path.c_str()), 0) << tv_geterr();
  std::string bad = dir.file("no/such/dir/w.safetensors");
  EXPECT_EQ(tv_stwriter_save(sw, bad.c_str()), -1);
  EXPECT_EQ(std::string(tv_geterr()), "cannot write " + bad);
  int64_t neg = -1;
  EXPECT_EQ(tv_stwriter_add_f32(sw, "n", 1, &neg, v), -1);
  tv_stwriter_free(sw);
  size_t files = 0;
  for (auto &e : std::filesystem::directory_iterator(dir.path)) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);  // no temporary left behind
  // Model files are installed for every user: the temporary file's private
  // mode must not survive the rename.
  auto perms = std::filesystem::status(path).permissions();
  EXPECT_NE(perms & std::filesystem::perms::group_read, std::filesystem::perms::none);
  EXPECT_NE(perms & std::filesystem::perms::others_read, std::filesystem::perms::none);
  tv_file *f = tv_file_open(path.c_str());
  ASSERT_NE(f, nullptr) << tv_geterr();
  EXPECT_EQ(tv_file_count(f), 2);
  EXPECT_NE(tv_file_find(f, "name \"quoted\"\n"), nullptr);
  const tv_tensor *a = tv_file_find(f, "a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ((uintptr_t)a->data % 64, 0u);
  EXPECT_EQ(((const float *)a->data)[0], 9);
  tv_file_close(f);
}
