// Grapheme-to-phoneme conversion on hand-made assets: the lexicon and model
// files, the lookup order, the predictor and its cache.
#include <gtest/gtest.h>
#include <string.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "front/g2p.h"
#include "front_fixture.h"
#include "front_util.h"

using tovan::test::TempDir;

namespace {

void set32(std::string &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + (size_t)i] = (char)((v >> (8 * i)) & 0xFF);
}

std::string lex_message(const TempDir &d, const std::string &bytes) {
  std::string path = d.write("lex.bin", bytes);
  tv_lexicon lx;
  if (lex_load(&lx, path.c_str()) == 0) {
    lex_free(&lx);
    return "loaded";
  }
  std::string m = tv_geterr();
  size_t at = m.find(path);
  return at == std::string::npos ? m : m.replace(at, path.size(), "PATH");
}

std::string gru_message(const TempDir &d, const std::string &bytes) {
  std::string path = d.write("gru.bin", bytes);
  tv_gru m;
  if (gru_load(&m, path.c_str()) == 0) {
    gru_free(&m);
    return "loaded";
  }
  return tv_geterr();
}

std::vector<tv_lex_entry> two_words() {
  return {{"hello", HandAssets::ids("HH AH0 L OW1")}, {"hell", HandAssets::ids("HH EH1 L")}};
}

// The ids g2p_call gives, as names with "|" between tokens.
std::string g2p(const tv_front *f, const std::string &text) {
  uint32_t fl = 0;
  auto t = U(text);
  int32_t *ids = NULL, n = 0;
  g2p_call(&fl, &f->g2p, t.data(), (int32_t)t.size(), &ids, &n);
  if (fl) return "!" + std::string(tv_geterr());
  std::string s;
  for (int32_t i = 0; i < n; i++) {
    if (i) s += ' ';
    s += ids[i] < 0 ? "|" : tv_front_symbol(f, ids[i]);
  }
  free(ids);
  return s;
}

} // namespace

TEST(Lexicon, RefusesBadFiles) {
  TempDir d;
  const std::string good = tv_lexicon_bytes(two_words());
  ASSERT_EQ(lex_message(d, good), "loaded");
  struct Case {
    const char *what;
    std::string bytes;
    const char *message;
  };
  std::vector<Case> cases = {
      {"short", good.substr(0, 19), "tovantts front: bad lexicon PATH"},
      {"magic", "TVLY" + good.substr(4), "tovantts front: bad lexicon PATH"},
      {"version", [&] { auto b = good; set32(b, 4, 2); return b; }(), "tovantts front: bad lexicon version"},
      {"entries beyond the file", [&] { auto b = good; set32(b, 8, 1000); return b; }(),
       "tovantts front: truncated asset"},
      {"blob beyond the file", [&] { auto b = good; set32(b, 12, 0xFFFFFFF0u); return b; }(),
       "tovantts front: truncated asset"},
      // The key offsets of two entries are at 20, 24, 28; the value offsets follow.
      {"decreasing key offsets", [&] { auto b = good; set32(b, 24, 7); set32(b, 28, 3); return b; }(),
       "tovantts front: bad lexicon PATH"},
      {"last key offset beyond K", [&] { auto b = good; set32(b, 28, 10); return b; }(),
       "tovantts front: bad lexicon PATH"},
      {"last value offset beyond V", [&] { auto b = good; set32(b, 40, 8); return b; }(),
       "tovantts front: bad lexicon PATH"},
      {"a value outside the symbol table", [&] { auto b = good; b[b.size() - 1] = (char)118; return b; }(),
       "tovantts front: bad lexicon PATH"},
  };
  for (const Case &c : cases) EXPECT_EQ(lex_message(d, c.bytes), c.message) << c.what;
  // Every cut of a good file is refused.
  for (size_t n = 0; n < good.size(); n++) {
    std::string m = lex_message(d, good.substr(0, n));
    EXPECT_TRUE(m == "tovantts front: truncated asset" || m == "tovantts front: bad lexicon PATH") << n << ": " << m;
  }
  tv_lexicon lx;
  std::string missing = d.file("none.bin");
  EXPECT_EQ(lex_load(&lx, missing.c_str()), -1);
  EXPECT_EQ(std::string(tv_geterr()), "tovantts front: cannot open " + missing);
}

