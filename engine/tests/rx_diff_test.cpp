// The engine's regex against Python's re: every pattern of the front end, and
// patterns for each feature, over a corpus of sample texts. The expected
// results come from data/make_rx_expect.py (committed with its output).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "front/rx.h"
#include "front_util.h"

namespace {

std::string unesc(const std::string &s) {
  std::string o;
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      o += s[i];
      continue;
    }
    char c = s[++i];
    o += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
  }
  return o;
}

std::vector<int32_t> ints(const std::string &s) {
  std::vector<int32_t> v;
  std::istringstream in(s);
  int32_t x;
  while (in >> x) v.push_back(x);
  return v;
}

// The replacement the script uses: <whole|g1|g2...>, "~" for a group that
// did not take part.
void mark(uint32_t *flag, void *ctx, const int32_t *m, const uint32_t *text, u32s *out) {
  int32_t groups = *(int32_t *)ctx;
  u32s_push(flag, out, '<');
  rxm_put(flag, out, m, text, 0);
  for (int32_t g = 1; g <= groups; g++) {
    u32s_push(flag, out, '|');
    if (m[2 + 2 * g] < 0) u32s_push(flag, out, '~');
    else rxm_put(flag, out, m, text, g);
  }
  u32s_push(flag, out, '>');
}

std::vector<int32_t> record(const int32_t *m, int32_t groups) {
  std::vector<int32_t> v{m[0], m[1]};
  for (int32_t g = 1; g <= groups; g++) v.push_back(m[2 + 2 * g]), v.push_back(m[3 + 2 * g]);
  return v;
}

struct Checker {
  const ucd *u = nullptr;
  std::vector<std::vector<uint32_t>> texts;
  tv_rx *rx = nullptr;
  std::string pattern;
  int32_t groups = 0;
  int32_t longest = -1; // texts longer than this are not covered
  int checked = 0;
  std::vector<bool> seen;

  ~Checker() { tv_rx_free(rx); }

  void pattern_line(const std::string &rest) {
    check_unmatched();
    std::istringstream in(rest);
    int32_t flags;
    in >> flags >> groups >> longest;
    std::getline(in, pattern);
    pattern = unesc(pattern.substr(1));
    tv_rx_free(rx);
    rx = tv_rx_compile(u, pattern.c_str(), flags);
    ASSERT_NE(rx, nullptr) << pattern << ": " << tv_geterr();
    ASSERT_EQ(tv_rx_groups(rx), groups) << pattern;
    seen.assign(texts.size(), false);
  }

  // Texts without a line for this pattern have no match at all.
  void check_unmatched() {
    if (!rx) return;
    for (size_t i = 0; i < texts.size(); i++) {
      const std::vector<uint32_t> &t = texts[i];
      if (seen[i] || (longest >= 0 && (int32_t)t.size() > longest)) continue;
      uint32_t fl = 0;
      int32_t m[TV_RX_MREC], pos = 0;
      EXPECT_EQ(tv_rx_next(&fl, rx, t.data(), (int32_t)t.size(), &pos, m), 0)
          << pattern << " on text " << i << " at " << m[0];
      EXPECT_EQ(fl, 0u);
    }
  }

  void matches(size_t ti, const std::vector<int32_t> &want) {
    seen[ti] = true;
    const std::vector<uint32_t> &t = texts[ti];
    std::vector<int32_t> got;
    uint32_t fl = 0;
    int32_t m[TV_RX_MREC], pos = 0;
    while (tv_rx_next(&fl, rx, t.data(), (int32_t)t.size(), &pos, m)) {
      std::vector<int32_t> r = record(m, groups);
      got.insert(got.end(), r.begin(), r.end());
      EXPECT_EQ(m[2], m[0]);
      EXPECT_EQ(m[3], m[1]);
    }
    EXPECT_EQ(fl, 0u) << tv_geterr();
    EXPECT_EQ(got, want) << pattern << " on text " << ti << ": " << S(t.data(), (int32_t)t.size());
    checked++;
  }

