// The symbol table, number words at their limits and the normalisation chain.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>

#include "front/normalize.h"
#include "front/numwords.h"
#include "front/symbols.h"
#include "front_fixture.h"
#include "front_util.h"

TEST(FrontSymbols, IdsFollowTheTable) {
  char *names[TV_NSYM] = {};
  int32_t sorted[TV_NSYM] = {};
  ASSERT_EQ(sym_build(names, sorted, 13), 0);
  struct Case {
    const char *name;
    int32_t id;
  } cases[] = {{"<pad>", 0}, {"<sp>", 1},   {",", 2},     {"-", 8},          {"AA0", 9},
               {"AA1", 10},  {"AA2", 11},   {"AE0", 12},  {"AH0", 15},       {"B", 27},
               {"CH", 28},   {"EH0", 31},   {"UW2", 72},  {"ZH", 77},        {"[laugh]", 78},
               {"[sigh]", 88}, {"[clock]", 104}, {"[reserved0]", 105}, {"[reserved12]", 117},
               {"AA", -1},   {"aa1", -1},   {"[LAUGH]", -1}, {"", -1}};
  for (const Case &c : cases) {
    EXPECT_EQ(sym_lookup(names, sorted, c.name), c.id) << c.name;
    if (c.id >= 0) {
      EXPECT_STREQ(names[c.id], c.name);
    }
  }
  for (int i = 1; i < TV_NSYM; i++) EXPECT_LT(strcmp(names[sorted[i - 1]], names[sorted[i]]), 0);
  sym_free(names);
}

TEST(FrontSymbols, RefusesATableOfAnotherSize) {
  char *names[TV_NSYM] = {};
  int32_t sorted[TV_NSYM] = {};
  EXPECT_EQ(sym_build(names, sorted, 12), -1);
  EXPECT_STREQ(tv_geterr(), "tovantts front: symbol table has 117 entries");
  EXPECT_EQ(sym_build(names, sorted, 14), -1);
  EXPECT_STREQ(tv_geterr(), "tovantts front: symbol table has 119 entries");
  for (char *n : names) EXPECT_EQ(n, nullptr);
}

TEST(FrontSymbols, LookupsThroughTheFrontEnd) {
  NEED_DEV_FRONT(f);
  EXPECT_EQ(tv_front_symbol_id(f, "AA1"), 10);
  EXPECT_EQ(tv_front_symbol_id(f, "AA"), -1);
  EXPECT_STREQ(tv_front_symbol(f, 117), "[reserved12]");
  EXPECT_EQ(tv_front_symbol(f, 118), nullptr);
  EXPECT_EQ(tv_front_symbol(f, -1), nullptr);
}

namespace {

std::string run_words(void (*fn)(uint32_t *, const char *, sb *), const std::string &digits) {
  uint32_t fl = 0;
  sb b = {};
  fn(&fl, digits.c_str(), &b);
  std::string r = fl ? "!" + std::string(tv_geterr()) : std::string(sb_cstr(&b));
  sb_free(&b);
  return r;
}

std::string int_digits(const std::string &text) {
  uint32_t fl = 0;
  sb b = {};
  auto t = U(text);
  py_int_digits(&fl, real_ucd(), t.data(), (int32_t)t.size(), &b);
  std::string r = fl ? "!" + std::string(tv_geterr()) : std::string(sb_cstr(&b));
  sb_free(&b);
  return r;
}

} // namespace

TEST(NumberWords, DigitsAtTheirLimits) {
  if (!real_ucd()) GTEST_SKIP() << "unicode-data missing";
  EXPECT_EQ(int_digits(""), "0");
  EXPECT_EQ(int_digits("000"), "0");
  EXPECT_EQ(int_digits("007"), "7");
  EXPECT_EQ(int_digits("\u0661\u0662\u0663"), "123"); // Arabic-Indic digits
  // No length is refused: a long run is read in digit groups further on.
  for (size_t n : {4300u, 4301u, 10000u})
    EXPECT_EQ(int_digits("00" + std::string(n, '7')), std::string(n, '7')) << n;
  EXPECT_EQ(int_digits("12a"), "!ValueError: invalid literal for int() with base 10: '12a'");
  // The digit check comes first, and the quoted text stops at 200 bytes.
  std::string bad = std::string(5000, '1') + "x";
  EXPECT_EQ(int_digits(bad), "!ValueError: invalid literal for int() with base 10: '" + std::string(200, '1') + "'");
}

