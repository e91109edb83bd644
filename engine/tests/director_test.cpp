// The reading director: its file, token hashing, sentence features and plans.
#include <gtest/gtest.h>
#include <math.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "director_fixture.h"
#include "runtime/kernels.h"
#include "runtime/kernels_simd.h"
#include "TempDir.h"
#include "TestPaths.h"

using tovan::test::TempDir;

namespace {

struct DirectorFree {
    void operator()(tovantts_director *d) const { tovantts_director_free(d); }
};
using Director = std::unique_ptr<tovantts_director, DirectorFree>;

std::string data_dir() {
    return tovan::test::testData("director").string() + "/";
}

// ---------------------------------------------------------------- loading

TEST(DirectorLoad, RefusesMalformedFilesWithTheirMessages) {
    const std::vector<uint8_t> good = director_bytes({});
    const std::vector<uint8_t> v1 = director_bytes({.version = 1, .K = 0});
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        const char *message;
    };
    auto with = [&](std::vector<uint8_t> b, size_t at, uint32_t v) {
        put_u32(b, at, v);
        return b;
    };
    auto cut = [](std::vector<uint8_t> b, size_t n) {
        b.resize(n);
        return b;
    };
    std::vector<uint8_t> magic = good;
    magic[3] = 'X';
    const Case cases[] = {
        {"31 bytes", cut(good, 31), "not a director model (TVDR)"},
        {"empty", {}, "not a director model (TVDR)"},
        {"wrong magic", magic, "not a director model (TVDR)"},
        {"version 3", with(good, 4, 3), "unsupported director model version"},
        {"version 0", with(good, 4, 0), "unsupported director model version"},
        {"17 features", with(good, 20, 17), "director model shape does not match this build"},
        {"11 genres", with(good, 24, 11), "director model shape does not match this build"},
        {"plan of 5", with(good, 28, 5), "director model shape does not match this build"},
        {"token width 65", with(good, 12, 65), "director model shape is out of range"},
        {"hidden width 65", with(good, 16, 65), "director model shape is out of range"},
        {"context 65", with(good, 32, 65), "director model shape is out of range"},
        {"table short of the 14-bit ids", with(good, 8, TV_DIR_TOKEN_IDS - 1),
         "director model shape is out of range"},
        {"version 2 header cut", cut(good, 34), "director model file is truncated"},
        {"no arrays", cut(good, 36), "director model file is truncated"},
        {"last byte missing", cut(good, good.size() - 1), "director model file is truncated"},
        {"version 1 last byte missing", cut(v1, v1.size() - 1), "director model file is truncated"},
        // Sizes whose products would wrap in 32 bits must still read as too big.
        {"4G token rows", with(good, 8, 0xFFFFFFFFu), "director model file is truncated"},
        // Its first token scale then reads as the context length.
        {"version 1 read as 2", with(v1, 4, 2), "director model shape is out of range"},
    };
    for (const Case &c : cases) {
        std::string msg;
        Director d(load_bytes(c.bytes, &msg));
        EXPECT_EQ(d, nullptr) << c.name;
        EXPECT_EQ(msg, c.message) << c.name;
        EXPECT_STREQ(tv_geterr(), c.message) << c.name;
    }
    char err[64] = "untouched";
    EXPECT_EQ(tovantts_director_from_memory(nullptr, 100, err, sizeof err), nullptr);
    EXPECT_STREQ(err, "not a director model (TVDR)");
}

TEST(DirectorLoad, EveryArrayMustFitInTheFile) {
    // Cutting the file anywhere inside the arrays is refused, at each boundary.
    const DirectorShape shape{.B = 3, .H = 5, .K = 2};
    const std::vector<uint8_t> good = director_bytes(shape);
    const size_t A = TV_DIR_TOKEN_IDS, B = 3, H = 5, I = 3 * H + 6;
    const size_t sizes[] = {4 * A, A * B, 4 * H, H * (B + 28), 4 * H, 12 * H, 3 * H * I,
                            12 * H, 3 * H * H, 12 * H, 12 * H, 24, 12 * H, 24};
    size_t end = 36;
    for (size_t s : sizes) {
        for (size_t n : {end, end + s - 1}) {
            std::string msg;
            Director d(load_bytes(std::vector<uint8_t>(good.begin(), good.begin() + n), &msg));
            EXPECT_EQ(d, nullptr) << n;
            EXPECT_EQ(msg, "director model file is truncated") << n;
        }
        end += s;
    }
    EXPECT_EQ(end, good.size());
    Director d(load_bytes(good));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->I, (int32_t)I);
}

