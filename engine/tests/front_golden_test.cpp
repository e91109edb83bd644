// Normalisation and number words against data/front/front_expect.txt, which
// make_front_expect.py computes with Python's re module from the same rules.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "front/numwords.h"
#include "front_fixture.h"
#include "front_util.h"

namespace {

std::string unesc(const std::string &s) {
  std::string o;
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char c = s[++i];
      o += c == 't' ? '\t' : c == 'n' ? '\n' : c;
    } else {
      o += s[i];
    }
  }
  return o;
}

std::vector<std::vector<std::string>> records() {
  std::ifstream in(data_path("front/front_expect.txt"));
  std::vector<std::vector<std::string>> r;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    size_t a = 0;
    for (size_t i = 0; i <= line.size(); i++) {
      if (i == line.size() || line[i] == '\t') {
        f.push_back(unesc(line.substr(a, i - a)));
        a = i + 1;
      }
    }
    r.push_back(f);
  }
  return r;
}

// A failed call leaves its message in the error text, cut at 1023 bytes.
std::string failed(const std::string &expect) { return expect.substr(0, 1 + 1023); }

std::string words(uint32_t fl, const sb &b) {
  return fl ? "!" + std::string(tv_geterr()) : std::string(sb_cstr(&b), (size_t)b.n);
}

} // namespace

TEST(FrontGolden, MatchesThePythonReference) {
  NEED_DEV_FRONT(f);
  auto recs = records();
  ASSERT_GT(recs.size(), 150u) << "front_expect.txt missing or short";
  const tv_numwords *nw = &f->g2p.nw;
  int checked = 0;
  for (auto &r : recs) {
    const std::string &kind = r[0];
    std::string got, want = r.back();
    uint32_t fl = 0;
    sb b = {};
    if (kind == "N") {
      got = normalized(f, r[1]);
    } else if (kind == "C" || kind == "O") {
      if (kind == "C") nw_cardinal(&fl, r[1].c_str(), &b);
      else nw_ordinal(&fl, r[1].c_str(), &b);
      got = words(fl, b);
    } else if (kind == "F") {
      nw_cardinal_float(&fl, &b, strtod(r[1].c_str(), NULL));
      got = words(fl, b);
    } else if (kind == "I") {
      auto t = U(r[1]);
      inflect_words(&fl, nw, t.data(), (int32_t)t.size(), r[2].c_str(), r[3].c_str(), atoi(r[4].c_str()), &b);
      got = words(fl, b);
    } else if (kind == "M") {
      auto t = U(r[1]);
      u32s o = {};
      nw_normalize_numbers(&fl, nw, t.data(), (int32_t)t.size(), &o);
      got = fl ? "!" + std::string(tv_geterr()) : S(o);
      u32s_free(&o);
    } else {
      ADD_FAILURE() << "unknown record " << kind;
      continue;
    }
    sb_free(&b);
    if (!want.empty() && want[0] == '!') want = failed(want);
    EXPECT_EQ(got, want) << kind << " of " << r[1].substr(0, 300);
    checked++;
  }
  EXPECT_EQ(checked, (int)recs.size());
}