TEST(NumberWords, CardinalsAtTheirLimits) {
  std::string top = run_words(nw_cardinal, std::string(102, '9'));
  EXPECT_EQ(top.rfind("nine hundred and ninety-nine duotrigintillion, ", 0), 0u) << top;
  EXPECT_EQ(run_words(nw_cardinal, "1" + std::string(101, '0')), "one hundred duotrigintillion");
}

namespace {

// What a run of digits read in groups sounds like, built from the digits:
// groups of three, the last of two to four.
std::string grouped(const std::string &digits) {
  static const char *const word[10] = {"zero", "one", "two",   "three", "four",
                                       "five", "six", "seven", "eight", "nine"};
  std::vector<size_t> sizes;
  for (size_t left = digits.size(); left > 0;) {
    size_t take = left > 4 ? (left == 8 ? 4 : 3) : left;
    sizes.push_back(take);
    left -= take;
  }
  std::string out;
  size_t at = 0;
  for (size_t g : sizes) {
    if (at) out += ", ";
    for (size_t i = at; i < at + g; i++) out += std::string(i > at ? " " : "") + word[digits[i] - '0'];
    at += g;
  }
  return out;
}

std::string run_of(size_t n) {
  std::string d;
  for (size_t i = 0; i < n; i++) d += (char)('1' + (i * 7 + i / 10) % 9);
  return d;
}

} // namespace

TEST(NumberWords, DigitGroupsKeepEveryDigit) {
  struct Case {
    const char *digits, *words;
  } cases[] = {{"12", "one two"},
               {"1234", "one two three four"},
               {"12345", "one two three, four five"},
               {"1234567", "one two three, four five six seven"},
               {"12345678", "one two three four, five six seven eight"},
               {"123456789", "one two three, four five six, seven eight nine"},
               {"1000000000", "one zero zero, zero zero zero, zero zero zero zero"}};
  for (const Case &c : cases) {
    uint32_t fl = 0;
    sb b = {};
    nw_digit_groups(&fl, c.digits, (int32_t)strlen(c.digits), &b);
    EXPECT_EQ(fl, 0u);
    EXPECT_STREQ(sb_cstr(&b), c.words) << c.digits;
    sb_free(&b);
  }
}

// Runs longer than the scale words reach are read in digit groups by every
// routine instead of failing the whole text; shorter ones keep their words.
TEST(NumberWords, LongRunsAreReadInDigitGroups) {
  NEED_DEV_FRONT(f);
  const tv_numwords *nw = &f->g2p.nw;
  for (size_t n : {36u, 37u, 41u, 100u, 102u, 103u, 4301u, 10000u}) {
    const std::string d = run_of(n), groups = grouped(d);
    // the configurable routine and the number normaliser (scale words up to 36)
    uint32_t fl = 0;
    sb b = {};
    auto t = U(d);
    inflect_words(&fl, nw, t.data(), (int32_t)t.size(), "", "zero", 0, &b);
    std::string w = fl ? "!" + std::string(tv_geterr()) : std::string(sb_cstr(&b));
    sb_free(&b);
    if (n <= NW_INFLECT_MAX_DIGITS) {
      EXPECT_NE(w.find("decillion"), std::string::npos) << n;
    } else {
      EXPECT_EQ(w, groups) << n;
    }
    u32s o = {};
    nw_normalize_numbers(&fl, nw, t.data(), (int32_t)t.size(), &o);
    EXPECT_EQ(fl, 0u) << n;
    if (n > NW_INFLECT_MAX_DIGITS) EXPECT_EQ(S(o), groups) << n;
    u32s_free(&o);
    // the British words (scale words up to 102 digits), and the chain
    std::string british = run_words(nw_cardinal, d);
    std::string said = normalized(f, "Draw " + d + " now.");
    if (n <= NW_BRITISH_MAX_DIGITS) {
      EXPECT_NE(british.find("illion"), std::string::npos) << n;
      EXPECT_EQ(said.find_first_of("0123456789!"), std::string::npos) << said;
    } else {
      EXPECT_EQ(british, groups) << n;
      EXPECT_EQ(said, "Draw " + groups + " now.") << n;
    }
  }
}

