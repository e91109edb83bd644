// Loading unicode.bin and the character lookups; the builder on the real
// Unicode database.
#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>

#include "front_util.h"

using tovan::test::TempDir;

namespace {

bool zeroed(const ucd &u) {
  ucd z;
  memset(&z, 0, sizeof z);
  return memcmp(&u, &z, sizeof z) == 0;
}

std::string lower(const ucd &u, const std::string &s) {
  std::vector<uint32_t> in = U(s);
  uint32_t fl = 0;
  u32s out = {};
  ucd_lower_small(&fl, &u, in.data(), (int32_t)in.size(), &out);
  std::string r = S(out);
  u32s_free(&out);
  return r;
}

std::string clean(const ucd &u, uint32_t c) {
  uint32_t n = 99;
  const char *s = ucd_g2p_clean(&u, c, &n);
  EXPECT_NE(s, nullptr);
  EXPECT_EQ(strlen(s), n);
  return std::string(s, n);
}

UcdFile sample() {
  UcdFile f;
  f.word = {{0x4E00, 0x9FFF}, {0xC0, 0xD6}}; // out of order on purpose
  f.space = {0x20, 0x3000};                  // ASCII entries are skipped
  f.digit = {{0x660, 0x669, 0}, {0xFF10, 0xFF19, 0}, {0x1D7CE, 0x1D7CE, 12}};
  f.clean = {{'A', "a"}, {'b', "b"}, {0xE9, "e"}, {0xE9, "E!"}, {'A', "aa"}, {0xDF, "ss"}};
  f.fold = {{0x212A, 'k'}, {0x212A, 'x'}, {0xC9, 0xE9}};
  f.lower = {{0xC9, "\xC3\xA9"}, {0x130, "i\xCC\x87"}, {0xC9, "e"}};
  return f;
}

TEST(UcdLoad, ReadsEverySectionAndResolvesDuplicates) {
  TempDir d;
  ucd u;
  ASSERT_EQ(ucd_load(&u, d.write("unicode.bin", sample().bytes() + "trailing bytes").c_str()), 0)
      << tv_geterr();
  EXPECT_TRUE(ucd_is_word(&u, 0xC5));
  EXPECT_TRUE(ucd_is_word(&u, 0x4E2D));
  EXPECT_FALSE(ucd_is_word(&u, 0xD7));
  EXPECT_FALSE(ucd_is_word(&u, 0xA0));
  EXPECT_TRUE(ucd_is_space(&u, 0x3000));
  EXPECT_FALSE(ucd_is_space(&u, 0xA0)); // not listed in this file
  EXPECT_EQ(u.nspace, 1);
  EXPECT_EQ(ucd_digit(&u, 0x663), 3);
  EXPECT_EQ(ucd_digit(&u, 0xFF19), 9);
  EXPECT_EQ(ucd_digit(&u, 0x1D7CE), -1); // a value beyond 9 is no digit
  EXPECT_EQ(ucd_digit(&u, 0x66A), -1);
  // Cleaning: the last record of the file wins, ASCII included.
  EXPECT_EQ(clean(u, 'A'), "aa");
  EXPECT_EQ(clean(u, 0xE9), "E!");
  EXPECT_EQ(clean(u, 0xDF), "ss");
  EXPECT_EQ(clean(u, 'c'), ""); // no entry: the character vanishes
  EXPECT_EQ(clean(u, 0x3B1), "");
  // Folding: the first pair of the file wins.
  EXPECT_EQ(ucd_fold(&u, 0x212A), (uint32_t)'k');
  EXPECT_EQ(ucd_fold(&u, 0xC9), 0xE9u);
  EXPECT_EQ(ucd_fold(&u, 0xE9), 0xE9u);
  // Lower case: the last record wins; one code point may give several.
  EXPECT_EQ(lower(u, "\xC3\x89T\xC4\xB0x\xE2\x84\xAA"), "eti\xCC\x87x\xE2\x84\xAA");
  ucd_free(&u);
  EXPECT_TRUE(zeroed(u));
}

TEST(UcdLoad, AsciiIsBuiltInWhateverTheFileSays) {
  ucd u;
  memset(&u, 0, sizeof u); // an empty table still answers for ASCII
  for (uint32_t c = 0; c < 128; c++) {
    bool word = c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    EXPECT_EQ(ucd_is_word(&u, c), word) << c;
    bool space = (c >= 9 && c <= 13) || (c >= 28 && c <= 32);
    EXPECT_EQ(ucd_is_space(&u, c), space) << c;
    EXPECT_EQ(ucd_digit(&u, c), c >= '0' && c <= '9' ? (int)(c - '0') : -1);
    EXPECT_EQ(ucd_fold(&u, c), c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  EXPECT_EQ(lower(u, "ABC xyz_09"), "abc xyz_09");
  EXPECT_EQ(lower(u, "\xC3\x89"), "\xC3\x89"); // no entry: unchanged
}

TEST(UcdLoad, RefusesBadAndTruncatedFiles) {
  TempDir d;
  UcdFile f = sample();
  std::string good = f.bytes();
  std::string count_too_big = good;
  // The digit section's count (after header, 2 word ranges, 2 spaces).
  size_t at = 8 + 4 + 16 + 4 + 8;
  count_too_big[at] = 50;
  std::string huge = good;
  memset(&huge[8], 0xFF, 4);
  struct Case {
    const char *name;
    std::string bytes;
    const char *message;
  } cases[] = {
      {"empty", "", "tovantts front: bad unicode.bin"},
      {"short", "TVUC\x01", "tovantts front: bad unicode.bin"},
      {"magic", "TVUX" + good.substr(4), "tovantts front: bad unicode.bin"},
      {"version", f.bytes(2), "tovantts front: bad unicode.bin"},
      {"header only", good.substr(0, 8), "tovantts front: truncated asset"},
      {"digit count beyond the end", count_too_big, "tovantts front: truncated asset"},
      {"word count 2^32-1", huge, "tovantts front: truncated asset"},
      {"cut in the last record", good.substr(0, good.size() - 1), "tovantts front: truncated asset"},
  };
  for (const Case &c : cases) {
    ucd u;
    memset(&u, 0x5A, sizeof u); // loading starts from any state
    EXPECT_EQ(ucd_load(&u, d.write("u.bin", c.bytes).c_str()), -1) << c.name;
    EXPECT_STREQ(tv_geterr(), c.message) << c.name;
    EXPECT_TRUE(zeroed(u)) << c.name;
  }
  ucd u;
  std::string missing = d.file("none.bin");
  EXPECT_EQ(ucd_load(&u, missing.c_str()), -1);
  EXPECT_EQ(std::string(tv_geterr()), "tovantts front: cannot open " + missing);
}

TEST(UcdLoad, EveryPrefixOfAGoodFileFailsCleanly) {
  TempDir d;
  std::string good = sample().bytes();
  for (size_t n = 0; n < good.size(); n++) {
    ucd u;
    ASSERT_EQ(ucd_load(&u, d.write("u.bin", good.substr(0, n)).c_str()), -1) << n;
    const char *e = tv_geterr();
    EXPECT_TRUE(!strcmp(e, "tovantts front: bad unicode.bin") ||
                !strcmp(e, "tovantts front: truncated asset"))
        << n << ": " << e;
    EXPECT_TRUE(zeroed(u));
  }
}

TEST(UcdBuild, RealDatabaseGivesPythonsClassesAndACompleteCleaningMap) {
  const ucd *u = real_ucd();
  if (!u) GTEST_SKIP() << "no Unicode database in /usr/share/unicode";
  // Without ASCII cleaning entries the grapheme-to-phoneme step would see no
  // text at all.
  for (uint32_t c = 'A'; c <= 'Z'; c++) EXPECT_EQ(clean(*u, c), std::string(1, (char)(c + 32)));
  for (uint32_t c = 'a'; c <= 'z'; c++) EXPECT_EQ(clean(*u, c), std::string(1, (char)c));
  for (uint32_t c = '0'; c <= '9'; c++) EXPECT_EQ(clean(*u, c), std::string(1, (char)c));
  for (const char *p = ",.?!;:-'_@/\"#%&()"; *p; p++) EXPECT_EQ(clean(*u, (uint32_t)*p), std::string(1, *p));
  EXPECT_EQ(clean(*u, ' '), " ");
  EXPECT_EQ(clean(*u, '\n'), " ");
  EXPECT_EQ(clean(*u, 7), "");
  struct Case {
    uint32_t c;
    const char *want;
  } cleaning[] = {
      {0xE9, "e"},   {0xC9, "e"},  {0xDF, "ss"}, {0xE6, "ae"}, {0x2019, "'"}, {0x201C, "\""},
      {0x2014, "-"}, {0xA0, " "},  {0x663, "3"}, {0xFF21, "a"}, {0xFB01, "fi"}, {0xBD, "1/2"},
      {0xB2, "2"},   {0x2026, "..."}, {0x3B1, ""}, {0x4E2D, ""},  {0x1F600, ""},
  };
  for (const Case &c : cleaning) EXPECT_EQ(clean(*u, c.c), c.want) << std::hex << c.c;

  EXPECT_TRUE(ucd_is_word(u, 0xE9));
  EXPECT_TRUE(ucd_is_word(u, 0x4E2D));
  EXPECT_TRUE(ucd_is_word(u, 0xB2));   // numeric: Python's isalnum
  EXPECT_TRUE(ucd_is_word(u, 0x20000)); // inside a range of the database
  EXPECT_FALSE(ucd_is_word(u, 0xB7));
  EXPECT_FALSE(ucd_is_word(u, 0x2019));
  EXPECT_TRUE(ucd_is_space(u, 0xA0));
  EXPECT_TRUE(ucd_is_space(u, 0x85));
  EXPECT_TRUE(ucd_is_space(u, 0x3000));
  EXPECT_FALSE(ucd_is_space(u, 0x200B));
  EXPECT_EQ(ucd_digit(u, 0x663), 3);
  EXPECT_EQ(ucd_digit(u, 0xFF11), 1);
  EXPECT_EQ(ucd_digit(u, 0xB2), -1); // a digit, but not a decimal one
  EXPECT_EQ(ucd_fold(u, 0x212A), (uint32_t)'k');
  EXPECT_EQ(ucd_fold(u, 0x17F), (uint32_t)'s');
  EXPECT_EQ(ucd_fold(u, 0x130), (uint32_t)'i');
  EXPECT_EQ(ucd_fold(u, 0xC9), 0xE9u);
  EXPECT_EQ(lower(*u, "\xC3\x89T\xC4\xB0\xCE\xA3"), "\xC3\xA9t" "i\xCC\x87\xCF\x83");
}

TEST(UcdBuild, WritesThroughATemporaryFileAndReportsFailures) {
  TempDir d;
  if (!std::filesystem::exists("/usr/share/unicode/UnicodeData.txt")) GTEST_SKIP();
  std::string out = d.file("unicode.bin");
  ASSERT_EQ(tv_ucd_build("/usr/share/unicode", out.c_str()), 0) << tv_geterr();
  EXPECT_FALSE(std::filesystem::exists(out + ".tmp"));
  EXPECT_GT(std::filesystem::file_size(out), 10000u);

  std::string none = d.file("no-such-dir");
  EXPECT_EQ(tv_ucd_build(none.c_str(), out.c_str()), -1);
  EXPECT_EQ(std::string(tv_geterr()), "ucd build: cannot open " + none + "/UnicodeData.txt");
  EXPECT_EQ(tv_ucd_build("/usr/share/unicode", d.file("missing/dir/u.bin").c_str()), -1);
  EXPECT_NE(strstr(tv_geterr(), "cannot write"), nullptr);
  // The earlier file is still whole.
  ucd u;
  EXPECT_EQ(ucd_load(&u, out.c_str()), 0);
  ucd_free(&u);
}

} // namespace
