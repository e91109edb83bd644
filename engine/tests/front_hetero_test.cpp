// Heteronyms: hetero.tsv, the context features and the choice.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "front/hetero.h"
#include "front_fixture.h"

using tovan::test::TempDir;

namespace {

struct Tables {
  tv_hetero t = {};
  int rc = -1;
  Tables(const tv_front *f, const std::string &text) {
    TempDir d;
    std::string path = d.write("hetero.tsv", text);
    rc = het_load(&t, path.c_str(), f->sym, f->sym_sorted);
  }
  ~Tables() { het_free(&t); }
  // The ids chosen for token i of a blank-separated token list, as names.
  std::string choose(const tv_front *f, const std::string &tokens, int32_t i) {
    std::vector<std::string> toks;
    size_t a = 0;
    for (size_t k = 0; k <= tokens.size(); k++)
      if (k == tokens.size() || tokens[k] == ' ') {
        toks.push_back(tokens.substr(a, k - a));
        a = k + 1;
      }
    std::vector<const char *> p;
    std::vector<int32_t> n;
    for (auto &s : toks) p.push_back(s.c_str()), n.push_back((int32_t)s.size());
    const het_word *h = het_find(&t, p[(size_t)i], n[(size_t)i]);
    if (!h) return "not a heteronym";
    uint32_t fl = 0;
    uint8_t ids[64];
    int32_t k = het_choose(&fl, &t, h, p.data(), n.data(), (int32_t)p.size(), i, ids);
    std::string s;
    for (int32_t j = 0; j < k; j++) s += (j ? " " : "") + std::string(tv_front_symbol(f, ids[j]));
    return s;
  }
};

const char *const kWord = "H\tlead\tL IY1 D\tL EH1 D\tnv\n";

} // namespace

TEST(Hetero, RefusesBadLines) {
  NEED_DEV_FRONT(f);
  struct Case {
    const char *text;
    bool ok;
  } cases[] = {
      {"", true},
      {"\n\nH\tlead\tL IY1 D\tL EH1 D\tnv\n\n", true},
      {"H\tlead\tL IY1 D\tL EH1 D\tnv\r\nT\tthe\tDT\r\n", true}, // CR LF line ends
      {"N\n", true},
      {"N\twhatever\tfields\n", true},
      {"W\tb\t-12\n", true},
      {"H\tlead\t\tL EH1 D\tnv\n", true}, // an empty pronunciation
      {"# comment\n", false},
      {"X\tfoo\tbar\n", false},
      {"HH\tlead\tL IY1 D\tL EH1 D\tnv\n", false},
      {"\tlead\n", false},
      {"H\tlead\tL IY1 D\tL EH1 D\n", false},
      {"H\tlead\tL IY1 D\tL EH1 D\tnv\textra\n", false},
      {"H\tlead\tL IY D\tL EH1 D\tnv\n", false}, // IY without its stress is no symbol
      {"T\tthe\n", false},
      {"T\tthe\tDT\tx\n", false},
      {"W\tb\n", false},
      {"W\tb\tten\n", false},
      {"W\tb\t1.5\n", false},
      {"W\tb\t99999999999\n", false},
      {"W\tb\t\n", false},
  };
  for (const Case &c : cases) {
    Tables t(f, c.text);
    EXPECT_EQ(t.rc, c.ok ? 0 : -1) << c.text;
    if (!c.ok) {
      EXPECT_STREQ(tv_geterr(), "tovantts front: bad hetero.tsv line") << c.text;
    }
  }
  tv_hetero h;
  EXPECT_EQ(het_load(&h, "/nonexistent/hetero.tsv", f->sym, f->sym_sorted), -1);
  EXPECT_STREQ(tv_geterr(), "tovantts front: cannot open /nonexistent/hetero.tsv");
}

