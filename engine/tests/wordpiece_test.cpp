// The WordPiece tokenizer over a small vocabulary: normalisation (case,
// accents, controls, white space, CJK, marks), punctuation split, word
// pieces, special tokens, the token budget, malformed UTF-8 and vocabulary
// files; and the built-in Unicode tables.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "nn/wordpiece.h"
#include "runtime/error.h"
#include "TempDir.h"

using tovan::test::TempDir;

namespace {

const char *const VOCAB[] = {
    "[PAD]", "[UNK]", "[CLS]", "[SEP]", "[MASK]",     // 0-4
    "hello", ",", "world", "!", "un",                  // 5-9
    "##aff", "##able", "a", "##b", "x",                // 10-14
    "\xe4\xb8\xad" /* 中 */, "y", "[", "]", "mask",    // 15-19
    "i", "e", "\xec\x95\x88" /* 안 */, "\xe1\x84\x8b" /* ᄋ */, "##\xe1\x85\xa1" /* ##ᅡ */,  // 20-24
    "##\xe1\x86\xab" /* ##ᆫ */, "a\xf0\x9d\x85\xa5\xf0\x9d\x85\xad" /* a + U+1D165 + U+1D16D */,  // 25-26
    "hello",  // 27: a repeated token keeps its first id
    "",       // 28: empty lines are tokens too
    "\xe8\xb1\x88" /* 豈 as U+8C48 */,  // 29
};

std::string vocab_text(const char *eol) {
  std::string t;
  for (const char *v : VOCAB) t += std::string(v) + eol;
  return t;
}

struct Vocab {
  TempDir dir;
  tv_wordpiece *wp = NULL;
  explicit Vocab(const char *eol = "\n") { wp = tv_wordpiece_load(dir.write("vocab.txt", vocab_text(eol)).c_str()); }
  ~Vocab() { tv_wordpiece_free(wp); }
  std::vector<uint32_t> encode(const std::string &text, int32_t max_len = 256) {
    std::vector<uint32_t> ids((size_t)max_len + 1, 0xDEADu);
    const int32_t n = tv_wordpiece_encode(wp, text.c_str(), ids.data(), max_len);
    EXPECT_EQ(ids[(size_t)max_len], 0xDEADu) << "wrote past max_len";
    if (n < 0) return {};
    ids.resize((size_t)n);
    return ids;
  }
};

std::vector<uint32_t> framed(std::vector<uint32_t> inner) {
  inner.insert(inner.begin(), 2);
  inner.push_back(3);
  return inner;
}

TEST(WordPiece, EncodesATableOfTexts) {
  Vocab v;
  ASSERT_NE(v.wp, nullptr) << tv_geterr();
  const std::string b99(99, 'b');
  struct Case {
    const char *what;
    std::string text;
    std::vector<uint32_t> ids;  // without [CLS] / [SEP]
  } cases[] = {
      {"empty", "", {}},
      {"case, accent, punctuation", "H\xc3\xa9llo, WORLD!", {5, 6, 7, 8}},
      {"pieces", "unaffable", {9, 10, 11}},
      {"accented capital", "\xc3\x9cnaffable", {9, 10, 11}},
      {"dotted capital I", "\xc4\xb0", {20}},
      {"angstrom sign", "\xe2\x84\xab", {12}},
      {"combining accent dropped", "he\xcc\x81llo", {5}},
      {"zero-width space dropped", "hel\xe2\x80\x8blo", {5}},
      {"tab, newline and no-break space split", "hello\tworld\nhello\xc2\xa0world", {5, 7, 5, 7}},
      {"vertical tab removed, no split", "hel\x0blo", {5}},
      {"CJK ideograph sets letters apart", "x\xe4\xb8\xady", {14, 15, 16}},
      {"compatibility ideograph", "\xef\xa4\x80", {29}},
      {"Hangul syllable into jamo", "\xec\x95\x88", {23, 24, 25}},
      {"no piece for a letter: whole word unknown", "unaffq", {1}},
      {"unknown word between known ones", "hello zz world", {5, 1, 7}},
      {"100 letters are split", "a" + b99, {}},
      {"101 letters are one unknown", "a" + b99 + "b", {1}},
      {"special token passes through", "hello[MASK]world", {5, 4, 7}},
      {"special token spelt in lower case does not", "[mask]", {17, 19, 18}},
      {"special tokens one after another", "[CLS][SEP]", {2, 3}},
      {"bad byte becomes nothing", "hel\xfflo", {5}},
      {"overlong two-byte sequence", "hel\xc0\xaflo", {5}},
      {"truncated three-byte sequence at the end", "hello\xe2\x82", {5}},
      {"surrogate encoded in UTF-8", "hel\xed\xa0\x80lo", {5}},
      {"marks put in canonical order", "a\xf0\x9d\x85\xad\xf0\x9d\x85\xa5", {26}},
      {"only punctuation", "!!,", {8, 8, 6}},
  };
  for (const Case &c : cases) {
    std::vector<uint32_t> want = c.ids;
    if (c.text == "a" + b99) {
      want = {12};
      for (int i = 0; i < 99; i++) want.push_back(13);
    }
    EXPECT_EQ(v.encode(c.text), framed(want)) << c.what;
  }
}

TEST(WordPiece, TokenBudget) {
  Vocab v;
  ASSERT_NE(v.wp, nullptr) << tv_geterr();
  // Two content ids fit in max_len 4, whatever follows.
  EXPECT_EQ(v.encode("hello world hello world", 4), framed({5, 7}));
  EXPECT_EQ(v.encode("unaffable", 4), framed({9, 10}));  // a word cut between its pieces
  EXPECT_EQ(v.encode("hello [MASK] world", 4), framed({5, 4}));
  EXPECT_EQ(v.encode("[MASK][MASK][MASK]", 4), framed({4, 4}));
  EXPECT_EQ(v.encode("hello world", 2), framed({}));
  EXPECT_EQ(v.encode("hello", 3), framed({5}));
  // A long text with the default length keeps 254 pieces.
  std::string many;
  for (int i = 0; i < 400; i++) many += "hello ";
  EXPECT_EQ(v.encode(many).size(), 256u);
  uint32_t ids[4];
  EXPECT_EQ(tv_wordpiece_encode(v.wp, "hello", ids, 1), -1);
  EXPECT_STREQ(tv_geterr(), "tv_wordpiece_encode: max_len 1 < 2");
}

TEST(WordPiece, LongRunsOfMarksStayCheap) {
  Vocab v;
  ASSERT_NE(v.wp, nullptr) << tv_geterr();
  // 200,000 marks of alternating classes after one letter: a single word far
  // beyond 100 code points, so one [UNK], without quadratic sorting.
  std::string t = "a";
  for (int i = 0; i < 100000; i++) t += "\xf0\x9d\x85\xad\xf0\x9d\x85\xa5";
  t += " hello";
  EXPECT_EQ(v.encode(t), framed({1, 5}));
}

TEST(WordPiece, VocabularyFiles) {
  Vocab lf("\n"), crlf("\r\n");
  ASSERT_NE(lf.wp, nullptr) << tv_geterr();
  ASSERT_NE(crlf.wp, nullptr) << tv_geterr();
  EXPECT_EQ(tv_wordpiece_vocab_size(lf.wp), (int32_t)(sizeof VOCAB / sizeof *VOCAB));
  EXPECT_EQ(tv_wordpiece_vocab_size(crlf.wp), tv_wordpiece_vocab_size(lf.wp));
  for (const char *t : {"H\xc3\xa9llo, WORLD!", "unaffable [MASK] x\xe4\xb8\xady"})
    EXPECT_EQ(lf.encode(t), crlf.encode(t)) << t;
  EXPECT_EQ(tv_wordpiece_id(lf.wp, "hello", 5), 5);  // the first of two equal lines
  EXPECT_EQ(tv_wordpiece_id(lf.wp, "", 0), 28);
  EXPECT_EQ(tv_wordpiece_id(lf.wp, "hell", 4), -1);
  EXPECT_EQ(tv_wordpiece_id(lf.wp, "##b", 3), 13);

  TempDir dir;
  struct Bad {
    const char *text;
  } bad[] = {{""}, {"[UNK]\n[CLS]\n"}, {"[CLS]\n[SEP]\n[unk]\n"}, {"[UNK] \n[CLS]\n[SEP]\n"}};
  for (const Bad &b : bad) {
    const std::string path = dir.write("bad.txt", b.text);
    EXPECT_EQ(tv_wordpiece_load(path.c_str()), nullptr) << b.text;
    EXPECT_EQ(std::string(tv_geterr()), path + ": no [UNK] / [CLS] / [SEP] token") << b.text;
  }
  EXPECT_EQ(tv_wordpiece_load(dir.file("missing.txt").c_str()), nullptr);
  EXPECT_NE(strstr(tv_geterr(), "missing.txt"), nullptr) << tv_geterr();
  // No final line end: the last line still counts; a lone CR line is empty.
  tv_wordpiece *wp = tv_wordpiece_load(dir.write("v.txt", "[UNK]\n[CLS]\r\n\r\n[SEP]").c_str());
  ASSERT_NE(wp, nullptr) << tv_geterr();
  EXPECT_EQ(tv_wordpiece_vocab_size(wp), 4);
  EXPECT_EQ(tv_wordpiece_id(wp, "[SEP]", 5), 3);
  EXPECT_EQ(tv_wordpiece_id(wp, "", 0), 2);
  EXPECT_EQ(wp->special[0], -1);  // no [PAD]
  tv_wordpiece_free(wp);
  tv_wordpiece_free(NULL);
}

TEST(WordPiece, UnicodeNormalisation) {
  struct Case {
    uint32_t c;
    std::vector<uint32_t> out;
  } cases[] = {
      {'A', {'a'}},          {'z', {'z'}},           {'\t', {' '}},          {0x0B, {}},
      {0x7F, {}},            {0x00, {}},             {0xC0, {'a'}},          {0xE9, {'e'}},
      {0x130, {'i'}},        {0x212B, {'a'}},        {0x391, {0x3B1}},       {0x3A3, {0x3C3}},
      {0xDF, {0xDF}},        {0x1E9E, {0xDF}},       {0x09CB, {0x09C7, 0x09BE}},
      {0xAC00, {0x1100, 0x1161}},                    {0xAC01, {0x1100, 0x1161, 0x11A8}},
      {0xD7A3, {0x1112, 0x1175, 0x11C2}},            {0x4E00, {' ', 0x4E00, ' '}},
      {0x20000, {' ', 0x20000, ' '}},                {0xF900, {' ', 0x8C48, ' '}},
      {0x3000, {' '}},       {0x2028, {' '}},        {0x00A0, {' '}},        {0x200B, {}},
      {0xAD, {}},            {0x0301, {}},           {0xE000, {}},           {0xFFFD, {}},
      {0xE0001, {}},         {0x10FFFD, {}},         {0x0378, {0x0378}},     {0x1F600, {0x1F600}},
      {0x0100, {'a'}},       {0x0101, {'a'}},        {0x0102, {'a'}},        {0x0410, {0x0430}},
  };
  for (const Case &c : cases) {
    uint32_t out[3] = {0, 0, 0};
    const int n = tv_uni_norm(c.c, out);
    EXPECT_EQ(std::vector<uint32_t>(out, out + (n > 0 ? n : 0)), c.out) << std::hex << "U+" << c.c;
  }
  struct Class {
    uint32_t c;
    int cls;
  } classes[] = {{'a', 0},      {' ', 0},      {0x7F, 255},  {0x01, 255},  {0x09, 0},   {0x0A, 0},
                 {0x0B, 255},   {0x0C, 255},   {0x0D, 0},    {0x0301, 255}, {0x034F, 0}, {0x00AD, 255},
                 {0x1D165, 216}, {0x1D16D, 226}, {0x4E00, 0}, {0xE9, 0}};
  for (const Class &c : classes) EXPECT_EQ(tv_uni_reorder_class(c.c), c.cls) << std::hex << "U+" << c.c;
  for (uint32_t c : {0x21u, 0x2Fu, 0x3Au, 0x40u, 0x5Bu, 0x60u, 0x7Bu, 0x7Eu, 0xA1u, 0xBFu, 0x3001u, 0x2014u})
    EXPECT_TRUE(tv_uni_is_punct(c)) << std::hex << c;
  for (uint32_t c : {0x30u, 0x61u, 0xA2u, 0x4E00u, 0x20u}) EXPECT_FALSE(tv_uni_is_punct(c)) << std::hex << c;
  for (uint32_t c : {0x09u, 0x0Du, 0x20u, 0x85u, 0xA0u, 0x1680u, 0x2000u, 0x200Au, 0x2029u, 0x3000u})
    EXPECT_TRUE(tv_uni_is_space(c)) << std::hex << c;
  for (uint32_t c : {0x08u, 0x200Bu, 0x61u, 0x180Eu, 0xFEFFu}) EXPECT_FALSE(tv_uni_is_space(c)) << std::hex << c;
}

// The generated tables: sorted, disjoint, with sequences inside the pool, so
// every binary search is sound.
TEST(WordPiece, TablesAreWellFormed) {
  using namespace wordpiece;
  auto check = [](const char *name, int32_t count, auto first, auto last) {
    ASSERT_GT(count, 0) << name;
    for (int32_t i = 0; i < count; i++) {
      ASSERT_LE(first(i), last(i)) << name << " " << i;
      if (i > 0) {
        ASSERT_LT(last(i - 1), first(i)) << name << " " << i;
      }
    }
  };
  check("NORM", NORM_COUNT, [](int i) { return NORM[i].first; }, [](int i) { return NORM[i].last; });
  check("REORDER", REORDER_COUNT, [](int i) { return REORDER[i].first; }, [](int i) { return REORDER[i].last; });
  check("PUNCT", PUNCT_COUNT, [](int i) { return PUNCT[i].first; }, [](int i) { return PUNCT[i].last; });
  check("SPACE", SPACE_COUNT, [](int i) { return SPACE[i].first; }, [](int i) { return SPACE[i].last; });
  for (int32_t i = 0; i < NORM_COUNT; i++) {
    ASSERT_LE(NORM[i].kind, 6) << i;
    if (NORM[i].kind == 5) {
      ASSERT_GE(NORM[i].value, 0);
      ASSERT_LT(NORM[i].value, POOL_COUNT);
      const uint32_t n = POOL[NORM[i].value];
      ASSERT_GE(n, 1u);
      ASSERT_LE(n, 3u);
      ASSERT_LE(NORM[i].value + (int64_t)n, POOL_COUNT - 1);
    }
    if (NORM[i].kind == 3 || NORM[i].kind == 4) {
      const int64_t to = (int64_t)NORM[i].first + NORM[i].value;
      ASSERT_TRUE(to >= 0 && to <= 0x10FFFF) << i;
    }
  }
}

}  // namespace
