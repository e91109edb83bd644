// The regex engine: compile errors, the behaviours its callers rely on, the
// step budget, and bounded stack use on long adversarial input.
#include <gtest/gtest.h>
#include <pthread.h>

#include <string.h>

#include <fstream>
#include <random>

#include "front/rx.h"
#include "front_util.h"
#include "runtime/error.h"
#include "rx_front_patterns.h"

namespace {

// An empty table: ASCII classes and folding are built in.
const ucd *ascii_ucd() {
  static ucd u;
  return &u;
}

struct Rx {
  tv_rx *rx;
  Rx(const char *p, int flags = 0, const ucd *u = ascii_ucd()) : rx(tv_rx_compile(u, p, flags)) {}
  ~Rx() { tv_rx_free(rx); }
};

// All matches of an iteration as "start-end" and groups "(s,e)".
std::string all(const tv_rx *rx, const std::string &text) {
  std::vector<uint32_t> t = U(text);
  std::string r;
  uint32_t fl = 0;
  int32_t m[TV_RX_MREC], pos = 0;
  while (tv_rx_next(&fl, rx, t.data(), (int32_t)t.size(), &pos, m)) {
    if (!r.empty()) r += " ";
    r += std::to_string(m[0]) + "-" + std::to_string(m[1]);
    for (int32_t g = 1; g <= tv_rx_groups(rx); g++)
      r += "(" + std::to_string(m[2 + 2 * g]) + "," + std::to_string(m[3 + 2 * g]) + ")";
  }
  return r;
}

void dash(uint32_t *flag, void *, const int32_t *, const uint32_t *, u32s *out) {
  u32s_push(flag, out, '-');
}

std::string sub(const tv_rx *rx, const std::string &text, tv_rx_replace_fn f = dash) {
  std::vector<uint32_t> t = U(text);
  uint32_t fl = 0;
  u32s out = {};
  tv_rx_sub(&fl, rx, t.data(), (int32_t)t.size(), f, nullptr, &out);
  std::string r = S(out);
  u32s_free(&out);
  return r;
}

std::vector<int32_t> split(const tv_rx *rx, const std::string &text) {
  std::vector<uint32_t> t = U(text);
  uint32_t fl = 0;
  tv_rx_spans sp = {};
  tv_rx_split(&fl, rx, t.data(), (int32_t)t.size(), &sp);
  std::vector<int32_t> r(sp.p, sp.p + 2 * sp.n);
  tv_rx_spans_free(&sp);
  return r;
}

TEST(RxCompile, RefusesWhatItDoesNotSupportWithTheExactMessage) {
  struct Case {
    const char *pattern;
    const char *detail;
  } cases[] = {
      {"(?P<name>x)", "unsupported group syntax"},
      {"(?i)abc", "unsupported group syntax"},
      {"a(?#note)", "unsupported group syntax"},
      {"(?<x)", "unsupported group syntax"},
      {"(?", "unsupported group syntax"},
      {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "too many groups"},
      {"(ab", "missing )"},
      {"(?:a|(b)", "missing )"},
      {"ab)", "unbalanced )"},
      {"a)b(", "unbalanced )"},
      {"ab\\", "trailing backslash"},
      {"\\x41", "unsupported escape"},
      {"\\0", "unsupported escape"},
      {"\\p{L}", "unsupported escape"},
      {"\\u00e9", "unsupported escape"},
      {"\\z", "unsupported escape"},
      {"[a\\", "bad escape"},
      {"[\\x41]", "unsupported escape"},
      {"[\\b]", "unsupported escape"},
      {"[\\1]", "unsupported escape"},
      {"[ab", "unterminated class"},
      {"[]", "unterminated class"},
      {"[^", "unterminated class"},
      {"[a-", "unterminated class"},
      {"[z-a]", "bad range"},
      {"[a-\\d]", "bad range"},
      {"(?<=ab|c)", "variable-width lookbehind"},
      {"(?<=a+)b", "variable-width lookbehind"},
      {"(?<!a{1,2})", "variable-width lookbehind"},
      {"(a)(?<=\\1)", "backref in lookbehind"},
      {"(a)(?<=(?:b\\1){2})", "backref in lookbehind"},
      {"\\1(a)", "invalid group reference"},
      {"(a)\\2", "invalid group reference"},
      {"a{3,2}", "min repeat greater than max repeat"},
      // A repeat needs something to repeat, and only one repeat per item.
      {"*a", "nothing to repeat"},
      {"a|+b", "nothing to repeat"},
      {"(*)", "nothing to repeat"},
      {"(?:?)", "nothing to repeat"},
      {"{2}a", "nothing to repeat"},
      {"{3,2}", "min repeat greater than max repeat"},
      {"^*", "nothing to repeat"},
      {"a$?", "nothing to repeat"},
      {"\\A+", "nothing to repeat"},
      {"\\Z{2}", "nothing to repeat"},
      {"\\b*", "nothing to repeat"},
      {"x\\B+", "nothing to repeat"},
      {"a**", "multiple repeat"},
      {"a***************", "multiple repeat"},
      {"a*?*", "multiple repeat"},
      {"a??+", "multiple repeat"},
      {"a{2}{3}", "multiple repeat"},
      {"a?{2}", "multiple repeat"},
      {"(ab)+?{,}", "multiple repeat"},
      {"[a]{2}?*", "multiple repeat"},
      {"(a)\\1**", "multiple repeat"},
      {"a*{3,2}", "min repeat greater than max repeat"},
      {"a*+", "unsupported possessive repeat"},
      {"a{2}+", "unsupported possessive repeat"},
      {"(?P<x>a)[z-a]", "unsupported group syntax"}, // only the first error
  };
  for (const Case &c : cases) {
    Rx r(c.pattern);
    EXPECT_EQ(r.rx, nullptr) << c.pattern;
    std::string want = std::string("tovantts front regex: ") + c.detail + " in " + c.pattern;
    EXPECT_EQ(std::string(tv_geterr()), want);
  }
  std::string deep;
  for (int i = 0; i < 100; i++) deep += "(?:";
  deep += std::string(100, ')');
  Rx r(deep.c_str());
  EXPECT_EQ(r.rx, nullptr);
  EXPECT_NE(strstr(tv_geterr(), "groups nested too deeply"), nullptr);
}

TEST(RxCompile, AcceptsTheDialectsLiteralForms) {
  struct Case {
    const char *pattern, *text, *matches;
  } cases[] = {
      {"a{2", "xa{2", "1-4"},         // an unfinished brace is literal
      {"a{,2}b", "b ab aab aaab", "0-1 2-4 5-8 10-13"},
      {"a{}", "a{}", "0-3"},
      {"]}", "]}", "0-2"},
      {"a{}*", "a{}}} a{", "0-5 6-8"},  // a brace that is no repeat is literal,
      {"a*{", "aa{ {", "0-3 4-5"},      // also right after a repeat
      {"^{", "{{", "0-1"},
      {"\\**", "**a", "0-2 2-2 3-3"},  // an escaped star is an atom
      {"(?=a)*a", "ba", "1-2"},         // a look-around may be repeated
      {"[]a]+", "]a]b", "0-3"},        // ] first in a class is a member
      {"[^]a]+", "]ab]c", "2-3 4-5"},
      {"[a-]+", "-a-b", "0-3"},        // - last in a class is a member
      {"[-a]+", "-a-b", "0-3"},
      {"[\\d-z]+", "1-z9y", "0-4"},    // - after a class escape is a member
      {"\\.\\$\\,\\é", ".$,é", "0-4"},  // other escaped characters stand for themselves
      {"\\a\\f\\n\\r\\t\\v", "\a\f\n\r\t\v", "0-6"},
      {"[\\n\\t]+", "a\n\tb", "1-3"},
  };
  for (const Case &c : cases) {
    Rx r(c.pattern);
    ASSERT_NE(r.rx, nullptr) << c.pattern << ": " << tv_geterr();
    EXPECT_EQ(all(r.rx, c.text), c.matches) << c.pattern;
  }
}

TEST(RxMatch, AnchorsAndBoundaries) {
  struct Case {
    const char *pattern, *text, *matches;
  } cases[] = {
      {"$", "a\n", "1-1 2-2"},   // before a final newline and at the end
      {"$", "a\nb", "3-3"},
      {"\\Z", "a\n", "2-2"},
      {"^a", "aa", "0-1"},       // only at position 0
      {"\\Aa", "aa", "0-1"},
      {"\\b", "ab c", "0-0 2-2 3-3 4-4"},
      {"\\B", "ab c", "1-1"},
      {"\\B", "", "0-0"},        // neither side is a word character
      {"\\bx\\b", "x xx x", "0-1 5-6"},
  };
  for (const Case &c : cases) {
    Rx r(c.pattern);
    ASSERT_NE(r.rx, nullptr) << c.pattern;
    EXPECT_EQ(all(r.rx, c.text), c.matches) << c.pattern << " on " << c.text;
  }
}

TEST(RxMatch, GroupsThatDidNotTakePartAreMinusOne) {
  Rx r("(a)|b");
  std::vector<uint32_t> t = U("b");
  uint32_t fl = 0;
  int32_t m[TV_RX_MREC];
  memset(m, 0x55, sizeof m);
  ASSERT_EQ(tv_rx_search(&fl, r.rx, t.data(), 1, 0, m), 1);
  EXPECT_EQ(std::vector<int32_t>(m, m + 6), (std::vector<int32_t>{0, 1, 0, 1, -1, -1}));
  EXPECT_EQ(m[6], 0x55555555); // 2 x groups + 4 values, no more
}

TEST(RxMatch, IgnoringCaseFoldsLiteralsClassesAndBackReferences) {
  const ucd *real = real_ucd();
  struct Case {
    const char *pattern, *text, *matches;
    bool real;
  } cases[] = {
      {"[A-Z]", "q", "0-1", false},
      {"k", "K", "0-1", false},
      {"[^a-z]+", "aB1", "2-3", false},
      {"(a)\\1", "aA", "0-2(0,1)", false},
      {"k", "\xE2\x84\xAA", "0-1", true},         // Kelvin sign
      {"[s]", "\xC5\xBF", "0-1", true},           // long s
      {"[\xC3\x89]", "\xC3\xA9", "0-1", true},    // a class member folds too
      {"\xCF\x83+", "\xCE\xA3\xCF\x82", "0-2", true},
  };
  for (const Case &c : cases) {
    if (c.real && !real) continue;
    Rx r(c.pattern, 1, c.real ? real : ascii_ucd());
    ASSERT_NE(r.rx, nullptr) << c.pattern;
    EXPECT_EQ(all(r.rx, c.text), c.matches) << c.pattern << " on " << c.text;
  }
  Rx cs("[A-Z]");
  EXPECT_EQ(all(cs.rx, "q"), "");
}

TEST(RxMatch, LookBehindNeedsRoomBeforeThePosition) {
  Rx r("(?<=ab)c");
  std::vector<uint32_t> t = U("abc");
  uint32_t fl = 0;
  int32_t m[TV_RX_MREC];
  Rx at("(?<=ab)");
  EXPECT_EQ(tv_rx_match_at(&fl, at.rx, t.data(), 3, 1, m), 0);
  EXPECT_EQ(tv_rx_match_at(&fl, at.rx, t.data(), 3, 2, m), 1);
  EXPECT_EQ(tv_rx_search(&fl, r.rx, t.data(), 3, 0, m), 1);
  EXPECT_EQ(m[0], 2);
  Rx neg("(?<!ab)c");
  EXPECT_EQ(all(neg.rx, "c abc xbc"), "0-1 8-9");
}

TEST(RxSub, ReplacesEveryMatchEmptyOnesIncluded) {
  struct Case {
    const char *pattern, *text, *want;
  } cases[] = {
      {"x*", "abxd", "-a-b--d-"},
      {"", "ab", "-a-b-"},
      {"b", "abcb", "a-c-"},
      {"z", "abc", "abc"},
      {"a|", "xa", "-x--"},
  };
  for (const Case &c : cases) {
    Rx r(c.pattern);
    EXPECT_EQ(sub(r.rx, c.text), c.want) << c.pattern << " on " << c.text;
  }
}

TEST(RxSplit, SplitsAtNonEmptyMatchesAndKeepsGroupSpans) {
  struct Case {
    const char *pattern, *text;
    std::vector<int32_t> want;
  } cases[] = {
      {",", "a,b,", {0, 1, 2, 3, 4, 4}},
      {"x*", "abc", {0, 3}},            // only empty matches: no split
      {"x*", "axbc", {0, 1, 2, 4}},
      {",", "", {0, 0}},
      {"(-)|(\\+)", "a-b+c", {0, 1, 1, 2, 0, 0, 2, 3, 0, 0, 3, 4, 4, 5}},
  };
  for (const Case &c : cases) {
    Rx r(c.pattern);
    EXPECT_EQ(split(r.rx, c.text), c.want) << c.pattern << " on " << c.text;
  }
}

TEST(RxSearch, BoundsOfStartAndIteration) {
  Rx empty("");
  Rx a("a");
  std::vector<uint32_t> t = U("aa");
  uint32_t fl = 0;
  int32_t m[TV_RX_MREC];
  EXPECT_EQ(tv_rx_search(&fl, a.rx, t.data(), 2, 3, m), 0);
  EXPECT_EQ(tv_rx_search(&fl, empty.rx, t.data(), 2, 2, m), 1);
  EXPECT_EQ(m[0], 2);
  EXPECT_EQ(tv_rx_search(&fl, a.rx, t.data(), 2, -5, m), 1);
  EXPECT_EQ(m[0], 0);
  EXPECT_EQ(tv_rx_match_at(&fl, a.rx, t.data(), 2, 3, m), 0);
  EXPECT_EQ(tv_rx_match_at(&fl, a.rx, t.data(), 2, -1, m), 0);
  int32_t pos = 2;
  EXPECT_EQ(tv_rx_next(&fl, empty.rx, t.data(), 2, &pos, m), 1);
  EXPECT_EQ(pos, 3); // one past an empty match
  EXPECT_EQ(tv_rx_next(&fl, empty.rx, t.data(), 2, &pos, m), 0);
  EXPECT_EQ(fl, 0u);
  // Once the flag is set nothing matches any more.
  fl = 1;
  pos = 0;
  EXPECT_EQ(tv_rx_search(&fl, a.rx, t.data(), 2, 0, m), 0);
  EXPECT_EQ(tv_rx_match_at(&fl, a.rx, t.data(), 2, 0, m), 0);
  EXPECT_EQ(tv_rx_next(&fl, a.rx, t.data(), 2, &pos, m), 0);
}

// A pattern that begins with a repeat of one character test (maybe after one
// test) is tried once per run of that character: the later starts of a run
// cannot match when its first did. The matches stay Python's.
TEST(RxSearch, ALeadingRunIsTriedOncePerRun) {
  struct Case {
    const char *pattern, *text, *matches;
    int flags;
  } cases[] = {
      {R"(\d+x)", "12 345x 6", "3-7", 0},
      {R"(\d+x)", "12345", "", 0},
      {R"(\d+5)", "12345", "0-5", 0},
      {R"(\d{3,}y)", "12y 345y 1234y", "4-8 9-14", 0},
      {R"((\d[\d,]*)%)", "1,2 3,4% 5", "4-8(4,7)", 0},
      {R"(x\d*y)", "x1x2y", "2-5", 0},
      {R"(a[ab]*c)", "abab ac", "5-7", 0},
      {R"(\d+(?<=9)x)", "18x 129x", "4-8", 0},
      {R"([a-z]+!)", "AB cD!", "3-6", 1},
      {R"((\d)\1+)", "12233", "1-3(1,2) 3-5(3,4)", 0}, // a back-reference: no skipping
  };
  for (const Case &c : cases) {
    Rx r(c.pattern, c.flags);
    ASSERT_NE(r.rx, nullptr) << c.pattern;
    EXPECT_EQ(all(r.rx, c.text), c.matches) << c.pattern << " on " << c.text;
  }
  // Over one long run every search is linear: a budget of a few steps per
  // character is enough where one try per start would need n * n / 2.
  const std::string run(20000, '7');
  const std::vector<uint32_t> t = U(run + " 8th");
  for (const char *p : {R"([0-9]+(st|nd|rd|th))", R"(([0-9]+\.[0-9]+))", R"((\d[\d,]*(?:\.\d+)?)\s?%)",
                        R"((\d+)\s*[x×]\s*(\d+))"}) {
    Rx r(p);
    tv_rx_set_step_limit(r.rx, 10 * (int64_t)t.size());
    uint32_t fl = 0;
    u32s out = {};
    tv_rx_sub(&fl, r.rx, t.data(), (int32_t)t.size(), nullptr, nullptr, &out);
    EXPECT_EQ(fl, 0u) << p;
    u32s_free(&out);
  }
}

TEST(RxBudget, CatastrophicBacktrackingFailsThroughTheFlag) {
  Rx r("(a+)+b");
  std::vector<uint32_t> t(60, 'a');
  uint32_t fl = 0;
  int32_t m[TV_RX_MREC];
  EXPECT_EQ(tv_rx_search(&fl, r.rx, t.data(), (int32_t)t.size(), 0, m), 0);
  EXPECT_EQ(fl, 1u);
  EXPECT_STREQ(tv_geterr(), TV_RX_LIMIT_MSG);
  // The same pattern is fine where it has little to try.
  fl = 0;
  t.back() = 'b';
  EXPECT_EQ(tv_rx_search(&fl, r.rx, t.data(), (int32_t)t.size(), 0, m), 1);
  EXPECT_EQ(fl, 0u);
}

TEST(RxBudget, APatternsOwnStepLimitBoundsEveryOperation) {
  Rx r("(a+)+b");
  std::vector<uint32_t> t(16, 'a');
  const int32_t n = (int32_t)t.size();
  int32_t m[TV_RX_MREC];
  uint32_t fl = 0;
  // Within the library's limit the search runs to its end and finds nothing.
  EXPECT_EQ(tv_rx_search(&fl, r.rx, t.data(), n, 0, m), 0);
  EXPECT_EQ(fl, 0u);
  tv_rx_set_step_limit(r.rx, 1000);
  using Op = void (*)(uint32_t *, const tv_rx *, const std::vector<uint32_t> &);
  const Op ops[] = {
      [](uint32_t *f, const tv_rx *rx, const std::vector<uint32_t> &s) {
        int32_t mm[TV_RX_MREC];
        EXPECT_EQ(tv_rx_search(f, rx, s.data(), (int32_t)s.size(), 0, mm), 0);
      },
      [](uint32_t *f, const tv_rx *rx, const std::vector<uint32_t> &s) {
        int32_t mm[TV_RX_MREC];
        EXPECT_EQ(tv_rx_match_at(f, rx, s.data(), (int32_t)s.size(), 0, mm), 0);
      },
      [](uint32_t *f, const tv_rx *rx, const std::vector<uint32_t> &s) {
        int32_t mm[TV_RX_MREC], pos = 0;
        EXPECT_EQ(tv_rx_next(f, rx, s.data(), (int32_t)s.size(), &pos, mm), 0);
      },
      [](uint32_t *f, const tv_rx *rx, const std::vector<uint32_t> &s) {
        u32s out = {};
        tv_rx_sub(f, rx, s.data(), (int32_t)s.size(), nullptr, nullptr, &out);
        u32s_free(&out);
      },
      [](uint32_t *f, const tv_rx *rx, const std::vector<uint32_t> &s) {
        tv_rx_spans sp = {};
        tv_rx_split(f, rx, s.data(), (int32_t)s.size(), &sp);
        tv_rx_spans_free(&sp);
      },
  };
  for (size_t i = 0; i < sizeof ops / sizeof ops[0]; i++) {
    fl = 0;
    tv_seterr("none");
    ops[i](&fl, r.rx, t);
    EXPECT_EQ(fl, 1u) << "operation " << i;
    EXPECT_STREQ(tv_geterr(), TV_RX_LIMIT_MSG) << "operation " << i;
  }
  // The limit is per operation: a cheap one succeeds again and again.
  Rx cheap("ab");
  tv_rx_set_step_limit(cheap.rx, 50);
  const std::vector<uint32_t> s{'x', 'x', 'a', 'b'};
  for (int i = 0; i < 5; i++) {
    fl = 0;
    ASSERT_EQ(tv_rx_search(&fl, cheap.rx, s.data(), 4, 0, m), 1) << "search " << i;
    EXPECT_EQ(fl, 0u);
    EXPECT_EQ(m[0], 2);
  }
  // A limit below one step is one step: nothing completes.
  tv_rx_set_step_limit(cheap.rx, -5);
  fl = 0;
  EXPECT_EQ(tv_rx_search(&fl, cheap.rx, s.data(), 4, 0, m), 0);
  EXPECT_EQ(fl, 1u);
}

// ------------------------------------------------------------ stack bound

std::vector<std::vector<uint32_t>> adversarial_inputs() {
  const char *units[] = {"a",  "A",    "1",   " ",   ".",  "a.",  "1,", "1.", "a-", "<",
                         "[",  "*",    "$1",  "e.g. ", "Dr. ", "\n", "1:", "a@", "-", "'",
                         "aA", "1 ", "<a ", "[a ", "*a", "Chapter I", "1.2.", "12:3", "&"};
  std::vector<std::vector<uint32_t>> v;
  for (const char *u : units) {
    std::string s;
    while (s.size() < 5000) s += u;
    s.resize(5000);
    v.push_back(U(s));
  }
  std::mt19937 rng(7);
  const std::string pool = "aA1 .,-:@<>[]*$\xC2\xA3\xC2\xB0/x&~%'\"\n=s_";
  std::vector<uint32_t> cps = U(pool);
  for (int k = 0; k < 4; k++) {
    std::vector<uint32_t> t(5000);
    for (uint32_t &c : t) c = cps[rng() % cps.size()];
    v.push_back(t);
  }
  return v;
}

struct StackJob {
  std::vector<tv_rx *> rx;
  std::vector<std::vector<uint32_t>> inputs;
  int failures = 0;
  std::string first_failure;
};

void mark(uint32_t *flag, void *, const int32_t *m, const uint32_t *text, u32s *out) {
  rxm_put(flag, out, m, text, 0);
}

void *run_job(void *arg) {
  StackJob *j = (StackJob *)arg;
  for (size_t p = 0; p < j->rx.size(); p++) {
    for (const std::vector<uint32_t> &t : j->inputs) {
      uint32_t fl = 0;
      u32s out = {};
      tv_rx_sub(&fl, j->rx[p], t.data(), (int32_t)t.size(), mark, nullptr, &out);
      tv_rx_spans sp = {};
      tv_rx_split(&fl, j->rx[p], t.data(), (int32_t)t.size(), &sp);
      if (fl || out.n != (int32_t)t.size()) {
        if (!j->failures++) j->first_failure = kFrontPatterns[p].pattern + std::string(": ") + tv_geterr();
      }
      u32s_free(&out);
      tv_rx_spans_free(&sp);
    }
  }
  return nullptr;
}

TEST(RxStack, FrontEndPatternsOnLongAdversarialInputRunOnASmallStack) {
  const ucd *u = real_ucd();
  if (!u) u = ascii_ucd();
  StackJob job;
  for (const FrontPattern &p : kFrontPatterns) {
    job.rx.push_back(tv_rx_compile(u, p.pattern, p.flags));
    ASSERT_NE(job.rx.back(), nullptr) << p.pattern << ": " << tv_geterr();
  }
  job.inputs = adversarial_inputs();
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  // Small for a thread, yet enough for gtest-free code under the sanitizers.
  pthread_attr_setstacksize(&attr, 128 * 1024);
  pthread_t th;
  ASSERT_EQ(pthread_create(&th, &attr, run_job, &job), 0);
  pthread_join(th, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(job.failures, 0) << job.first_failure;
  for (tv_rx *r : job.rx) tv_rx_free(r);
}

TEST(RxStack, PatternListMatchesTheDifferentialData) {
  std::ifstream in(data_path("rx_expect.txt"));
  ASSERT_TRUE(in);
  std::vector<std::string> listed;
  std::string line;
  while (std::getline(in, line)) {
    int flags, groups, longest;
    char buf[4096];
    if (line.rfind("P ", 0) == 0 && sscanf(line.c_str(), "P %d %d %d %4095[^\n]", &flags, &groups,
                                           &longest, buf) == 4 && longest < 0) {
      std::string p;
      for (const char *c = buf; *c; c++) {
        if (*c == '\\' && c[1]) c++;
        p += *c;
      }
      listed.push_back(p);
    }
  }
  std::vector<std::string> here;
  for (const FrontPattern &p : kFrontPatterns) here.push_back(p.pattern);
  EXPECT_EQ(here, listed);
}

} // namespace