TEST(NumberWords, LongRunsInContext) {
  NEED_DEV_FRONT(f);
  std::string list; // 1,2,3,...,25: the commas join 41 digits
  for (int i = 1; i <= 25; i++) list += (i > 1 ? "," : "") + std::to_string(i);
  std::string joined;
  for (int i = 1; i <= 25; i++) joined += std::to_string(i);
  const std::string r37 = std::string(37, '3'), r110 = std::string(110, '1');
  struct Case {
    std::string in, out;
  } cases[] = {
      {"Numbers " + list + " drawn.", "Numbers " + grouped(joined) + " drawn."},
      // a run glued to letters is left to the number normaliser
      {"id" + r37 + "x", "id" + grouped(r37) + "x"},
      // ordinals: the last digit's word becomes ordinal
      {"the " + r110 + "th", "the " + grouped(r110).substr(0, grouped(r110).size() - 3) + "first"},
      // a decimal whose whole part a double would change is read as written
      {"$" + r110 + ".25", grouped(r110) + " point two five dollars"},
      {"$12345678901234567890.25",
       "twelve quintillion three hundred and forty five quadrillion six hundred and seventy eight trillion nine "
       "hundred and one billion two hundred and thirty four million five hundred and sixty seven thousand eight "
       "hundred and ninety point two five dollars"},
      {std::string(150, '9') + ".25 m", grouped(std::string(150, '9')) + " point two five m"},
      // ... while one a double holds keeps the reading through its value
      {"2.50 and 123456789012345.5", "two point five and one hundred and twenty three trillion four hundred and "
                                     "fifty six billion seven hundred and eighty nine million twelve thousand "
                                     "three hundred and forty five point five"},
      {"0." + std::string(320, '0') + "5", "zero point" + [] {
         std::string z;
         for (int i = 0; i < 320; i++) z += " zero";
         return z;
       }() + " five"},
      // British-mode grouped numbers and ordinary numbers keep their words
      {"1,234,567 and 21st and 2024", "one million two hundred and thirty four thousand five hundred and sixty seven "
                                      "and twenty first and twenty twenty four"},
  };
  for (const Case &c : cases) EXPECT_EQ(normalized(f, c.in), c.out) << c.in.substr(0, 60);
}

TEST(NumberWords, FloatsThatCannotBeRead) {
  struct Case {
    double x;
    const char *message;
  } cases[] = {{INFINITY, "OverflowError: cannot convert float infinity to integer"},
               {-INFINITY, "OverflowError: cannot convert float infinity to integer"},
               {NAN, "ValueError: cannot convert float NaN to integer"},
               {5e-324, "OverflowError: int too large to convert to float"}};
  for (const Case &c : cases) {
    uint32_t fl = 0;
    sb b = {};
    nw_cardinal_float(&fl, &b, c.x);
    EXPECT_EQ(fl, 1u);
    EXPECT_STREQ(tv_geterr(), c.message);
    sb_free(&b);
  }
}

TEST(NumberWords, ReadsDecimalsWhateverTheLocale) {
  EXPECT_EQ(tv_front_strtod("2.5"), 2.5);
  EXPECT_EQ(tv_front_strtod("0.05"), 0.05);
  EXPECT_EQ(tv_front_strtod(NULL), 0.0);
}

