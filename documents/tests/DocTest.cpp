#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <thread>

#include <nlohmann/json.hpp>

#include "Cast.h"
#include "Doc.h"
#include "Extract.h"
#include "ExtractedDoc.h"
#include "PdfLayout.h"
#include "DocTestUtil.h"
#include "TextClean.h"

namespace tovan {
namespace {

using PdfLayout::Span;

TEST(Doc, IndexesSentencesByParagraph) {
    const auto a = Doc::create(u"T", u"text", std::nullopt, {u"", u"Hello there."});
    EXPECT_EQ(a->sentences, (std::vector<std::u16string>{u"Hello there."}));
    EXPECT_EQ(a->paraOf, (std::vector<std::int64_t>{1}));

    const auto b = Doc::create(u"T", u"text", std::nullopt, {u"A cat slept. It ran.", u"Then it slept."});
    EXPECT_EQ(b->sentences, (std::vector<std::u16string>{u"A cat slept.", u"It ran.", u"Then it slept."}));
    EXPECT_EQ(b->paraOf, (std::vector<std::int64_t>{0, 0, 1}));
    EXPECT_FALSE(b->spans);
    EXPECT_FALSE(b->regions);

    const auto empty = Doc::create(u"T", u"text", std::nullopt, {});
    EXPECT_TRUE(empty->sentences.empty());
    EXPECT_EQ(empty->progress(), 0);
    EXPECT_EQ(empty->minutesLeft(1), 1);
    EXPECT_EQ(empty->pageOf(0), -1);
}

TEST(Doc, CreatorsFillIdentityAndTimes) {
    const auto d = Doc::create(u"Title", u"web", u"https://x.org/a", {u"Hi."});
    EXPECT_EQ(d->id.size(), 36u);
    for (size_t i = 0; i < d->id.size(); ++i) {
        const char16_t c = d->id[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(c, u'-');
        } else {
            EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')) << test::utf8(d->id);
        }
    }
    EXPECT_NE(d->id, Doc::newId());
    EXPECT_EQ(d->author, u"");
    EXPECT_EQ(d->source, u"https://x.org/a");
    EXPECT_EQ(d->added, d->opened);
    EXPECT_EQ(d->pos, 0);
    EXPECT_FALSE(d->done);
    EXPECT_FALSE(d->isTransient);

    const auto none = Doc::create(u"Title", u"text", std::nullopt, {});
    EXPECT_EQ(none->source, u"");

    ExtractedDoc e{u"Book", u"Ann", {u"One. Two."}, u"epub", u"file:///b.epub"};
    const auto fromE = Doc::create(e);
    EXPECT_EQ(fromE->title, u"Book");
    EXPECT_EQ(fromE->author, u"Ann");
    EXPECT_EQ(fromE->kind, u"epub");
    EXPECT_EQ(fromE->source, u"file:///b.epub");
    EXPECT_EQ(fromE->sentences.size(), 2u);

    const auto t = Doc::createTransient(u"Screen", {u"Read me."}, 1700000000123);
    EXPECT_EQ(t->id, u"screen-1700000000123");
    EXPECT_EQ(t->kind, u"screen");
    EXPECT_EQ(t->added, 1700000000123);
    EXPECT_EQ(t->opened, 1700000000123);
    EXPECT_TRUE(t->isTransient);
    EXPECT_EQ(t->author, u"");
    EXPECT_EQ(t->source, u"");
}

TEST(Doc, PdfSpansNeedOneEntryPerParagraph) {
    const Span s{0, 0, 3, 0.1f, 0.1f, 0.5f, 0.2f};
    const auto bad = Doc::createPdf(u"p1", u"P", u"/x.pdf", {u"One.", u"Two.", u"Six."}, {{s}, {s}});
    EXPECT_EQ(bad->kind, u"pdf");
    EXPECT_FALSE(bad->spans);
    EXPECT_FALSE(bad->regions);
    for (std::int64_t i = -1; i < 4; ++i) EXPECT_EQ(bad->pageOf(i), -1);

    const auto good = Doc::createPdf(u"p2", u"P", u"/x.pdf", {u"Ab cd. Ef gh.", u"Ij."},
                                     {{Span{3, 0, 7, 0, 0.1f, 0.5f, 0.2f}, Span{4, 7, 13, 0, 0.3f, 0.5f, 0.4f}},
                                      {Span{5, 0, 3, 0, 0, 1, 1}}});
    ASSERT_TRUE(good->spans);
    ASSERT_TRUE(good->regions);
    ASSERT_EQ(good->regions->size(), good->sentences.size());
    EXPECT_EQ(good->pageOf(0), 3);
    EXPECT_EQ(good->pageOf(1), 4);
    EXPECT_EQ(good->pageOf(2), 5);
    EXPECT_EQ(good->pageOf(3), -1);
}

TEST(Doc, DropsSpansThatCouldNotBeStored) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const auto d = Doc::createPdf(u"p", u"P", u"", {u"Ab cd."},
                                  {{Span{0, 0, 3, nan, 0, 1, 1}, Span{0, 3, 6, 0, 0, inf, 1}, Span{1, 0, 6, 0, 0, 1, 1}}});
    ASSERT_TRUE(d->spans);
    ASSERT_EQ((*d->spans)[0].size(), 1u);
    EXPECT_EQ((*d->spans)[0][0].page, 1);
    EXPECT_EQ(d->pageOf(0), 1);
}

TEST(Doc, BoxesInterpolateAlongTheLine) {
    const Span wide{2, 10, 30, 0.1f, 0.25f, 0.5f, 0.75f};
    struct Case {
        std::vector<Span> spans;
        std::int64_t from, to;
        std::vector<Doc::Box> expected;
    };
    const float x0 = 0.1f + 10.0f * (0.5f - 0.1f) / 20.0f;
    const Case cases[] = {
        {{wide}, 20, 40, {{2, x0, 0.25f, 0.5f, 0.75f}}},
        {{wide}, 30, 40, {}},
        {{wide}, 0, 10, {}},
        {{wide}, 0, 100, {{2, 0.1f, 0.25f, 0.5f, 0.75f}}},
        {{Span{1, 5, 5, 0.2f, 0, 0.9f, 1}}, 0, 100, {}},
        {{Span{1, 5, 6, 0.2f, 0, 0.9f, 1}}, 5, 6, {{1, 0.2f, 0, 0.9f, 1}}},  // divisor 1
        {{Span{0, 0, 4, 0, 0, 1, 1}, Span{1, 5, 9, 0, 0, 1, 1}, Span{1, 10, 14, 0, 0, 1, 1}},
         2,
         12,
         {{0, 0.5f, 0, 1, 1}, {1, 0, 0, 1, 1}, {1, 0, 0, 0.5f, 1}}},
    };
    for (const Case& c : cases) {
        const auto got = Doc::boxes(c.spans, c.from, c.to);
        ASSERT_EQ(got.size(), c.expected.size()) << c.from << ".." << c.to;
        for (size_t i = 0; i < got.size(); ++i)
            for (int k = 0; k < 5; ++k) EXPECT_FLOAT_EQ(got[i][k], c.expected[i][k]) << c.from << " box " << i;
    }
    // Offsets far apart (as a damaged file could hold) neither overflow nor trap.
    const Span huge{0, INT64_MIN, INT64_MAX, 0, 0, 1, 1};
    const auto b = Doc::boxes({huge}, 0, 10);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_TRUE(std::isfinite(b[0][1]) && std::isfinite(b[0][3]));
}

TEST(Doc, TitlesProgressAndTimeLeft) {
    auto d = Doc::create(u"Essays", u"text", std::nullopt, {});
    EXPECT_EQ(d->displayTitle(), u"Essays");
    ExtractedDoc e{u"Essays", u"Ann", {}, u"epub", std::nullopt};
    EXPECT_EQ(Doc::create(e)->displayTitle(), u"Essays \u00B7 Ann");
    EXPECT_EQ(e.displayTitle(), u"Essays \u00B7 Ann");
    e.author = u"";
    EXPECT_EQ(e.displayTitle(), u"Essays");
    e.author.reset();
    EXPECT_EQ(e.displayTitle(), u"Essays");

    Doc::Meta m(u"id", u"T", u"text", 1, 5, 9000);
    m.pos = 7;
    EXPECT_EQ(m.progress(), 1);
    m.pos = 1;
    EXPECT_FLOAT_EQ(m.progress(), 0.2f);
    m.done = true;
    EXPECT_EQ(m.progress(), 1);
    EXPECT_EQ(Doc::Meta(u"i", u"T", u"text", 0, 0, 0).progress(), 0);

    struct Case {
        std::int64_t chars;
        float rate;
        std::int64_t minutes;
    };
    const Case cases[] = {{9000, 1, 10}, {9000, 2, 5}, {9000, 0.25f, 20}, {9000, 0.5f, 20},
                          {100, 1, 1},   {0, 1, 1},    {9000, std::numeric_limits<float>::quiet_NaN(), 20}};
    for (const Case& c : cases) {
        Doc::Meta row(u"i", u"T", u"text", 0, 10, c.chars);
        EXPECT_EQ(row.minutesLeft(c.rate), c.minutes) << c.chars << " at " << c.rate;
        // The same text as one document of 10 sentences.
        std::vector<std::u16string> paragraphs;
        for (int i = 0; i < 10; ++i) {
            std::u16string s(static_cast<size_t>(c.chars / 10), u'x');
            paragraphs.push_back(s);
        }
        auto doc = Doc::create(u"T", u"text", std::nullopt, paragraphs);
        EXPECT_EQ(doc->minutesLeft(c.rate), c.minutes) << c.chars << " at " << c.rate;
    }
    // Time left counts from the position; done is not consulted.
    auto doc = Doc::create(u"T", u"text", std::nullopt, {std::u16string(4500, u'x'), std::u16string(4500, u'y')});
    ASSERT_EQ(doc->sentences.size(), 2u);  // no blank: nowhere to cut
    doc->done = true;
    EXPECT_EQ(doc->minutesLeft(1), 10);
    doc->pos = 1;
    EXPECT_EQ(doc->minutesLeft(1), 5);
    doc->pos = 1000;
    EXPECT_EQ(doc->minutesLeft(1), 1);
    EXPECT_EQ(doc->progress(), 1);
}

TEST(Doc, CastIsAnalysedOnceForAllThreads) {
    Doc::Fields f;
    f.id = u"d";
    f.title = u"Talk";
    f.kind = u"text";
    f.paragraphs = {u"\u201cWe leave at dawn,\u201d said Anna.", u"\u201cThen I stay,\u201d Tom replied."};
    Doc doc(std::move(f));
    std::vector<std::shared_ptr<Cast>> got(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < got.size(); i++) threads.emplace_back([&, i] { got[i] = doc.cast(); });
    for (auto& t : threads) t.join();
    ASSERT_NE(got[0], nullptr);
    for (auto& c : got) EXPECT_EQ(c.get(), got[0].get());
    EXPECT_EQ(doc.cast().get(), got[0].get());
    EXPECT_EQ(got[0]->lines().size(), 2u);
    EXPECT_EQ(got[0]->characters(), Cast::analyze(doc.paragraphs)->characters());
    EXPECT_FALSE(got[0]->characters().empty());
}

TEST(Doc, MetaSummarisesTheDocument) {
    auto d = Doc::create(u"T", u"web", u"s", {u"Ab cd. Ef gh.", u"Ij \U0001F600."});
    d->pos = 2;
    d->opened = 99;
    const Doc::Meta m = d->meta();
    EXPECT_EQ(m.id, d->id);
    EXPECT_EQ(m.kind, u"web");
    EXPECT_EQ(m.source, u"s");
    EXPECT_EQ(m.count, 3);
    EXPECT_EQ(m.chars, 6 + 6 + 6);  // the emoji counts two units
    EXPECT_EQ(m.pos, 2);
    EXPECT_EQ(m.opened, 99);
    EXPECT_EQ(m.added, d->added);
}

// Over random documents: every sentence is its paragraph's text at the split's
// offsets, the paragraph of each sentence never decreases, and with spans
// every sentence has its boxes.
TEST(Doc, IndexInvariantsHoldForRandomDocuments) {
    const std::u16string alphabet = u"abcXYZ 019.!?\"'“”’,;\n\uE000\uE001\uE002";
    std::mt19937 rng(101);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::u16string> paragraphs(rng() % 8);
        Doc::Spans spans;
        for (auto& p : paragraphs) {
            const size_t len = rng() % 700;
            for (size_t i = 0; i < len; ++i) p += alphabet[rng() % alphabet.size()];
            std::vector<Span> lines;
            for (std::int64_t at = 0; at < static_cast<std::int64_t>(p.size()); at += 60)
                lines.push_back(Span{at / 600, at, std::min<std::int64_t>(at + 59, p.size()), 0.1f, 0.1f, 0.9f, 0.2f});
            spans.push_back(lines);
        }
        const auto d = Doc::createPdf(u"r", u"R", u"", paragraphs, spans);
        ASSERT_EQ(d->sentences.size(), d->paraOf.size());
        ASSERT_TRUE(d->regions);
        ASSERT_EQ(d->regions->size(), d->sentences.size());
        size_t k = 0;
        for (size_t i = 0; i < paragraphs.size(); ++i) {
            for (const auto& r : TextClean::spans(paragraphs[i])) {
                ASSERT_LT(k, d->sentences.size());
                EXPECT_EQ(d->sentences[k], paragraphs[i].substr(r.lower, r.upper - r.lower));
                EXPECT_EQ(d->paraOf[k], static_cast<std::int64_t>(i));
                EXPECT_EQ((*d->regions)[k], Doc::boxes(spans[i], r.lower, r.upper));
                ++k;
            }
        }
        EXPECT_EQ(k, d->sentences.size());
        for (size_t i = 1; i < d->paraOf.size(); ++i) EXPECT_LE(d->paraOf[i - 1], d->paraOf[i]);
    }
}

