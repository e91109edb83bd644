// The asset builder: the five files from Debian's unicode-data and the CMU
// dictionary in festlex-cmu.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "front/g2p.h"
#include "front_fixture.h"

using tovan::test::TempDir;

namespace {

bool have_sources() {
  return std::filesystem::exists("/usr/share/festival/dicts/cmu/cmudict-0.4.out") &&
         std::filesystem::exists("/usr/share/unicode/UnicodeData.txt");
}

std::string names(const tv_front *f, const uint8_t *v, int32_t n) {
  std::string s;
  for (int32_t i = 0; i < n; i++) s += (i ? " " : "") + std::string(tv_front_symbol(f, v[i]));
  return s;
}

} // namespace

TEST(FrontBuild, WritesTheFiveAssetsFromRealData) {
  if (!have_sources()) GTEST_SKIP() << "festlex-cmu or unicode-data missing";
  TempDir d;
  std::string out = d.file("nested/front");
  tv_front_build_opts o = {};
  o.tiny = 1;
  ASSERT_EQ(tv_front_build(out.c_str(), &o), 0) << tv_geterr();
  size_t files = 0;
  for (auto &e : std::filesystem::directory_iterator(out)) files++, (void)e;
  EXPECT_EQ(files, 5u) << "no temporary file is left behind";
  tv_front *f = tv_front_load(out.c_str());
  ASSERT_NE(f, nullptr) << tv_geterr();
  struct Case {
    const tv_lexicon *lx;
    const char *key, *pron;
  } cases[] = {
      {&f->g2p.lex, "hello", "HH AH0 L OW1"},      // the dictionary's first pronunciation
      {&f->g2p.lex, "a", "AH0"},                   // "ax" is AH0
      {&f->g2p.lex, "record", "R EH1 K ER0 D"},
      {&f->g2p.oov, "don't", "D OW1 N T"},         // the package's additions
      {&f->g2p.oov, "o'clock", "AH0 K L AA1 K"},   // a word the normaliser writes
      {&f->g2p.oov, "v's", "V IY1 Z"},             // letters with 's
  };
  for (const Case &c : cases) {
    int32_t n = 0;
    const uint8_t *v = lex_find(c.lx, c.key, (int32_t)strlen(c.key), &n);
    ASSERT_NE(v, nullptr) << c.key;
    EXPECT_EQ(names(f, v, n), c.pron) << c.key;
  }
  const het_word *h = het_find(&f->g2p.het, "record", 6);
  ASSERT_NE(h, nullptr);
  EXPECT_STREQ(h->group, "nv");
  EXPECT_EQ(names(f, h->a, h->na), "R AH0 K AO1 R D"); // the verb reads A
  EXPECT_EQ(names(f, h->b, h->nb), "R EH1 K ER0 D");
  EXPECT_EQ(het_find(&f->g2p.het, "a", 1), nullptr);  // the article is no heteronym
  EXPECT_LT(f->g2p.lex.n, 2000u);                     // the tiny lexicon
  EXPECT_EQ(phonemes(f, "Zyzzyva"), "<sp> AH1:0 M:0 <sp>");
  tv_front_free(f);

  // The same options give the same bytes.
  std::string again = d.file("again");
  ASSERT_EQ(tv_front_build(again.c_str(), &o), 0);
  for (const char *name : {"unicode.bin", "lexicon.bin", "oov.bin", "gru.bin", "hetero.tsv"}) {
    std::ifstream a(out + "/" + name, std::ios::binary), b(again + "/" + name, std::ios::binary);
    std::stringstream sa, sb;
    sa << a.rdbuf();
    sb << b.rdbuf();
    EXPECT_EQ(sa.str(), sb.str()) << name;
  }
}

TEST(FrontBuild, ReportsWhatIsMissing) {
  TempDir d;
  tv_front_build_opts o = {};
  o.cmu_dir = "/nonexistent";
  EXPECT_EQ(tv_front_build(d.file("f").c_str(), &o), -1);
  if (have_sources()) {
    EXPECT_STREQ(tv_geterr(), "front build: cannot read /nonexistent/cmudict-0.4.out");
  }
  EXPECT_FALSE(std::filesystem::exists(d.file("f"))) << "nothing is made before the sources are read";
  EXPECT_EQ(tv_front_build(NULL, NULL), -1);
  EXPECT_STREQ(tv_geterr(), "front build: no directory");
  // A file where the folder should be.
  std::string file = d.write("plain", "x");
  EXPECT_EQ(tv_front_build((file + "/front").c_str(), NULL), -1);
}

TEST(FrontBuild, CopiesATrainedPredictorAndRefusesABadOne) {
  if (!have_sources()) GTEST_SKIP() << "festlex-cmu or unicode-data missing";
  TempDir d;
  // Any valid file stands in for a trained one: this one spells every
  // unknown word "B IY1".
  const std::string trained = tv_gru_bytes(3, tv_symbol_ids("B IY1"), 64);
  tv_front_build_opts o = {};
  o.tiny = 1;
  const std::string gru = d.write("trained.bin", trained);
  o.gru_file = gru.c_str();
  std::string out = d.file("front");
  ASSERT_EQ(tv_front_build(out.c_str(), &o), 0) << tv_geterr();
  std::ifstream in(out + "/gru.bin", std::ios::binary);
  std::stringstream got;
  got << in.rdbuf();
  EXPECT_EQ(got.str(), trained) << "copied byte for byte";
  tv_front *f = tv_front_load(out.c_str());
  ASSERT_NE(f, nullptr) << tv_geterr();
  EXPECT_EQ(phonemes(f, "Zyzzyva"), "<sp> B:0 IY1:0 <sp>");
  tv_front_free(f);

  struct Case {
    std::string bytes, message;
  } cases[] = {
      {trained.substr(0, trained.size() / 2), "tovantts front: truncated asset"},
      {"TVGX" + trained.substr(4), "tovantts front: bad gru.bin"},
  };
  for (const Case &c : cases) {
    const std::string bad = d.write("bad.bin", c.bytes);
    o.gru_file = bad.c_str();
    const std::string where = d.file("refused");
    EXPECT_EQ(tv_front_build(where.c_str(), &o), -1);
    EXPECT_EQ(std::string(tv_geterr()), "front build: " + bad + ": " + c.message);
    EXPECT_FALSE(std::filesystem::exists(where)) << "nothing is made from a bad predictor";
  }
  o.gru_file = "/nonexistent/gru.bin";
  EXPECT_EQ(tv_front_build(d.file("missing").c_str(), &o), -1);
  EXPECT_NE(std::string(tv_geterr()).find("/nonexistent/gru.bin"), std::string::npos) << tv_geterr();
}