TEST(DirectorLoad, ReadsTheCalibrationBlockOnlyWhenWholeAndTagged) {
    const std::vector<uint8_t> plain = director_bytes({.cal = false});
    const std::vector<uint8_t> cal = director_bytes({.cal = true});
    ASSERT_EQ(cal.size(), plain.size() + TV_DIR_CAL_BYTES);
    auto extra = [&](std::vector<uint8_t> tail) {
        std::vector<uint8_t> b = plain;
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    };
    std::vector<uint8_t> block(cal.end() - TV_DIR_CAL_BYTES, cal.end());
    std::vector<uint8_t> short_block(block.begin(), block.end() - 1);
    std::vector<uint8_t> mistagged = block;
    mistagged[3] = '2';
    std::vector<uint8_t> longer = block;
    longer.resize(300, 0xAB);
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        int32_t has_cal;
    } cases[] = {
        {"ends at the output bias", plain, 0},
        {"103 more bytes", extra(short_block), 0},
        {"mistagged", extra(mistagged), 0},
        {"whole block", cal, 1},
        {"block and more", extra(longer), 1},
        {"other trailing bytes", extra(std::vector<uint8_t>(500, 0)), 0},
    };
    for (const Case &c : cases) {
        Director d(load_bytes(c.bytes));
        ASSERT_NE(d, nullptr) << c.name;
        EXPECT_EQ(d->has_cal, c.has_cal) << c.name;
        if (c.has_cal) {
            float first;
            memcpy(&first, &block[4], 4);
            EXPECT_EQ(d->cal[0], first);
        }
    }
}

TEST(DirectorLoad, VersionOneHasNoContextInput) {
    Director d(load_bytes(director_bytes({.version = 1, .H = 9, .K = 0})));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->K, 0);
    EXPECT_EQ(d->I, 2 * 9 + 6);
    // In a version 1 header, bytes 32.. are already the token scales.
    std::vector<uint8_t> b = director_bytes({.version = 2, .H = 9, .K = 0});
    Director v2(load_bytes(b));
    ASSERT_NE(v2, nullptr);
    EXPECT_EQ(v2->I, 2 * 9 + 6);
}

TEST(DirectorLoad, SurvivesCorruptedFiles) {
    // Random header values, bit flips and cuts: each load either fails with
    // one of the format messages or gives a director that plans finite or
    // non-finite numbers, but never reads outside the file (ASan run).
    const std::vector<uint8_t> good = director_bytes({.B = 0, .H = 3, .K = 2, .cal = true});
    const std::string messages[] = {"not a director model (TVDR)",
                                    "unsupported director model version",
                                    "director model shape does not match this build",
                                    "director model shape is out of range",
                                    "director model file is truncated"};
    uint64_t state = 99;
    auto rnd = [&]() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return (uint32_t)(state >> 33);
    };
    tovantts_sentence s[2] = {sentence("A short test sentence."), sentence("And another!")};
    int loaded = 0;
    for (int round = 0; round < 300; round++) {
        std::vector<uint8_t> b = good;
        switch (round % 3) {
        case 0:  // a header word, often a small number
            put_u32(b, 4 + 4 * (rnd() % 8), rnd() % 2 ? rnd() % 80 : rnd());
            break;
        case 1:  // bytes anywhere
            for (int k = 0; k < 8; k++) b[rnd() % b.size()] ^= (uint8_t)(1u << (rnd() % 8));
            break;
        default:  // a cut
            b.resize(rnd() % b.size());
        }
        std::string msg;
        Director d(load_bytes(b, &msg));
        if (!d) {
            EXPECT_NE(std::find(std::begin(messages), std::end(messages), msg), std::end(messages))
                << msg;
            continue;
        }
        loaded++;
        float plans[12], c[5];
        char text[160];
        ASSERT_EQ(tovantts_director_plan(d.get(), s, 2, "fantasy", plans, nullptr, 0), 0);
        tovantts_plan_controls(d.get(), plans, c, 1.0f);
        for (float v : c) EXPECT_TRUE(v >= -3.0f && v <= 3.0f);
        EXPECT_EQ(tovantts_plan_ctrl(d.get(), plans + 6, text, sizeof text, 1.0f), 0);
        int32_t ms = tovantts_plan_pause_ms(plans + 6, 1.0f);
        EXPECT_TRUE(ms >= 80 && ms <= 1500);
    }
    EXPECT_GT(loaded, 50);
}

TEST(DirectorLoad, CopiesTheBytes) {
    std::vector<uint8_t> b = director_bytes({});
    Director d(load_bytes(b));
    ASSERT_NE(d, nullptr);
    tovantts_sentence s = sentence("The bytes may go away after loading.");
    float before[6], after[6];
    ASSERT_EQ(tovantts_director_plan(d.get(), &s, 1, nullptr, before, nullptr, 0), 0);
    std::fill(b.begin(), b.end(), 0x55);
    ASSERT_EQ(tovantts_director_plan(d.get(), &s, 1, nullptr, after, nullptr, 0), 0);
    EXPECT_EQ(memcmp(before, after, sizeof before), 0);
}