TEST(PdfLayoutRecords, HeadingTextAndEquality) {
    PdfLayout::Para heading{u"Intro", {}, true};
    EXPECT_EQ(heading.text(), u"\uE002Intro");
    EXPECT_EQ(heading.text().size(), 6u);
    PdfLayout::Para body{u"Intro", {}, false};
    EXPECT_EQ(body.text(), u"Intro");

    const Span a{1, 2, 3, 0.1f, 0.2f, 0.3f, 0.4f};
    Span b = a;
    EXPECT_EQ(a, b);
    b.b = 0.5f;
    EXPECT_NE(a, b);
    EXPECT_EQ((PdfLayout::Line{0, u"x", 1, 2, 3, 4, 5, 6}), (PdfLayout::Line{0, u"x", 1, 2, 3, 4, 5, 6}));
}

TEST(PdfLayoutRecords, SpanKeyedCodingRoundTripsAndRefusesBadInput) {
    const Span a{1, 2, 3, 0.1f, 0.2f, 0.3f, 0.4f};
    const nlohmann::json j = a;
    EXPECT_EQ(j.dump(), R"({"b":0.4000000059604645,"end":3,"l":0.10000000149011612,"page":1,"r":0.30000001192092896,"start":2,"t":0.20000000298023224})");
    EXPECT_EQ(j.get<Span>(), a);
    const char* bad[] = {
        R"({"page":1,"start":2,"end":3,"l":0.1,"t":0.2,"r":0.3})",            // missing b
        R"({"page":1.5,"start":2,"end":3,"l":0.1,"t":0.2,"r":0.3,"b":1})",    // fractional page
        R"({"page":1,"start":"2","end":3,"l":0.1,"t":0.2,"r":0.3,"b":1})",    // string start
        R"({"page":1,"start":2,"end":3,"l":null,"t":0.2,"r":0.3,"b":1})",     // null l
        R"([1,2,3,0.1,0.2,0.3,0.4])",                                          // not keyed
    };
    for (const char* text : bad) EXPECT_THROW(nlohmann::json::parse(text).get<Span>(), nlohmann::json::exception) << text;
    // Integers are fine where floats are expected.
    EXPECT_EQ(nlohmann::json::parse(R"({"page":0,"start":0,"end":1,"l":0,"t":0,"r":1,"b":1})").get<Span>(),
              (Span{0, 0, 1, 0, 0, 1, 1}));
}

TEST(Extract, UnsupportedCarriesItsMessage) {
    const Extract::Unsupported e(Extract::epubUnopenable);
    EXPECT_STREQ(e.what(), "This EPUB could not be opened.");
    EXPECT_EQ(e, Extract::Unsupported(u"This EPUB could not be opened."));
    EXPECT_FALSE(e == Extract::Unsupported(Extract::epubNoText));
    EXPECT_EQ(Extract::mimeTypes.size(), 7u);
    EXPECT_EQ(Extract::mimeTypes[2], u"application/vnd.openxmlformats-officedocument.wordprocessingml.document");
}

}  // namespace
}  // namespace tovan
