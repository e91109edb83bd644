// A short mutation fuzz of the JSON reader and the safetensors/weights
// readers. Under the sanitizer build (make asan) any out-of-bounds read, leak
// or undefined behaviour on malformed input fails the run. The number of
// rounds can be raised with TOVANTTS_FUZZ_ROUNDS.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "runtime/error.h"
#include "runtime/json.h"
#include "runtime/kernels.h"
#include "runtime/stwriter.h"
#include "runtime/weights.h"
#include "TempDir.h"

#include "fuzz_util.h"

using tovan::test::TempDir;

namespace {

using fuzz::Rng;
using fuzz::rounds;

const char *kTokens[] = {
    "{", "}", "[", "]", ",", ":", "\"", "\\", "\\u", "\\uD83D", "\\uDE00", "\\u0000", "1e999", "-", "0", "-0", "1.5",
    "9007199254740992", "9007199254740994", "18446744073709551616", "4294967296", "2147483647", "2147483648", "-1",
    "65536", "null", "true", "false", "NaN", "Infinity", "-Infinity", "\"dtype\"", "\"shape\"", "\"data_offsets\"",
    "\"F32\"", "\"F16\"", "\"BF16\"", "\"I8\"", "\"U8\"", "\"I16\"", "\"I64\"", "\"F64\"", "\"BOOL\"", "\"s\"",
    "\"int4\"", "\"int8\"", "\"fp16\"", "\"raw\"", "\"Kp\"", "\"g\"", "\"layout\"", "\"__metadata__\"", " ", "\t",
    std::string("\0", 1).c_str(), "\x7f", "\xff", "[[[[[[[[", "]]]]]]]]",
};

// One random edit: flip a byte, insert or delete a run, splice a token, or
// duplicate a slice.
void mutate(std::string &s, Rng &r) {
  int edits = 1 + (int)r.below(4);
  for (int e = 0; e < edits; e++) {
    size_t n = s.size();
    switch (r.below(6)) {
      case 0:
        if (n) s[r.below((uint32_t)n)] ^= (char)(1 << r.below(8));
        break;
      case 1:
        if (n) s.erase(r.below((uint32_t)n), 1 + r.below(8));
        break;
      case 2: {
        const char *t = kTokens[r.below(sizeof kTokens / sizeof kTokens[0])];
        s.insert(r.below((uint32_t)n + 1), *t ? std::string(t) : std::string("\0", 1));
        break;
      }
      case 3: {
        const char *t = kTokens[r.below(sizeof kTokens / sizeof kTokens[0])];
        size_t at = r.below((uint32_t)n + 1);
        s.replace(at, r.below(6), t);
        break;
      }
      case 4:
        if (n) {
          size_t a = r.below((uint32_t)n), len = r.below((uint32_t)(n - a) + 1);
          s.insert(r.below((uint32_t)n + 1), s.substr(a, len));
        }
        break;
      default:
        if (n) s.resize(r.below((uint32_t)n + 1));
    }
  }
}

// Touches every value of a tree so that a bad pointer or length shows.
size_t walk(const tv_json *v) {
  size_t h = v->kind;
  if (v->kind == TV_JSON_STR) h += strlen(v->str);
  if (v->kind == TV_JSON_ARR || v->kind == TV_JSON_OBJ)
    for (int32_t i = 0; i < v->count; i++) {
      h += walk(&v->items[i]);
      if (v->kind == TV_JSON_OBJ) h += strlen(v->keys[i]);
    }
  return h;
}

}  // namespace

TEST(Fuzz, JsonReaderSurvivesMutatedText) {
  const std::vector<std::string> seeds = {
      R"({"a": [1, 2.5, -3e2, true, false, null], "b": {"c": "x\ny\u00e9\uD83D\uDE00"}, "d": []})",
      R"([{"k":1,"k":2},[[[]]],"",NaN,-Infinity,Infinity,0,-0,1E+2])",
      R"({"sample_rate": 24000, "layers": 8, "name": "tovan-tts", "stats": {"mean": [0.1, 0.2], "std": [1, 2]}})",
      R"("\"\\\/\b\f\n\r\t")",
  };
  Rng r{12345};
  int ok = 0, total = rounds(20000);
  for (int i = 0; i < total; i++) {
    std::string s = seeds[r.below((uint32_t)seeds.size())];
    mutate(s, r);
    // A copy of exactly the given length, so reading past it is caught.
    std::vector<char> exact(s.begin(), s.end());
    tv_json *j = tv_json_parse(exact.data(), exact.size());
    if (j) {
      ok++;
      walk(j);
      tv_json_free(j);
    } else {
      ASSERT_EQ(strncmp(tv_geterr(), "JSON: ", 6) == 0 || strncmp(tv_geterr(), "out of memory", 13) == 0, true)
          << tv_geterr();
    }
  }
  printf("%d of %d mutated texts parsed\n", ok, total);
  EXPECT_GT(ok, 0);
  EXPECT_LT(ok, total);
}

