// Front ends the front-end tests share: the development model's (lexicon from
// the CMU dictionary) and hand-made asset folders.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "front/frontend.h"
#include "front/frontgen.h"
#include "front/ucdgen.h"
#include "models.h"
#include "runtime/error.h"
#include "TempDir.h"

// The build writes the assets into each model's native/front folder; when
// that is missing (a model directory from elsewhere), they are built here.
inline std::string front_assets(const char *model, bool tiny) {
  std::string d = model_dir(model) + "/native/front";
  if (std::filesystem::exists(d + "/hetero.tsv")) return d;
  static tovan::test::TempDir made[2];
  tovan::test::TempDir &t = made[tiny ? 1 : 0];
  std::string out = t.file("front");
  if (!std::filesystem::exists(out + "/hetero.tsv")) {
    tv_front_build_opts o = {};
    o.tiny = tiny;
    o.seed = 1;
    if (tv_front_build(out.c_str(), &o) != 0) return "";
  }
  return out;
}

// Loaded once per process; NULL (with the reason printed) when the real data
// is not installed.
inline const tv_front *dev_front() {
  static tv_front *f = [] {
    std::string d = front_assets("dev", false);
    tv_front *r = d.empty() ? nullptr : tv_front_load(d.c_str());
    if (!r) fprintf(stderr, "dev front: %s\n", tv_geterr());
    return r;
  }();
  return f;
}

#define NEED_DEV_FRONT(f)                                                   \
  const tv_front *f = dev_front();                                          \
  if (!f) GTEST_SKIP() << "the CMU dictionary or unicode-data is missing"

// A folder of hand-made assets; unicode.bin is the real one (copied).
struct HandAssets {
  tovan::test::TempDir dir;
  std::vector<tv_lex_entry> lexicon, oov;
  std::vector<int32_t> spelled = tv_symbol_ids("AH1 M"); // what the predictor says
  std::string hetero;
  std::string path() const { return dir.path.string(); }

  static std::vector<uint8_t> ids(const char *names) {
    std::vector<uint8_t> v;
    for (int32_t i : tv_symbol_ids(names)) v.push_back((uint8_t)i);
    return v;
  }
  // Writes every file; a test may then overwrite one.
  bool write() {
    std::string real = front_assets("tiny", true);
    std::error_code ec;
    if (real.empty() ||
        !std::filesystem::copy_file(real + "/unicode.bin", dir.file("unicode.bin"),
                                    std::filesystem::copy_options::overwrite_existing, ec))
      return false;
    dir.write("lexicon.bin", tv_lexicon_bytes(lexicon));
    dir.write("oov.bin", tv_lexicon_bytes(oov));
    dir.write("gru.bin", tv_gru_bytes(3, spelled));
    dir.write("hetero.tsv", hetero);
    return true;
  }
  tv_front *load() {
    if (!write()) return nullptr;
    return tv_front_load(path().c_str());
  }
};

// Symbol names of a phoneme output, "name" or "name:word" when the entry
// belongs to a word.
inline std::string render(const tv_front *f, const tv_phonemes &p) {
  std::string s;
  for (int32_t i = 0; i < p.count; i++) {
    if (i) s += ' ';
    const char *n = tv_front_symbol(f, p.ids[i]);
    s += n ? n : "?";
    if (p.words[i] >= 0) s += ":" + std::to_string(p.words[i]);
  }
  return s;
}

// tv_front_phonemes rendered, or "!" and the message.
inline std::string phonemes(const tv_front *f, const std::string &text) {
  tv_phonemes p = {};
  std::string r = tv_front_phonemes(f, text.c_str(), &p) == 0 ? render(f, p) : "!" + std::string(tv_geterr());
  tv_phonemes_free(&p);
  return r;
}

inline std::string normalized(const tv_front *f, const std::string &text) {
  char *n = tv_front_normalize(f, text.c_str());
  std::string r = n ? std::string(n) : "!" + std::string(tv_geterr());
  tv_free(n);
  return r;
}