TEST(Lexicon, FindsKeysThatPrefixEachOther) {
  TempDir d;
  std::vector<tv_lex_entry> e = two_words();
  e.push_back({"he", HandAssets::ids("HH IY1")});
  e.push_back({"a", {}});
  std::string path = d.write("lex.bin", tv_lexicon_bytes(e));
  tv_lexicon lx;
  ASSERT_EQ(lex_load(&lx, path.c_str()), 0);
  struct Case {
    const char *key;
    int32_t len; // -1: absent
  } cases[] = {{"he", 2}, {"hell", 3}, {"hello", 4}, {"a", 0}, {"h", -1}, {"helloo", -1}, {"", -1}, {"zz", -1}};
  for (const Case &c : cases) {
    int32_t vl = -5;
    const uint8_t *v = lex_find(&lx, c.key, (int32_t)strlen(c.key), &vl);
    EXPECT_EQ(v ? vl : -1, c.len) << c.key;
  }
  lex_free(&lx);
}

TEST(Predictor, RefusesBadFiles) {
  TempDir d;
  const std::string good = tv_gru_bytes(1, tv_symbol_ids("AH1 M"));
  ASSERT_EQ(gru_message(d, good), "loaded");
  auto with = [&](size_t at, uint32_t v) {
    auto b = good;
    set32(b, at, v);
    return b;
  };
  struct Case {
    std::string bytes;
    const char *message;
  } cases[] = {
      {good.substr(0, 19), "tovantts front: bad gru.bin"},
      {"TVGX" + good.substr(4), "tovantts front: bad gru.bin"},
      {with(4, 2), "tovantts front: bad gru.bin version"},
      {with(8, 48), "tovantts front: unsupported GRU size"},
      {with(8, 544), "tovantts front: unsupported GRU size"},
      {with(8, 0), "tovantts front: unsupported GRU size"},
      {with(12, 2), "tovantts front: unsupported GRU size"},
      {with(12, 4097), "tovantts front: unsupported GRU size"},
      {with(16, 3), "tovantts front: unsupported GRU size"},
      {with(8, 512), "tovantts front: truncated asset"}, // sizes the file does not hold
      {with(12, 4096), "tovantts front: truncated asset"},
  };
  for (const Case &c : cases) EXPECT_EQ(gru_message(d, c.bytes), c.message);
  for (size_t n = 20; n < good.size(); n += 97)
    EXPECT_EQ(gru_message(d, good.substr(0, n)), "tovantts front: truncated asset") << n;
  EXPECT_EQ(gru_message(d, good + "trailing bytes are ignored"), "loaded");
}

TEST(Predictor, SpellsItsFixedPronunciation) {
  TempDir d;
  struct Case {
    const char *symbols;
    int32_t expect; // outputs before mapping
  } cases[] = {{"AH1 M", 2}, {"", 0}, {"B", 1},
               {"AA0 AA1 AA2 AE0 AE1 AE2 AH0 AH1 AH2 AO0 AO1 AO2 AW0 AW1 AW2 AY0 AY1 AY2 B CH D DH EH0 EH1 EH2", 20}};
  for (const Case &c : cases) {
    std::vector<int32_t> syms = tv_symbol_ids(c.symbols);
    std::string path = d.write("gru.bin", tv_gru_bytes(9, syms));
    tv_gru m;
    ASSERT_EQ(gru_load(&m, path.c_str()), 0);
    for (const char *w : {"zxqv", "a", "", "supercalifragilistic", "r2-d2", "\xc3\xa9t\xc3\xa9"}) {
      int32_t out[G2P_MAX_PREDICT];
      int32_t n = gru_run(&m, w, (int32_t)strlen(w), out);
      ASSERT_EQ(n, c.expect) << c.symbols << " / " << w;
      for (int32_t i = 0; i < n; i++) EXPECT_EQ(m.map[out[i]], syms[(size_t)i]);
    }
    gru_free(&m);
  }
}