// One table for the chain: a row or two per rule, then rows whose result
// shows the rules' order.
TEST(Normalize, EachRule) {
  NEED_DEV_FRONT(f);
  struct Case {
    const char *in, *out;
  } cases[] = {
      // 1 quotation marks
      {"\u201cHi\u201d \u2018there\u2019 `x`", "Hi 'there' 'x'"},
      // 2 phone numbers
      {"(555) 123-4567", "five five five, one two three, four five six seven"},
      {"555.987.6543.", "five five five, nine eight seven, six five four three."},
      // 3 clock times
      {"9:05", "nine oh five"},
      {"12:00 and 09:00 and 00:00", "twelve o'clock and nine hundred and zero hundred"},
      {"10:30 pm", "ten thirty pee em"},
      // 4 colons between digits, 5 hours with a meridiem
      {"3:2 at 7am", "three two at seven ay em"},
      {"11 P.M. sharp", "eleven pee em sharp"},
      // 6 titles and abbreviations
      {"Dr. Smith and Mr Brown", "Doctor Smith and Mister Brown"},
      {"I saw the Dr.", "I saw the Dr."},
      {"apples, etc. and etc.", "apples, et cetera and et cetera."},
      {"Fig. 3 in Mar. and Mar. 3", "figure three in Mar. and March three"},
      // 7, 8 degrees
      {"100\u00b0C and 30\u00b0", "one hundred degrees Celsius and thirty degrees"},
      // 9, 10 ampersands
      {"R & D, A&B and salt & pepper", "R and D, ay and B and salt and pepper"},
      // 11 about
      {"~5 apples", "about five apples"},
      // 12 money with a scale letter
      {"$5M and \u20ac40k", "five million dollars and forty thousand euros"},
      // 13 versions
      {"1.2.3", "one point two point three"},
      // 14 Roman chapter numbers; an empty numeral is left alone
      {"Chapter XIV", "Chapter fourteen"},
      {"Part Dance, Book Club and Level Crossing", "Part Dance, Book Club and Level Crossing"},
      // 15 world wars
      {"WWII and WW1", "World War two and World War one"},
      // 16 fractions
      {"1/2, 3/10 and 11/12", "one half, three tenths and eleven twelve"},
      // 17 ranges, 18 dimensions, 19 joiners
      {"10-12 and 3x4 and and/or", "ten to twelve and three by four and and or"},
      // 20 money, 21 percentages
      {"\u00a33 and 12.5 %", "three pounds and twelve point five percent"},
      // 22 units (always plural)
      {"5km/h and 1 km", "five kilometers per hour and one kilometers"},
      // 23 ordinals, 24 grouped numbers, 25 decimals, 26 long numbers
      {"21st", "twenty first"},
      {"1,234,567", "one million two hundred and thirty four thousand five hundred and sixty seven"},
      {"3.14159", "three point one four one five nine"},
      {"123456", "one hundred and twenty three thousand four hundred and fifty six"},
      // 27 acronyms glued to a word, 28 acronyms (a lexicon word is kept)
      {"myPC", "my P C"},
      {"FBI, NASA, TVs and ABs", "F B I, NASA, T V's and ay B's"},
      // 29 the number normaliser (years and plain numbers)
      {"1984, 1905, 2005 and 123", "nineteen eighty four, nineteen oh five, two thousand five and one hundred twenty three"},
      // 30 hyphens between words, 31 commas after scale words
      {"well-known", "well known"},
      {"one thousand, two", "one thousand two"},
      // 32 dashes and ellipses, 33 white space, 34 ends
      {"Wait\u2014what\u2026 now", "Wait, what. now"},
      {"  a \t b\n ", "a b"},
      // the order of the rules
      {"Dr. Smith paid $5M at 10:30 pm.", "Doctor Smith paid five million dollars at ten thirty pee em."},
      {"Call 555-123-4567.", "Call five five five, one two three, four five six seven."}, // phones before ranges
      {"Take 1/2.", "Take one half."},                                                    // fractions before joiners
      {"1,234 and 21st", "one thousand two hundred and thirty four and twenty first"},    // British words before the normaliser
      {"$1.50", "one point five dollars"},                                                // money before the normaliser's dollars
      // a stray comma in an amount the money rule left is not a failure
      {"pay $,5 now", "pay five dollars now"},
  };
  for (const Case &c : cases) EXPECT_EQ(normalized(f, c.in), c.out) << c.in;
}

