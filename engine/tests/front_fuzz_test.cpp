// A short mutation fuzz of the front end: its asset files, and texts full of
// markup, numbers and symbols. Under the sanitizer build (make asan) any
// out-of-bounds access, leak or undefined behaviour fails the run; a load
// either succeeds or leaves a message. TOVANTTS_FUZZ_ROUNDS raises the
// number of rounds.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "front/markup.h"
#include "front_fixture.h"

#include "fuzz_util.h"

namespace {

using fuzz::Rng;
using fuzz::rounds;

void mutate(std::string &s, Rng &r) {
  int edits = 1 + (int)r.below(4);
  for (int e = 0; e < edits; e++) {
    size_t n = s.size();
    switch (r.below(4)) {
      case 0:
        if (n) s[r.below((uint32_t)n)] ^= (char)(1 << r.below(8));
        break;
      case 1:
        if (n) s[r.below((uint32_t)n)] = (char)r.below(256);
        break;
      case 2:
        if (n) s.erase(r.below((uint32_t)n), 1 + r.below(16));
        break;
      default:
        if (n) s.insert(r.below((uint32_t)n), s.substr(r.below((uint32_t)n), 1 + r.below(16)));
        break;
    }
  }
}

const char *const kPieces[] = {
    "<emph>", "</emph>", "<slow>", "</fast>", "<excited>", "</excited>", "<style>", "<style prompt=\"x\">",
    "</style>", "[pause]", "[pause 2 s]", "[pause 1.5.5]", "[laugh]", "[", "]", "*", "*word*", "PAUSE",
    "EVENT", "BREAK", " ", "  ", "\n", ".", ". ", "!", "?", ",", "...", "\u2026", "\u2014", "Dr.", "Mr.",
    "e.g.", "10:30", "pm", "$", "\u00a3", "\u20ac", "5M", "1,234", "1.2.3", "3/4", "21st", "12345678",
    "XIV", "Chapter", "WWII", "FBI", "TVs", "-", "/", "&", "~", "%", "km/h", "\u00b0C", "(555) 123-4567",
    "hello", "record", "live", "the", "zyxw", "don't", "\xff", "\xc3\xa9", "\u0663", "\xef\xbc\x95",
    "0", "9", "99999", "\"", "\u2019", "`", "@", "a.b.com", "....", "!!!!!",
};

} // namespace

TEST(FrontFuzz, DamagedAssetsLoadOrFailCleanly) {
  HandAssets a;
  a.lexicon = {{"hello", HandAssets::ids("HH AH0 L OW1")}, {"world", HandAssets::ids("W ER1 L D")},
               {"the", HandAssets::ids("DH AH0")}};
  a.oov = {{"don't", HandAssets::ids("D OW1 N T")}};
  a.hetero = "H\trecord\tR AH0 K AO1 R D\tR EH1 K ER0 D\tnv\nT\tthe\tDT\nW\tg:nv|p1t=DT\t-4\n";
  ASSERT_TRUE(a.write());
  const std::string names[] = {"lexicon.bin", "oov.bin", "gru.bin", "hetero.tsv"};
  std::vector<std::string> good;
  for (const std::string &n : names) {
    std::ifstream in(a.dir.file(n), std::ios::binary);
    good.push_back(std::string(std::istreambuf_iterator<char>(in), {}));
  }
  Rng r{12345};
  int loaded = 0, refused = 0;
  const int n = rounds(40);
  for (int i = 0; i < n; i++) {
    for (size_t k = 0; k < 4; k++) {
      std::string bytes = good[k];
      mutate(bytes, r);
      a.dir.write(names[k], bytes);
      tv_front *f = tv_front_load(a.path().c_str());
      if (f) {
        loaded++;
        phonemes(f, "Hello, the world record; don't zyx.");
        tv_front_free(f);
      } else {
        refused++;
        EXPECT_EQ(std::string(tv_geterr()).rfind("tovantts front", 0), 0u) << tv_geterr();
      }
      a.dir.write(names[k], good[k]);
    }
  }
  EXPECT_EQ(loaded + refused, 4 * n);
}

TEST(FrontFuzz, AnyTextConvertsOrFailsWithAMessage) {
  NEED_DEV_FRONT(f);
  const char *tags[] = {"none", "excited"};
  Rng r{777};
  const int n = rounds(300);
  for (int i = 0; i < n; i++) {
    std::string t;
    int k = 1 + (int)r.below(24);
    for (int j = 0; j < k; j++) t += kPieces[r.below(sizeof kPieces / sizeof kPieces[0])];
    if (r.below(3) == 0) mutate(t, r);
    tv_phonemes p = {};
    if (tv_front_phonemes(f, t.c_str(), &p) == 0) {
      for (int32_t q = 0; q < p.count; q++) {
        ASSERT_GE(p.ids[q], 0) << t;
        ASSERT_LT(p.ids[q], TV_NSYM) << t;
      }
    } else {
      EXPECT_EQ(p.count, 0);
      EXPECT_NE(tv_geterr()[0], 0) << t;
    }
    tv_phonemes_free(&p);
    tv_segment *s = NULL;
    int32_t ns = 0;
    if (tv_front_parse_markup(f, t.c_str(), "excited", NULL, NULL, 0, tags, 2, NULL, NULL, &s, &ns) == 0) {
      for (int32_t q = 0; q < ns; q++) ASSERT_NE(s[q].tag, nullptr);
    } else {
      EXPECT_EQ(s, nullptr);
    }
    tv_segments_free(s, ns);
  }
}