TEST(DirectorLoad, FindsTheFileFromAPathOrADirectory) {
    TempDir tmp;
    std::vector<uint8_t> b = director_bytes({});
    std::string bytes(b.begin(), b.end());
    std::filesystem::create_directories(tmp.path / "model");
    std::filesystem::create_directories(tmp.path / "dir.bin");
    tmp.write("model/director.bin", bytes);
    tmp.write("other.bin", bytes);
    tmp.write("empty.bin", "");
    tmp.write("short.bin", "TVDR");
    const std::string root = tmp.path.string();
    struct Case {
        std::string path;
        const char *message;  // NULL: loads
    } cases[] = {
        {root + "/model", nullptr},
        {root + "/model/", nullptr},
        {root + "/other.bin", nullptr},
        {root + "/model/director.bin", nullptr},
        {root + "/missing.bin", "cannot open %s/missing.bin"},
        {root + "/missing", "cannot open %s/missing/director.bin"},
        {root + "/other.bim", "cannot open %s/other.bim/director.bin"},
        {root + "/empty.bin", "cannot read the director model"},
        {root + "/dir.bin", "cannot read the director model"},
        {root + "/short.bin", "not a director model (TVDR)"},
        {".bin", "cannot open .bin/director.bin"},
    };
    for (const Case &c : cases) {
        char err[4096] = "";
        Director d(tovantts_director_load(c.path.c_str(), err, sizeof err));
        if (!c.message) {
            EXPECT_NE(d, nullptr) << c.path << ": " << err;
            continue;
        }
        EXPECT_EQ(d, nullptr) << c.path;
        char want[4096];
        snprintf(want, sizeof want, c.message, root.c_str());
        EXPECT_STREQ(err, want);
    }
    for (const char *none : {(const char *)nullptr, ""}) {
        char err[32] = "";
        EXPECT_EQ(tovantts_director_load(none, err, sizeof err), nullptr);
        EXPECT_STREQ(err, "no director path");
    }
}

TEST(DirectorLoad, CutsTheMessageToTheBufferAndAcceptsNoBuffer) {
    char err[8];
    memset(err, 'x', sizeof err);
    EXPECT_EQ(tovantts_director_load("/nonexistent/d.bin", err, 5), nullptr);
    EXPECT_STREQ(err, "cann");
    EXPECT_EQ(err[5], 'x');
    EXPECT_EQ(tovantts_director_load("/nonexistent/d.bin", nullptr, 100), nullptr);
    EXPECT_EQ(tovantts_director_load("/nonexistent/d.bin", err, 0), nullptr);
    EXPECT_STREQ(tv_geterr(), "cannot open /nonexistent/d.bin");
}

TEST(DirectorLoad, NamesTheTenGenres) {
    const char *want[] = {"children", "adventure", "fantasy", "mystery",    "scifi",
                          "gothic",   "literary",  "humour",  "nonfiction", "poetry"};
    for (uint32_t i = 0; i < 10; i++) EXPECT_STREQ(tovantts_director_genre(i), want[i]);
    EXPECT_EQ(tovantts_director_genre(10), nullptr);
    EXPECT_EQ(tovantts_director_genre(0xFFFFFFFFu), nullptr);
    tovantts_director_free(nullptr);
    tovantts_reading_free(nullptr);
}

// ---------------------------------------------------------------- tokens

TEST(DirectorTokens, HashesWordsThenBigrams) {
    // Expected ids from zlib's CRC-32 (reference.py), not from this code.
    struct Case {
        const char *text;
        std::vector<uint16_t> ids;
    } cases[] = {
        // hello, world, !, hello_world, world_!
        {"Hello, world!", {1163, 13134, 10720, 10383, 10302}},
        // don't stop now: the apostrophe belongs to the word, "--" separates
        {"Don't STOP--now", {674, 13655, 9946, 9955, 9045}},
        // digits are their own tokens, the comma splits 12,000
        {"3rd of 12,000", {6312, 6474, 5242, 12621, 12488, 12066, 12042, 4485, 358}},
        // é's bytes separate; the ellipsis and em dash are tokens; ?! are two
        {"caf\u00e9 \u2026 \u2014 wait?!",
         {14581, 2399, 6367, 8196, 5251, 10720, 16383, 12229, 11823, 13716, 14493}},
        {"", {}},
        {" .,;:()\"", {}},
        // a 70-letter word keeps its first 63 bytes
        {"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", {61}},
    };
    for (const Case &c : cases) {
        uint16_t ids[TV_DIR_MAX_TOKENS];
        int32_t n = tv_director_tokens(c.text, ids);
        EXPECT_EQ(std::vector<uint16_t>(ids, ids + n), c.ids) << c.text;
    }
    EXPECT_EQ(tv_director_hash("hello", 5, TV_DIR_WORD_SEED), 1163);
    EXPECT_EQ(tv_director_hash("", 0, TV_DIR_WORD_SEED), 9340);
    EXPECT_EQ(tv_director_hash("", 0, TV_DIR_BIGRAM_SEED), 616);
}