namespace {

// A seed file with every dtype and every storage form.
std::string seed_file(const TempDir &dir) {
  std::string path = dir.file("seed.safetensors");
  tv_stwriter *sw = tv_stwriter_create();
  std::vector<float> v(4 * 70);
  for (size_t i = 0; i < v.size(); i++) v[i] = (float)((int)(i * 37 % 23) - 11) * 0.125f;
  int64_t d2[2] = {4, 70}, d3[3] = {3, 2, 5}, d1 = 6;
  tv_stwriter_add_mat(sw, "raw", TV_ST_RAW, 2, d2, v.data(), 0, 0);
  tv_stwriter_add_mat(sw, "half", TV_ST_FP16, 3, d3, v.data(), 0, 0);
  tv_stwriter_add_mat(sw, "q8", TV_ST_INT8, 2, d2, v.data(), 0, 0);
  tv_stwriter_add_mat(sw, "q4", TV_ST_INT4, 2, d2, v.data(), 32, 0);
  tv_stwriter_add_mat(sw, "q4b", TV_ST_INT4, 3, d3, v.data(), 5, 0);
  unsigned char bytes[48];
  for (int i = 0; i < 48; i++) bytes[i] = (unsigned char)(i * 29);
  tv_stwriter_add(sw, "i8", TV_DT_I8, 1, &d1, bytes);
  tv_stwriter_add(sw, "bf", TV_DT_BF16, 1, &d1, bytes);
  tv_stwriter_add(sw, "i64", TV_DT_I64, 1, &d1, bytes);
  tv_stwriter_add(sw, "f64", TV_DT_F64, 1, &d1, bytes);
  tv_stwriter_add(sw, "bool", TV_DT_BOOL, 1, &d1, bytes);
  tv_stwriter_meta(sw, "note", "seed");
  EXPECT_EQ(tv_stwriter_save(sw, path.c_str()), 0) << tv_geterr();
  tv_stwriter_free(sw);
  char *buf;
  size_t len;
  EXPECT_EQ(tv_read_file(path.c_str(), &buf, &len), 0);
  std::string out(buf, len);
  tv_free(buf);
  return out;
}

std::string json_escape(const std::string &s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') out += '\\', out += (char)c;
    else if (c < 0x20) {
      char b[8];
      snprintf(b, sizeof b, "\\u%04x", c);
      out += b;
    } else out += (char)c;
  }
  return out;
}

// Opens the file and reads everything it offers: every tensor and layout
// entry as a view and as floats, every row of every view, one product.
int exercise(const std::string &path) {
  tv_weights *w = tv_weights_open(path.c_str());
  if (!w) return 0;
  int views = 0;
  const tv_file *f = tv_weights_file(w);
  std::vector<std::string> names;
  for (int32_t i = 0; i < tv_file_count(f); i++) {
    const tv_tensor *t = tv_file_tensor(f, i);
    names.push_back(t->name);
    const unsigned char *p = (const unsigned char *)t->data;
    unsigned sum = 0;
    for (uint64_t b = 0; b < t->size; b++) sum += p[b];
    (void)sum;
  }
  for (const char *extra : {"q8", "q4", "q4b", "half", "raw"}) names.push_back(extra);
  for (const std::string &n : names) {
    uint64_t dims[8];
    tv_weights_shape(w, n.c_str(), dims);
    tv_weights_f32(w, n.c_str(), 0);
    const tv_mat *m = tv_weights_mat(w, n.c_str(), 0, 0);
    if (!m || (int64_t)m->rows * m->cols > 1000000) continue;
    views += m->storage != TV_MAT_F32;
    std::vector<float> row(m->cols + 1);
    for (int32_t r = 0; r < m->rows; r++) tv_mat_row(m, r, row.data());
    if (m->rows > 0 && m->cols > 0 && m->cols <= 4096) {
      std::vector<float> x((size_t)4 * m->cols, 0.5f), y((size_t)4 * m->rows);
      tv_linear(nullptr, x.data(), 4, m->cols, m, nullptr, y.data(), m->rows, 0);
      tv_linear(nullptr, x.data(), 1, m->cols, m, nullptr, y.data(), m->rows, 0);
    }
  }
  tv_weights_close(w);
  return views;
}

}  // namespace

TEST(Fuzz, SafetensorsReaderSurvivesMutatedFiles) {
  TempDir dir;
  std::string seed = seed_file(dir);
  ASSERT_GT(seed.size(), 8u);
  uint64_t hlen = 0;
  for (int i = 7; i >= 0; i--) hlen = (hlen << 8) | (unsigned char)seed[i];
  const std::string header = seed.substr(8, hlen), data = seed.substr(8 + hlen);
  // The quantisation layout, unescaped, so it can be mutated as JSON itself.
  tv_json *h = tv_json_parse(header.data(), header.size());
  ASSERT_NE(h, nullptr);
  std::string layout = tv_json_str(tv_json_get(tv_json_get(h, "__metadata__"), "tovantts_quant"), "");
  tv_json_free(h);
  ASSERT_FALSE(layout.empty());
  const std::string quoted = "\"" + json_escape(layout) + "\"";
  ASSERT_NE(header.find(quoted), std::string::npos);

  Rng r{777};
  std::string path = dir.file("fuzz.safetensors");
  int opened = 0, quantised = 0, total = rounds(1500);
  for (int i = 0; i < total; i++) {
    std::string hdr = header, body = data;
    uint32_t mode = r.below(10);
    if (mode < 5) {
      mutate(hdr, r);
    } else if (mode < 9) {
      std::string l = layout;
      mutate(l, r);
      hdr.replace(hdr.find(quoted), quoted.size(), "\"" + json_escape(l) + "\"");
    } else {
      mutate(body, r);
    }
    std::string len8(8, '\0');
    uint64_t n = hdr.size();
    if (r.below(20) == 0) n += (uint64_t)r.below(64) - 32;  // a lying length now and then
    for (int b = 0; b < 8; b++) len8[b] = (char)(n >> (8 * b));
    dir.write("fuzz.safetensors", len8 + hdr + body);
    tv_file *f = tv_file_open(path.c_str());
    if (f) {
      opened++;
      tv_file_close(f);
    }
    quantised += exercise(path) > 0;
  }
  printf("%d of %d mutated files opened, %d gave quantised views\n", opened, total, quantised);
  EXPECT_GT(opened, 0);
  EXPECT_GT(quantised, 0);
}