TEST(Hetero, ScoresDecideTheReading) {
  NEED_DEV_FRONT(f);
  struct Case {
    std::string file, tokens;
    int32_t at;
    const char *expect;
  } cases[] = {
      {kWord, "the lead pipe", 1, "L EH1 D"},                                 // no weights: B
      {std::string(kWord) + "W\tw:lead|b\t1\n", "the lead pipe", 1, "L IY1 D"}, // a score of 1: A
      {std::string(kWord) + "W\tw:lead|b\t1\nW\tg:nv|n1=pipe\t-1\n", "the lead pipe", 1, "L EH1 D"},
      {std::string(kWord) + "W\tw:lead|b\t1\nW\tw:lead|b\t-1\n", "lead", 0, "L EH1 D"}, // the last line wins
      {std::string(kWord) + "H\tlead\tB\tD\tnv\n", "lead", 0, "D"},
      {std::string(kWord) + "W\tw:lead|p1=<s>\t1\nW\tw:lead|p2=<s>\t1\n", "lead on", 0, "L IY1 D"},
      {std::string(kWord) + "W\tw:lead|n1=</s>\t1\nW\tw:lead|n2s=</s>\t1\n", "get the lead", 2, "L IY1 D"},
      {std::string(kWord) + "W\tw:lead|p1n1=the_.\t1\n", "the lead .", 1, "L IY1 D"},
      {std::string(kWord) + "W\tw:lead|p2p1=to_the\t1\n", "to the lead", 2, "L IY1 D"},
      {std::string(kWord) + "W\tw:lead|p1s=er\t1\n", "golder lead", 1, "L IY1 D"},
      {std::string(kWord) + "W\tw:lead|p1s=ox\t1\n", "ox lead", 1, "L IY1 D"}, // short words are their own suffix
      // tag features: a tag record, "P" for punctuation, "U" and the ending
      {std::string(kWord) + "T\tthe\tDT\nW\tg:nv|p1t=DT\t1\n", "the lead", 1, "L IY1 D"},
      {std::string(kWord) + "W\tg:nv|p1t=P\t1\n", ", lead", 1, "L IY1 D"},
      {std::string(kWord) + "W\tg:nv|n1t=Uen\t1\nW\tg:nv|p1tn1t=<s>_Uen\t1\n", "lead pen", 0, "L IY1 D"},
      {std::string(kWord) + "W\tg:nv|n1t=Uup\t1\n", "lead up", 0, "L IY1 D"},
      {std::string(kWord) + "W\tg:nv|p1n1t=to_Uhe\t1\nW\tg:nv|p1tn1=Uto_the\t-1\n", "to lead the", 1, "L EH1 D"},
      // without tag features the same weights count for nothing
      {std::string(kWord) + "W\tg:nv|p1t=P\t1\nN\n", ", lead", 1, "L EH1 D"},
  };
  for (const Case &c : cases) {
    Tables t(f, c.file);
    ASSERT_EQ(t.rc, 0) << c.file;
    EXPECT_EQ(t.choose(f, c.tokens, c.at), c.expect) << c.file << " / " << c.tokens;
  }
}

TEST(Hetero, TagsOfContextWords) {
  NEED_DEV_FRONT(f);
  Tables t(f, "T\tthe\tDT\nT\tthe\tXX\n");
  ASSERT_EQ(t.rc, 0);
  struct Case {
    const char *word, *tag;
  } cases[] = {{"the", "XX"}, {"<s>", "<s>"}, {"</s>", "</s>"}, {",", "P"},   {"42", "P"},
               {"hello", "Ulo"}, {"hi", "Uhi"}, {"a", "Ua"}, {"r2d2", "Ud2"}};
  for (const Case &c : cases) {
    uint32_t fl = 0;
    sb b = {};
    het_tag(&fl, &t.t, c.word, (int32_t)strlen(c.word), &b);
    EXPECT_STREQ(sb_cstr(&b), c.tag) << c.word;
    sb_free(&b);
  }
}

TEST(Hetero, RealTableReadsBothWays) {
  NEED_DEV_FRONT(f);
  struct Case {
    const char *text, *word, *reading;
  } cases[] = {
      {"I will record the show.", "record", "R AH0 K AO1 R D"},
      {"The record was broken.", "record", "R EH1 K ER0 D"},
      {"They refuse to pay.", "refuse", "R AH0 F Y UW1 Z"},
      {"Take out the refuse.", "refuse", "R EH1 F Y UW1 S"},
      {"Please close the door.", "close", "K L OW1 Z"},
      {"We are close to home.", "close", "K L OW1 S"},
      {"I live here.", "live", "L IH1 V"},
      {"We watched the live show.", "live", "L AY1 V"},
      {"She does her best.", "does", "D AH1 Z"},
      {"They present a plan.", "present", "P R IY0 Z EH1 N T"},
      {"At present it rains.", "present", "P R EH1 Z AH0 N T"},
      {"I have read it.", "read", "R EH1 D"},
      {"I like to read.", "read", "R IY1 D"},
  };
  for (const Case &c : cases) {
    std::string p = phonemes(f, c.text);
    // The word's own symbols: the entries of the word index of `word`.
    int32_t idx = -1;
    {
      std::string t = c.text;
      for (char &ch : t) ch = (char)tolower((unsigned char)ch);
      std::string key = std::string(" ") + c.word;
      size_t at = (" " + t).find(key);
      for (size_t k = 0; k < at; k++)
        if (t[k] == ' ') idx++;
      idx++;
    }
    std::string suffix = ":" + std::to_string(idx), got;
    size_t a = 0;
    while (a < p.size()) {
      size_t e = p.find(' ', a);
      if (e == std::string::npos) e = p.size();
      std::string tok = p.substr(a, e - a);
      if (tok.size() > suffix.size() && tok.compare(tok.size() - suffix.size(), suffix.size(), suffix) == 0)
        got += (got.empty() ? "" : " ") + tok.substr(0, tok.size() - suffix.size());
      a = e + 1;
    }
    EXPECT_EQ(got, c.reading) << c.text << "\n" << p;
  }
}