TEST(DirectorTokens, StopsAt512Ids) {
    std::string many;
    for (int i = 0; i < 300; i++) many += "word ";
    uint16_t ids[TV_DIR_MAX_TOKENS];
    EXPECT_EQ(tv_director_tokens(many.c_str(), ids), 512);  // 300 words, 212 bigrams
    EXPECT_EQ(ids[299], ids[0]);
    EXPECT_EQ(ids[300], tv_director_hash("word_word", 9, TV_DIR_BIGRAM_SEED));
    std::string more;
    for (int i = 0; i < 600; i++) more += "a ";
    EXPECT_EQ(tv_director_tokens(more.c_str(), ids), 512);  // words only
    EXPECT_EQ(ids[511], ids[0]);
}

// ---------------------------------------------------------------- features

TEST(DirectorFeatures, Table) {
    struct Case {
        tovantts_sentence s;
        std::vector<std::pair<int, float>> set;  // every other feature is 0
    } cases[] = {
        {sentence(""), {{12, 1}, {13, 1}, {14, 1 / 6.f}, {16, 1}}},
        {sentence("Hello, world!"), {{0, 0.1f}, {1, 1 / 3.f}, {4, 1}, {12, 1}, {13, 1},
                                     {14, 1 / 6.f}, {16, 1}}},
        {sentence("CHAPTER ONE"), {{0, 0.1f}, {11, 1}, {12, 1}, {13, 1}, {14, 1 / 6.f},
                                   {16, 1}, {17, 1}}},
        {sentence("Chapters of old"), {{0, 0.15f}, {12, 1}, {13, 1}, {14, 1 / 6.f}, {16, 1}}},
        {sentence("part_two"), {{0, 0.05f}, {12, 1}, {13, 1}, {14, 1 / 6.f}, {16, 1}}},
        {sentence("Stanza"), {{0, 0.05f}, {12, 1}, {13, 1}, {14, 1 / 6.f}, {16, 1}, {17, 1}}},
        {sentence("canto-3 begins"), {{0, 0.1f}, {12, 1}, {13, 1}, {14, 1 / 6.f},
                                      {16, 1}, {17, 1}}},
        // a question mark before a closing double quote, dialogue with a speaker
        {sentence("\"Are you there?\"", 1, 1, 3, 1),
         {{0, 0.15f}, {3, 1}, {7, 1}, {8, 1}, {9, 1}, {14, 0.5f}, {15, 0.5f}, {16, 1}}},
        {sentence("\u201cGo!\u201d she said.)  ", 1, 0, 2, 1),
         {{0, 0.15f}, {5, 1}, {7, 1}, {9, 1}, {13, 1}, {14, 1 / 3.f}, {15, 1}, {16, 1}}},
        {sentence("It\u2019s true\u2019", 0, 0, 20, 0),
         {{0, 0.1f}, {12, 1}, {14, 2}, {16, 1}}},
        {sentence("So it goes... ", 0, 0, 5, 4),
         {{0, 0.15f}, {5, 1}, {6, 1}, {13, 1}, {14, 5 / 6.f}, {15, 1}, {16, 1}}},
        // an ellipsis character is the last character, but for feature 6 only
        {sentence("And then\u2026\u201d"), {{0, 0.1f}, {6, 1}, {12, 1}, {13, 1}, {14, 1 / 6.f},
                                             {16, 1}}},
        {sentence("Wait -- one; two: three, four, five, six."),
         {{0, 0.4f}, {1, 1}, {2, 1}, {5, 1}, {10, 1}, {12, 1}, {13, 1}, {14, 1 / 6.f}}},
        {sentence("A\u2014B"), {{0, 0.05f}, {10, 1}, {12, 1}, {13, 1}, {14, 1 / 6.f}, {16, 1}}},
        {sentence("NO WAY 42"), {{0, 0.15f}, {11, 1}, {12, 1}, {13, 1}, {14, 1 / 6.f}, {16, 1}}},
        {sentence("NO"), {{0, 0.05f}, {12, 1}, {13, 1}, {14, 1 / 6.f}, {16, 1}}},
        {sentence("OK then"), {{0, 0.1f}, {12, 1}, {13, 1}, {14, 1 / 6.f}, {16, 1}}},
        // paragraph fields at their limits: no overflow in paraLen - 1
        {sentence("x", 0, 0, INT32_MIN, INT32_MAX),
         {{0, 0.05f}, {14, (float)INT32_MIN / 6.f}, {16, 1}}},
        {sentence("x", 0, 0, INT32_MAX, INT32_MAX - 1),
         {{0, 0.05f}, {13, 1}, {14, 2}, {15, 1}, {16, 1}}},
    };
    for (const Case &c : cases) {
        float want[TV_DIR_FEATURES] = {0};
        for (auto [i, v] : c.set) want[i] = v;
        // Words: 60 or more count as 60.
        float got[TV_DIR_FEATURES];
        tv_director_features(&c.s, got);
        for (int i = 0; i < TV_DIR_FEATURES; i++)
            EXPECT_FLOAT_EQ(got[i], want[i]) << "\"" << c.s.text << "\" feature " << i;
    }
    std::string long_text;
    for (int i = 0; i < 70; i++) long_text += "word ";
    tovantts_sentence s = sentence(long_text.c_str());
    float f[TV_DIR_FEATURES];
    tv_director_features(&s, f);
    EXPECT_FLOAT_EQ(f[0], 3.0f);
    EXPECT_EQ(f[16], 0.0f);
}