TEST(G2p, LooksTokensUpInOrder) {
  HandAssets a;
  a.lexicon = {{"hello", HandAssets::ids("HH AH0 L OW1")},
               {"both", HandAssets::ids("B OW1 TH")},
               {"blank", {}},
               {"that", HandAssets::ids("DH AE1 T")},
               {"is", HandAssets::ids("IH1 Z")}};
  a.oov = {{"both", HandAssets::ids("Z")}, {"gone", {}}, {"oovword", HandAssets::ids("UW1")}};
  a.hetero = "H\thello\tY EH1 S\tN OW1\tg\n";
  tv_front *f = a.load();
  ASSERT_NE(f, nullptr) << tv_geterr();
  struct Case {
    const char *text, *ids;
  } cases[] = {
      {"hello", "N OW1"},                    // a heteronym comes before the lexicon
      {"both oovword", "B OW1 TH | UW1"},    // lexicon, then the other lexicon
      {"gone", ""},                          // an empty value there: no ids
      {"blank", "AH1 M"},                    // an empty value in the lexicon: predicted
      {"zzz", "AH1 M"},                      // unknown: predicted
      {"Both, BOTH!", "B OW1 TH | , | B OW1 TH | !"},
      {"a... b", "AH1 M | | AH1 M"},        // a run of dots gives no ids but a separator
      {"so!!!!!!", "AH1 M | ! | ! | !"},     // runs of four or more shrink to three
      {"I.E. hello", "DH AE1 T | IH1 Z | N OW1"}, // "i.e." (after cleaning) is "that is"
      {"", ""},
  };
  for (const Case &c : cases) EXPECT_EQ(g2p(f, c.text), c.ids) << c.text;
  EXPECT_EQ(g2p_in_cmu(&f->g2p, "both"), 1);
  EXPECT_EQ(g2p_in_cmu(&f->g2p, "gone"), 0);
  EXPECT_EQ(g2p_in_cmu(&f->g2p, "b\xc3\xb6th"), 0);
  tv_front_free(f);
}

TEST(G2p, PredictsEachTokenOnce) {
  HandAssets a;
  tv_front *f = a.load();
  ASSERT_NE(f, nullptr) << tv_geterr();
  const g2p_cache *c = f->g2p.cache;
  EXPECT_EQ(g2p(f, "zork zork zork blip zork"), "AH1 M | AH1 M | AH1 M | AH1 M | AH1 M");
  EXPECT_EQ(c->runs, 2u);
  EXPECT_EQ(c->entries, 2);
  EXPECT_EQ(g2p(f, "blip zork"), "AH1 M | AH1 M");
  EXPECT_EQ(c->runs, 2u);
  tv_front_free(f);
}

TEST(G2p, CacheEmptiesWhenFull) {
  HandAssets a;
  tv_front *f = a.load();
  ASSERT_NE(f, nullptr) << tv_geterr();
  int32_t out[G2P_MAX_PREDICT];
  char w[16];
  for (int i = 0; i < G2P_CACHE_MAX; i++) {
    snprintf(w, sizeof w, "w%d", i);
    ASSERT_EQ(predict_cached(&f->g2p, w, (int32_t)strlen(w), out), 2);
  }
  EXPECT_EQ(f->g2p.cache->entries, G2P_CACHE_MAX);
  EXPECT_EQ(predict_cached(&f->g2p, "one more", 8, out), 2);
  EXPECT_EQ(f->g2p.cache->entries, 1);
  EXPECT_EQ(predict_cached(&f->g2p, "w0", 2, out), 2); // predicted again
  EXPECT_EQ(f->g2p.cache->runs, (uint64_t)G2P_CACHE_MAX + 2);
  tv_front_free(f);
}

// Eight threads convert overlapping texts with one front end at once: the
// results are those of one thread and every distinct token is cached.
TEST(G2p, SharedByEightThreads) {
  HandAssets a;
  a.spelled = tv_symbol_ids("B AH1 Z");
  a.lexicon = {{"and", HandAssets::ids("AH0 N D")}};
  tv_front *f = a.load();
  ASSERT_NE(f, nullptr) << tv_geterr();
  // Letters only, so normalisation leaves the tokens as they are.
  auto name = [](int i) { return std::string("t") + (char)('a' + i / 26 % 26) + (char)('a' + i % 26); };
  std::vector<std::string> texts;
  std::set<std::string> distinct;
  for (int t = 0; t < 8; t++) {
    std::string s;
    for (int k = 0; k < 300; k++) {
      std::string w = name((k * 7 + t * 13) % 400);
      distinct.insert(w);
      s += w + " and ";
    }
    texts.push_back(s);
  }
  std::vector<std::string> want;
  {
    HandAssets b;
    b.spelled = a.spelled;
    b.lexicon = a.lexicon;
    tv_front *g = b.load();
    ASSERT_NE(g, nullptr);
    for (auto &s : texts) want.push_back(phonemes(g, s));
    tv_front_free(g);
  }
  std::atomic<int> bad{0};
  std::vector<std::thread> th;
  for (int t = 0; t < 8; t++) {
    th.emplace_back([&, t] {
      for (int round = 0; round < 20; round++)
        if (phonemes(f, texts[(size_t)((t + round) % 8)]) != want[(size_t)((t + round) % 8)]) bad++;
    });
  }
  for (auto &x : th) x.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(f->g2p.cache->entries, (int32_t)distinct.size());
  EXPECT_GE(f->g2p.cache->runs, distinct.size());
  EXPECT_LE(f->g2p.cache->runs, distinct.size() * 8);
  tv_front_free(f);
}
