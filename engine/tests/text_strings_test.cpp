// UTF-32 strings, byte strings and the failure flag.
#include <gtest/gtest.h>

#include <string.h>

#include "front/fx.h"
#include "front_util.h"

namespace {

TEST(Utf8Decode, FollowsTheDecodingTable) {
  struct Case {
    const char *bytes;
    size_t len;
    std::vector<uint32_t> want;
  } cases[] = {
      {"A", 1, {0x41}},
      {"\xC3\xA9", 2, {0xE9}},
      {"\xC0\x80", 2, {0xFFFD}},                 // overlong, both bytes consumed
      {"\xC1\xBF", 2, {0xFFFD}},
      {"\xDF\xBF", 2, {0x7FF}},
      {"\xE0\xA0\x80", 3, {0x800}},
      {"\xE0\x9F\xBF", 3, {0xFFFD}},             // overlong three-byte form
      {"\xED\xA0\x80", 3, {0xFFFD}},             // surrogate
      {"\xEF\xBF\xBF", 3, {0xFFFF}},
      {"\xF0\x90\x80\x80", 4, {0x10000}},
      {"\xF0\x8F\xBF\xBF", 4, {0xFFFD}},         // overlong four-byte form
      {"\xF4\x8F\xBF\xBF", 4, {0x10FFFF}},
      {"\xF4\x90\x80\x80", 4, {0xFFFD}},         // above U+10FFFF
      {"\xE2\x82", 2, {0xFFFD, 0xFFFD}},         // cut by the end of input
      {"a\x80" "b", 3, {0x61, 0xFFFD, 0x62}},    // stray continuation byte
      {"\xF8\x88\x80\x80\x80", 5, {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
      {"\xFF", 1, {0xFFFD}},
      {"\xC3" "A", 2, {0xFFFD, 0x41}},           // lead byte without continuation
      {"\xE2\x82" "A", 3, {0xFFFD, 0xFFFD, 0x41}},
      {"\xF0\x9F\x98\x80!", 5, {0x1F600, 0x21}},
      {"a\0b", 3, {0x61, 0, 0x62}},              // NUL is an ordinary byte here
  };
  for (const Case &c : cases) {
    uint32_t fl = 0;
    u32s s = {};
    u32s_utf8(&fl, &s, c.bytes, c.len);
    EXPECT_EQ(std::vector<uint32_t>(s.p, s.p + s.n), c.want) << "input " << c.bytes;
    EXPECT_EQ(fl, 0u);
    u32s_free(&s);
  }
}

TEST(Utf8Decode, NeverReadsPastTheGivenLength) {
  // The lead byte is the last one given; the bytes after it in memory are
  // valid continuations that must not be used.
  const char buf[] = "\xE2\x82\xAC";
  uint32_t fl = 0;
  u32s s = {};
  u32s_utf8(&fl, &s, buf, 1);
  ASSERT_EQ(s.n, 1);
  EXPECT_EQ(s.p[0], 0xFFFDu);
  u32s_free(&s);
}

TEST(Utf8Encode, RoundTripsEveryLengthAndAppendsToExistingText) {
  std::vector<uint32_t> cps = {0x41, 0x7F, 0x80, 0x7FF, 0x800, 0xFFFD, 0xFFFF, 0x10000, 0x10FFFF};
  uint32_t fl = 0;
  sb b = {};
  sb_cat(&fl, &b, "x");
  sb_utf8(&fl, &b, cps.data(), (int32_t)cps.size());
  EXPECT_EQ(b.n, 1 + 1 + 1 + 2 + 2 + 3 + 3 + 3 + 4 + 4);
  EXPECT_EQ((int)strlen(sb_cstr(&b)), b.n);
  std::vector<uint32_t> back = U(std::string(sb_cstr(&b) + 1));
  EXPECT_EQ(back, cps);
  sb_free(&b);
}

TEST(ByteString, AppendsKeepTheTerminator) {
  uint32_t fl = 0;
  sb b = {};
  EXPECT_STREQ(sb_cstr(&b), "");
  sb_put(&fl, &b, "abc", 2);
  sb_put(&fl, &b, "zzz", -1);
  sb_ch(&fl, &b, '-');
  sb_fmt(&fl, &b, "%d/%s", 42, "x");
  const uint32_t low[] = {0x41, 0x142}; // low byte of U+0142 is 0x42
  sb_from_u32(&fl, &b, low, 2);
  EXPECT_STREQ(sb_cstr(&b), "ab-42/xAB");
  EXPECT_EQ(b.n, 9);
  EXPECT_EQ(fl, 0u);
  sb_free(&b);
  EXPECT_EQ(b.p, nullptr);
  EXPECT_STREQ(sb_cstr(&b), "");
}

TEST(ByteString, FormatIsCutAt127Bytes) {
  uint32_t fl = 0;
  sb b = {};
  std::string long_text(200, 'q');
  sb_fmt(&fl, &b, "%s", long_text.c_str());
  EXPECT_EQ(b.n, 127);
  EXPECT_EQ(std::string(sb_cstr(&b)), std::string(127, 'q'));
  sb_free(&b);
}

TEST(ByteString, GrowsAcrossManyAppends) {
  uint32_t fl = 0;
  sb b = {};
  std::string want;
  for (int i = 0; i < 1000; i++) {
    sb_fmt(&fl, &b, "%d,", i);
    want += std::to_string(i) + ",";
  }
  EXPECT_EQ(std::string(sb_cstr(&b)), want);
  EXPECT_GT(b.cap, b.n);
  sb_free(&b);
}

TEST(Utf32String, PutPushAsciiFindAndEquality) {
  uint32_t fl = 0;
  u32s s = {};
  u32s_ascii(&fl, &s, "ab");
  u32s_push(&fl, &s, 0x1F600);
  const uint32_t more[] = {'c', 'd'};
  u32s_put(&fl, &s, more, 2);
  u32s_put(&fl, &s, more, 0);
  u32s_put(&fl, &s, more, -3);
  EXPECT_EQ(S(s), "ab\xF0\x9F\x98\x80" "cd");
  EXPECT_EQ(u32_find(s.p, s.n, 0x1F600), 2);
  EXPECT_EQ(u32_find(s.p, s.n, 'z'), -1);
  const uint32_t ab[] = {'a', 'b'}, abc[] = {'a', 'b', 'c'};
  EXPECT_TRUE(u32s_eq(nullptr, 0, nullptr, 0));
  EXPECT_TRUE(u32s_eq(s.p, 2, ab, 2));
  EXPECT_FALSE(u32s_eq(ab, 2, abc, 3));
  EXPECT_FALSE(u32s_eq(s.p, 3, abc, 3));

  u32s t = {};
  u32s_ascii(&fl, &t, "old");
  u32s_move(&t, &s);
  EXPECT_EQ(s.p, nullptr);
  EXPECT_EQ(s.n, 0);
  EXPECT_EQ(t.n, 5);
  u32s_move(&t, &t); // moving onto itself keeps the text
  EXPECT_EQ(t.n, 5);
  u32s_free(&t);
  EXPECT_EQ(t.p, nullptr);
  EXPECT_EQ(fl, 0u);
}

TEST(Utf32String, GrowthIsSixteenThenDoubling) {
  uint32_t fl = 0;
  u32s s = {};
  u32s_push(&fl, &s, 1);
  EXPECT_EQ(s.cap, 16);
  for (int i = 0; i < 16; i++) u32s_push(&fl, &s, 1);
  EXPECT_EQ(s.cap, 32);
  EXPECT_EQ(u32s_reserve(&fl, &s, 100), 0);
  EXPECT_EQ(s.cap, 128);
  u32s_free(&s);
}

TEST(Utf32String, FailedGrowthLeavesTheStringAndSetsTheFlagOnce) {
  uint32_t fl = 0;
  u32s s = {};
  u32s_ascii(&fl, &s, "keep");
  // Beyond what an int32 length can hold.
  EXPECT_EQ(u32s_reserve(&fl, &s, INT32_MAX), -1);
  EXPECT_EQ(fl, 1u);
  EXPECT_STREQ(tv_geterr(), "MemoryError: out of memory");
  EXPECT_EQ(S(s), "keep");
  // The first message stands.
  fx_fail(&fl, "ValueError: %s", "later");
  EXPECT_STREQ(tv_geterr(), "MemoryError: out of memory");
  u32s_free(&s);
}

TEST(FailureFlag, FormatsTheFirstFailureOnly) {
  uint32_t fl = 0;
  fx_fail(&fl, "ValueError: could not convert string to float: '%s'", "1.2.3");
  EXPECT_EQ(fl, 1u);
  EXPECT_STREQ(tv_geterr(), "ValueError: could not convert string to float: '1.2.3'");
  fx_fail(&fl, "second");
  EXPECT_STREQ(tv_geterr(), "ValueError: could not convert string to float: '1.2.3'");
  // A message with a percent sign in its argument is stored as it is.
  uint32_t f2 = 0;
  fx_fail(&f2, "%s", "100% sure");
  EXPECT_STREQ(tv_geterr(), "100% sure");
  std::string huge(3000, 'm');
  uint32_t f3 = 0;
  fx_fail(&f3, "%s", huge.c_str());
  EXPECT_EQ(strlen(tv_geterr()), 1023u);
}

} // namespace