  void anchored(size_t ti, const std::string &rest) {
    const std::vector<uint32_t> &t = texts[ti];
    std::istringstream in(rest);
    int32_t pos;
    in >> pos;
    std::string tail;
    std::getline(in, tail);
    uint32_t fl = 0;
    int32_t m[TV_RX_MREC];
    int r = tv_rx_match_at(&fl, rx, t.data(), (int32_t)t.size(), pos, m);
    if (tail == " -") {
      EXPECT_EQ(r, 0) << pattern << " anchored at " << pos << " of text " << ti;
    } else {
      ASSERT_EQ(r, 1) << pattern << " anchored at " << pos << " of text " << ti;
      EXPECT_EQ(record(m, groups), ints(tail)) << pattern << " anchored at " << pos;
    }
  }

  void substitution(size_t ti, const std::string &want) {
    const std::vector<uint32_t> &t = texts[ti];
    uint32_t fl = 0;
    u32s out = {};
    tv_rx_sub(&fl, rx, t.data(), (int32_t)t.size(), mark, &groups, &out);
    EXPECT_EQ(fl, 0u);
    EXPECT_EQ(S(out), want) << pattern << " on text " << ti;
    u32s_free(&out);
  }

  void split(size_t ti, const std::vector<int32_t> &want) {
    const std::vector<uint32_t> &t = texts[ti];
    uint32_t fl = 0;
    tv_rx_spans sp = {};
    tv_rx_split(&fl, rx, t.data(), (int32_t)t.size(), &sp);
    EXPECT_EQ(fl, 0u);
    std::vector<int32_t> got(sp.p, sp.p + 2 * sp.n);
    EXPECT_EQ(got, want) << pattern << " split on text " << ti;
    tv_rx_spans_free(&sp);
  }
};

// Runs every line of one expectation file; the counts say how much it checked.
void check_file(const ucd *u, const char *name, int *patterns, int *checked) {
  std::ifstream in(data_path(name));
  ASSERT_TRUE(in) << data_path(name);
  Checker c;
  c.u = u;
  std::string line;
  size_t text = 0;
  *patterns = 0;
  while (std::getline(in, line)) {
    if (line.size() < 2 || line[0] == '#') continue;
    std::string rest = line.substr(2);
    switch (line[0]) {
    case 'T': c.texts.push_back(U(unesc(rest))); break;
    case 'P':
      c.pattern_line(rest);
      (*patterns)++;
      break;
    case 'M': {
      std::istringstream s(rest);
      s >> text;
      std::string tail;
      std::getline(s, tail);
      c.matches(text, ints(tail));
      break;
    }
    case 'A': c.anchored(text, rest); break;
    case 'S': c.substitution(text, unesc(rest)); break;
    case 'L': c.split(text, ints(rest)); break;
    }
    if (::testing::Test::HasFatalFailure()) return;
  }
  c.check_unmatched();
  *checked = c.checked;
}

TEST(RxDiff, AgreesWithPythonOnFrontEndPatternsAndFeatures) {
  const ucd *u = real_ucd();
  if (!u) GTEST_SKIP() << "no Unicode database in /usr/share/unicode";
  int patterns = 0, checked = 0;
  check_file(u, "rx_expect.txt", &patterns, &checked);
  EXPECT_GT(patterns, 100);
  EXPECT_GT(checked, 1000);
}

// Generated patterns that begin with a run of one character test, over texts
// made of runs: a search that skips the later starts of a run must still
// find every match Python finds (data/make_rx_lead_expect.py).
TEST(RxDiff, AgreesWithPythonOnPatternsThatBeginWithARun) {
  const ucd *u = real_ucd();
  if (!u) GTEST_SKIP() << "no Unicode database in /usr/share/unicode";
  int patterns = 0, checked = 0;
  check_file(u, "rx_lead_expect.txt", &patterns, &checked);
  EXPECT_GE(patterns, 400);
  EXPECT_GT(checked, 2000);
}

} // namespace