// ---------------------------------------------------------------- plans

struct Sentences {
    std::vector<std::string> texts;
    std::vector<tovantts_sentence> records;
};

Sentences read_sentences() {
    Sentences s;
    std::ifstream in(data_dir() + "sentences.tsv", std::ios::binary);
    std::string line;
    std::vector<std::array<int32_t, 4>> nums;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::array<int32_t, 4> n;
        size_t at = 0;
        for (int k = 0; k < 4; k++) {
            size_t tab = line.find('\t', at);
            n[k] = (int32_t)atoi(line.substr(at, tab - at).c_str());
            at = tab + 1;
        }
        s.texts.push_back(line.substr(at));
        nums.push_back(n);
    }
    for (size_t i = 0; i < nums.size(); i++)
        s.records.push_back({s.texts[i].c_str(), nums[i][0], nums[i][1], nums[i][2], nums[i][3]});
    return s;
}

uint32_t crc32(const std::vector<uint8_t> &b) {
    uint32_t c = 0xFFFFFFFFu;
    for (uint8_t x : b) {
        c ^= x;
        for (int k = 0; k < 8; k++) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

struct GoldenFixture {
    std::string name, genre;
    size_t size = 0;
    uint32_t crc = 0;
    std::vector<std::string> args;
    std::vector<std::array<double, 18>> features;
    struct Row {
        std::array<double, 6> plan;
        std::array<double, 5> controls;
        int pause1, pause15;
        std::string ctrl;
    };
    std::vector<Row> rows;
};

std::vector<GoldenFixture> read_golden() {
    std::vector<GoldenFixture> out;
    std::ifstream in(data_dir() + "golden.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string kind;
        ls >> kind;
        if (kind == "fixture") {
            GoldenFixture f;
            std::string crc;
            ls >> f.name >> f.genre >> f.size >> crc;
            f.crc = (uint32_t)strtoul(crc.c_str(), nullptr, 16);
            for (std::string a; ls >> a;) f.args.push_back(a);
            out.push_back(f);
        } else if (kind == "F") {
            int i;
            std::array<double, 18> v;
            ls >> i;
            for (double &x : v) ls >> x;
            out.back().features.push_back(v);
        } else if (kind == "P") {
            int i;
            GoldenFixture::Row r;
            ls >> i;
            for (double &x : r.plan) ls >> x;
            for (double &x : r.controls) ls >> x;
            ls >> r.pause1 >> r.pause15 >> r.ctrl;
            out.back().rows.push_back(r);
        }
    }
    return out;
}

// The same arguments tovan-mkdirector takes, through the same writer.
std::vector<uint8_t> build_fixture(const std::vector<std::string> &args) {
    tv_director_arrays *a = nullptr;
    DirectorShape s{.B = 16, .H = 16, .K = 4};
    bool dev = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &k = args[i];
        auto v = [&]() { return atoll(args[++i].c_str()); };
        if (k == "--dev") dev = true;
        else if (k == "--cal") s.cal = true;
        else if (k == "--seed") s.seed = (uint64_t)v();
        else if (k == "--version") s.version = (uint32_t)v();
        else if (k == "--tokens") s.A = (int32_t)v();
        else if (k == "--width") s.B = (int32_t)v();
        else if (k == "--hidden") s.H = (int32_t)v();
        else if (k == "--context") s.K = (int32_t)v();
    }
    if (s.version == 1) s.K = 0;
    if (dev) {
        a = tv_director_arrays_dev();
    } else {
        a = tv_director_arrays_new(s.version, s.A, s.B, s.H, s.K);
        if (a) tv_director_arrays_seed(a, s.seed, s.cal);
    }
    std::vector<uint8_t> b;
    if (a) b = arrays_bytes(a);
    tv_director_arrays_free(a);
    return b;
}

TEST(DirectorPlan, AgreesWithTheReferenceComputation) {
    Sentences sents = read_sentences();
    std::vector<GoldenFixture> golden = read_golden();
    ASSERT_EQ(golden.size(), 4u);
    ASSERT_EQ(sents.records.size(), 24u);
    const size_t n = sents.records.size();
    for (const GoldenFixture &g : golden) {
        SCOPED_TRACE(g.name);
        std::vector<uint8_t> bytes = build_fixture(g.args);
        // The writer must still produce the very file the reference read.
        ASSERT_EQ(bytes.size(), g.size);
        ASSERT_EQ(crc32(bytes), g.crc);
        Director d(load_bytes(bytes));
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(g.rows.size(), n);
        const char *genre = g.genre == "-" ? nullptr : g.genre.c_str();
        std::vector<float> plans(6 * n, NAN);
        char err[128] = "";
        ASSERT_EQ(tovantts_director_plan(d.get(), sents.records.data(), (int32_t)n, genre,
                                         plans.data(), err, sizeof err),
                  0)
            << err;
        for (size_t i = 0; i < n; i++) {
            const GoldenFixture::Row &r = g.rows[i];
            const float *p = &plans[6 * i];
            // float32 against double: seen within 4e-7, widths up to 198.
            for (int j = 0; j < 6; j++)
                EXPECT_NEAR(p[j], r.plan[j], 3e-6) << i << " " << j;
            float c[5];
            tovantts_plan_controls(d.get(), p, c, 0.8f);
            for (int j = 0; j < 5; j++) EXPECT_NEAR(c[j], r.controls[j], 3e-6) << i;
            EXPECT_EQ(tovantts_plan_pause_ms(p, 1.0f), r.pause1) << i;
            EXPECT_EQ(tovantts_plan_pause_ms(p, 1.5f), r.pause15) << i;
            char text[160];
            ASSERT_EQ(tovantts_plan_ctrl(d.get(), p, text, sizeof text, 1.0f), 0);
            EXPECT_EQ(text, r.ctrl) << i;
        }
        if (!g.features.empty()) {
            for (size_t i = 0; i < n; i++) {
                float f[TV_DIR_FEATURES];
                tv_director_features(&sents.records[i], f);
                for (int j = 0; j < TV_DIR_FEATURES; j++)
                    EXPECT_NEAR(f[j], g.features[i][j], 1e-6) << i << " feature " << j;
            }
        }
    }
}

TEST(DirectorPlan, SameInputGivesTheSamePlans) {
    Sentences sents = read_sentences();
    const int32_t n = (int32_t)sents.records.size();
    for (DirectorShape shape : {DirectorShape{.H = 12, .K = 3, .cal = true},
                                DirectorShape{.version = 1, .B = 5, .H = 7, .K = 0}}) {
        Director d(load_bytes(director_bytes(shape)));
        ASSERT_NE(d, nullptr);
        std::vector<float> a(6 * n), b(6 * n), c(6 * n);
        ASSERT_EQ(tovantts_director_plan(d.get(), sents.records.data(), n, "mystery", a.data(),
                                         nullptr, 0), 0);
        ASSERT_EQ(tovantts_director_plan(d.get(), sents.records.data(), n, "mystery", b.data(),
                                         nullptr, 0), 0);
        EXPECT_EQ(memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
        // Sentence by sentence through a reading state: the very same plans.
        tovantts_reading *r = tovantts_reading_begin(d.get(), "mystery");
        ASSERT_NE(r, nullptr);
        for (int32_t i = 0; i < n; i++)
            ASSERT_EQ(tovantts_reading_next(r, &sents.records[i],
                                            i + 1 < n ? &sents.records[i + 1] : nullptr,
                                            &c[6 * i]), 0);
        tovantts_reading_free(r);
        EXPECT_EQ(memcmp(a.data(), c.data(), a.size() * sizeof(float)), 0);
        // Another genre plans differently; an unknown one is no genre.
        std::vector<float> none(6 * n), unknown(6 * n), other(6 * n);
        tovantts_director_plan(d.get(), sents.records.data(), n, nullptr, none.data(), nullptr, 0);
        tovantts_director_plan(d.get(), sents.records.data(), n, "Mystery", unknown.data(),
                               nullptr, 0);
        tovantts_director_plan(d.get(), sents.records.data(), n, "gothic", other.data(), nullptr,
                               0);
        EXPECT_EQ(memcmp(none.data(), unknown.data(), none.size() * sizeof(float)), 0);
        EXPECT_NE(memcmp(a.data(), other.data(), a.size() * sizeof(float)), 0);
    }
}

TEST(DirectorPlan, PortableAndSimdPathsGiveTheSameBits) {
    // Both products add each row's terms in input order with separate
    // multiplies and adds: not a rounding apart.
    Sentences sents = read_sentences();
    const int32_t n = (int32_t)sents.records.size();
    Director d(load_bytes(director_bytes({.B = 64, .H = 61, .K = 7})));
    ASSERT_NE(d, nullptr);
    std::vector<float> simd(6 * n), portable(6 * n);
    tv_cpu_avx2_override(1);
    ASSERT_EQ(tovantts_director_plan(d.get(), sents.records.data(), n, "scifi", simd.data(),
                                     nullptr, 0), 0);
    tv_cpu_avx2_override(0);
    ASSERT_EQ(tovantts_director_plan(d.get(), sents.records.data(), n, "scifi", portable.data(),
                                     nullptr, 0), 0);
    tv_cpu_avx2_override(1);
    EXPECT_EQ(memcmp(simd.data(), portable.data(), simd.size() * sizeof(float)), 0);
}

TEST(DirectorPlan, OneDirectorServesSeveralThreads) {
    Sentences sents = read_sentences();
    const int32_t n = (int32_t)sents.records.size();
    Director d(load_bytes(director_bytes({.H = 16, .K = 5, .cal = true})));
    ASSERT_NE(d, nullptr);
    std::vector<float> want(6 * n);
    ASSERT_EQ(tovantts_director_plan(d.get(), sents.records.data(), n, "humour", want.data(),
                                     nullptr, 0), 0);
    std::vector<std::vector<float>> got(4, std::vector<float>(6 * n));
    std::vector<std::thread> threads;
    for (auto &g : got)
        threads.emplace_back([&] {
            for (int k = 0; k < 20; k++)
                tovantts_director_plan(d.get(), sents.records.data(), n, "humour", g.data(),
                                       nullptr, 0);
        });
    for (auto &t : threads) t.join();
    for (auto &g : got) EXPECT_EQ(memcmp(g.data(), want.data(), want.size() * sizeof(float)), 0);
}

TEST(DirectorPlan, LookAheadCacheIsKeyedByTheWholeSentence) {
    // The look-ahead's encoding is kept for the next call. A caller that then
    // passes the same text with other flags must get that sentence's own
    // encoding, exactly as with an empty cache.
    Director d(load_bytes(director_bytes({.H = 10, .K = 2})));
    ASSERT_NE(d, nullptr);
    tovantts_sentence first = sentence("He turned.");
    tovantts_sentence ahead = sentence("\"Yes.\"", 0, 0, 1, 0);
    tovantts_sentence actual = sentence("\"Yes.\"", 1, 1, 3, 2);
    tovantts_reading *r = tovantts_reading_begin(d.get(), nullptr);
    ASSERT_NE(r, nullptr);
    float p[6], cached[6], fresh[6];
    ASSERT_EQ(tovantts_reading_next(r, &first, &ahead, p), 0);
    // A twin of the state with its cache emptied.
    tovantts_reading *twin = tovantts_reading_begin(d.get(), nullptr);
    ASSERT_NE(twin, nullptr);
    memcpy(twin->h, r->h, sizeof r->h);
    memcpy(twin->prev, r->prev, sizeof r->prev);
    memcpy(twin->ring, r->ring, sizeof r->ring);
    twin->ring_pos = r->ring_pos, twin->ring_fill = r->ring_fill;
    ASSERT_EQ(tovantts_reading_next(r, &actual, nullptr, cached), 0);
    ASSERT_EQ(tovantts_reading_next(twin, &actual, nullptr, fresh), 0);
    EXPECT_EQ(memcmp(cached, fresh, sizeof fresh), 0);
    tovantts_reading_free(r);
    tovantts_reading_free(twin);
}

TEST(DirectorPlan, RefusesMissingInputsWithItsMessages) {
    Director d(load_bytes(director_bytes({})));
    ASSERT_NE(d, nullptr);
    tovantts_sentence s[4] = {sentence("One."), sentence("Two."), sentence(nullptr),
                              sentence("Four.")};
    float out[24];
    struct Case {
        const tovantts_director *d;
        const tovantts_sentence *s;
        int32_t n;
        float *out;
        int32_t rc;
        const char *message;
    } cases[] = {
        {nullptr, s, 1, out, 1, "tovantts_director_plan: NULL director, sentences or plans"},
        {d.get(), nullptr, 1, out, 1, "tovantts_director_plan: NULL director, sentences or plans"},
        {d.get(), s, 1, nullptr, 1, "tovantts_director_plan: NULL director, sentences or plans"},
        {nullptr, nullptr, 0, nullptr, 1,
         "tovantts_director_plan: NULL director, sentences or plans"},
        {d.get(), s, -1, out, 1, "tovantts_director_plan: negative sentence count"},
        {d.get(), nullptr, 0, nullptr, 0, ""},
        {d.get(), s, 4, out, 1, "tovantts_director_plan: a sentence without text"},
    };
    for (const Case &c : cases) {
        for (float &v : out) v = -99.0f;
        char err[128] = "";
        EXPECT_EQ(tovantts_director_plan(c.d, c.s, c.n, nullptr, c.out, err, sizeof err), c.rc);
        EXPECT_STREQ(err, c.message);
    }
    // The plans before the sentence without text are written, none after.
    float two[12];
    ASSERT_EQ(tovantts_director_plan(d.get(), s, 2, nullptr, two, nullptr, 0), 0);
    for (float &v : out) v = -99.0f;
    EXPECT_EQ(tovantts_director_plan(d.get(), s, 4, nullptr, out, nullptr, 0), 1);
    // Sentence 2 had the textless one as its look-ahead: no look-ahead at all.
    tovantts_sentence last = sentence("Two.");
    float alone[12];
    tovantts_reading *r = tovantts_reading_begin(d.get(), nullptr);
    tovantts_reading_next(r, &s[0], &s[1], alone);
    tovantts_reading_next(r, &last, nullptr, alone + 6);
    tovantts_reading_free(r);
    EXPECT_EQ(memcmp(out, alone, sizeof alone), 0);
    for (int i = 12; i < 24; i++) EXPECT_EQ(out[i], -99.0f);

    EXPECT_EQ(tovantts_reading_begin(nullptr, nullptr), nullptr);
    r = tovantts_reading_begin(d.get(), nullptr);
    ASSERT_NE(r, nullptr);
    tovantts_sentence none = sentence(nullptr);
    EXPECT_EQ(tovantts_reading_next(nullptr, &s[0], nullptr, out), 1);
    EXPECT_EQ(tovantts_reading_next(r, nullptr, nullptr, out), 1);
    EXPECT_EQ(tovantts_reading_next(r, &none, nullptr, out), 1);
    EXPECT_EQ(tovantts_reading_next(r, &s[0], nullptr, nullptr), 1);
    EXPECT_EQ(tovantts_reading_next(r, &s[0], &none, out), 0);
    tovantts_reading_free(r);
}

TEST(DirectorPlan, DevelopmentDirectorPlansNeutralProsodyAndOrdinaryPauses) {
    TempDir tmp;
    const std::string path = tmp.file("director.bin");
    ASSERT_EQ(tv_director_write_dev(path.c_str()), 0) << tv_geterr();
    char err[256] = "";
    Director d(tovantts_director_load(tmp.path.c_str(), err, sizeof err));
    ASSERT_NE(d, nullptr) << err;
    tovantts_sentence s[] = {
        sentence("Chapter Two"),
        sentence("The door opened.", 0, 0, 3, 0),
        sentence("Nobody answered...", 0, 0, 3, 1),
        sentence("\u201cWho is there?\u201d she asked.", 1, 1, 3, 2),
        sentence("Morning came.", 0, 0, 2, 0),
        sentence("It rained.", 0, 0, 2, 1),
    };
    // heading, mid-paragraph, ellipsis, paragraph end; within 1 %
    const int want_ms[] = {1000, 350, 550, 700, 350, 700};
    float plans[6 * 6];
    ASSERT_EQ(tovantts_director_plan(d.get(), s, 6, "literary", plans, err, sizeof err), 0);
    for (int i = 0; i < 6; i++) {
        float c[5];
        tovantts_plan_controls(d.get(), plans + 6 * i, c, 1.0f);
        for (float v : c) EXPECT_EQ(v, 0.0f);
        EXPECT_NEAR(tovantts_plan_pause_ms(plans + 6 * i, 1.0f), want_ms[i], want_ms[i] / 100.0)
            << s[i].text;
    }
    EXPECT_FALSE(d->has_cal);
    // Written atomically: nothing but the file is left in the folder.
    size_t files = 0;
    for (auto it = std::filesystem::directory_iterator(tmp.path);
         it != std::filesystem::directory_iterator(); ++it)
        files++;
    EXPECT_EQ(files, 1u);
    EXPECT_EQ(tv_director_write_dev((tmp.path / "no/such/dir/director.bin").c_str()), -1);
    EXPECT_NE(strstr(tv_geterr(), "director: cannot write"), nullptr);
}

}  // namespace