TEST(Normalize, AFailedChainIsInert) {
  NEED_DEV_FRONT(f);
  // Runs of any length are read (they once failed the whole text).
  const std::string big = std::string(4301, '1'), huge = std::string(103, '2');
  EXPECT_EQ(normalized(f, "a " + big + " and " + huge), "a " + grouped(big) + " and " + grouped(huge));

  // A chain that starts with the flag set does nothing and keeps the message.
  tv_seterr("earlier failure");
  uint32_t fl = 1;
  auto t = U("Dr. Smith paid $5");
  u32s out = {};
  front_normalize(&fl, f, t.data(), (int32_t)t.size(), &out);
  EXPECT_EQ(out.n, 0);
  EXPECT_STREQ(tv_geterr(), "earlier failure");
  int32_t *ids = (int32_t *)1;
  int32_t n = 7;
  g2p_call(&fl, &f->g2p, t.data(), (int32_t)t.size(), &ids, &n);
  EXPECT_EQ(ids, nullptr);
  EXPECT_EQ(n, 0);
  EXPECT_STREQ(tv_geterr(), "earlier failure");

  // The phoneme output stays empty on failure.
  tv_phonemes p = {};
  EXPECT_EQ(front_phonemes_u32(&fl, f, t.data(), (int32_t)t.size(), &p), -1);
  EXPECT_EQ(p.count, 0);
  tv_phonemes_free(&p);
  tv_phonemes q = {};
  EXPECT_EQ(tv_front_phonemes(f, ("x " + huge).c_str(), &q), 0);
  EXPECT_GT(q.count, 103);
  tv_phonemes_free(&q);
}

TEST(Normalize, NullArguments) {
  NEED_DEV_FRONT(f);
  EXPECT_EQ(tv_front_normalize(NULL, "x"), nullptr);
  EXPECT_STREQ(tv_geterr(), "tovantts front: NULL argument");
  EXPECT_EQ(tv_front_normalize(f, NULL), nullptr);
  EXPECT_STREQ(tv_geterr(), "tovantts front: NULL argument");
}

// The patterns the front end compiles are the ones the regex engine is
// checked against Python with (rx_front_patterns.h and rx_expect.txt).
#include <set>

#include "front/frontend.h"
#include "rx_front_patterns.h"

TEST(FrontPatterns, AreTheVerifiedOnes) {
  std::set<std::pair<std::string, int>> known;
  for (const FrontPattern &p : kFrontPatterns) known.insert({p.pattern, p.flags});
  std::vector<std::pair<std::string, int>> used;
  char sentence[1024];
  ASSERT_EQ(front_sentence_pattern(sentence, sizeof sentence), 0);
  for (int i = 0; i < FR_NRX; i++)
    used.push_back({i == FR_SENTENCE ? sentence : kFrontPatternText[i], i == FR_MARKUP ? 1 : 0});
  for (auto &t : kFrontTitles) used.push_back({t[0], 0});
  int32_t order[15];
  front_units_by_length(order);
  const char *longest_first[] = {"km/hr", "km/h", "m/s", "mph", "lbs", "kHz", "km", "kg",
                                 "cm",    "mm",   "ft",  "lb",  "Hz",  "GB",  "MB"};
  for (int k = 0; k < 15; k++) {
    EXPECT_STREQ(kFrontUnits[order[k]][0], longest_first[k]);
    char pat[64];
    front_unit_pattern(kFrontUnits[order[k]][0], pat);
    used.push_back({pat, 0});
  }
  for (const char *p : kNumwordsPatterns) used.push_back({p, 0});
  used.push_back({kG2pTokenPattern, 0});
  used.push_back({kG2pRunPattern, 0});
  for (auto &u : used) EXPECT_TRUE(known.count(u)) << u.first;
  EXPECT_EQ(used.size(), 33u + 29u + 15u + 15u + 2u);
}
