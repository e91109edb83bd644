// A private copy of a generated model directory that a test may edit: text
// replaced in its JSON files, a voice table rewritten, files removed.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "models.h"
#include "runtime/stwriter.h"
#include "tmpdir.h"

struct ModelCopy {
  TmpDir tmp;
  std::string dir;

  explicit ModelCopy(const char *name = "tiny") {
    dir = tmp.file("model");
    std::filesystem::copy(model_dir(name), dir, std::filesystem::copy_options::recursive);
  }

  std::string path(const std::string &name) const { return dir + "/" + name; }

  std::string read(const std::string &name) const {
    std::ifstream f(path(name), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  void write(const std::string &name, const std::string &text) const {
    std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
    std::ofstream(path(name), std::ios::binary) << text;
  }
  // Replaces the first occurrence of from; fails the test when it is missing.
  void replace(const std::string &name, const std::string &from, const std::string &to) const {
    std::string t = read(name);
    size_t at = t.find(from);
    ASSERT_NE(at, std::string::npos) << from << " not in " << name;
    t.replace(at, from.size(), to);
    write(name, t);
  }
  void remove(const std::string &name) const { std::filesystem::remove(path(name)); }

  // voices.json with these (name, gender) entries and a voices.safetensors
  // with as many rows of the given width.
  void voices(const std::vector<std::pair<std::string, std::string>> &v, int width = 8, int rows = -1) const {
    std::string t = "{\"voices\": [";
    for (size_t i = 0; i < v.size(); i++)
      t += std::string(i ? ", " : "") + "{\"name\": \"" + v[i].first + "\"" +
           (v[i].second.empty() ? "" : ", \"gender\": \"" + v[i].second + "\"") + "}";
    write("voices.json", t + "]}");
    if (rows < 0) rows = (int)v.size();
    std::vector<float> x((size_t)rows * width);
    for (size_t i = 0; i < x.size(); i++) x[i] = 0.1f * (float)(i % 7) - 0.3f;
    tv_stwriter *w = tv_stwriter_create();
    int64_t dims[2] = {rows, width};
    tv_stwriter_add_f32(w, "s", 2, dims, x.data());
    tv_stwriter_save(w, path("voices.safetensors").c_str());
    tv_stwriter_free(w);
  }
};

// Whether the generated full-layout model is there; tests of that layout
// skip without it.
inline bool have_full() { return std::filesystem::exists(model_dir("tiny-full") + "/config.json"); }

#define NEED_FULL()                                              \
  do {                                                           \
    if (!have_full()) GTEST_SKIP() << "no tiny-full model built"; \
  } while (0)
