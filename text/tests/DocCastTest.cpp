// The document's dialogue analysis: made once, shared by every reader.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "Cast.h"
#include "Doc.h"

namespace tovan {
namespace {

TEST(DocCast, AnalysesEachParagraphOnceAndKeepsTheResult) {
    const auto d = Doc::create(u"T", u"epub", std::nullopt,
                               {u"\u201CCome here at once, please,\u201D said Mary.", u"The rain fell all night."});
    const auto first = d->cast();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->lines().size(), 2u);
    ASSERT_TRUE(first->lines()[0].speaker);
    EXPECT_EQ(*first->lines()[0].speaker, u"Mary");
    EXPECT_FALSE(first->lines()[1].speaker);
    EXPECT_EQ(d->cast(), first) << "a second call must not analyse again";

    // Voices handed out through one reader are seen by every other.
    const auto v = first->voiceFor(u"Mary", u"n", {u"f1", u"f2"}, {u"m1"});
    EXPECT_EQ(d->cast()->voiceFor(u"Mary", u"n", {u"f1", u"f2"}, {u"m1"}), v);
}

TEST(DocCast, ConcurrentFirstCallsShareOneAnalysis) {
    std::vector<std::u16string> paras(200, u"\u201CWhere are you going tonight?\u201D asked John.");
    const auto d = Doc::create(u"T", u"epub", std::nullopt, paras);
    std::vector<std::shared_ptr<Cast>> got(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < got.size(); i++) threads.emplace_back([&, i] { got[i] = d->cast(); });
    for (auto& t : threads) t.join();
    for (auto& c : got) EXPECT_EQ(c, got[0]);
    EXPECT_EQ(got[0]->lines().size(), 200u);
}

TEST(DocCast, EmptyDocumentHasAnEmptyCast) {
    const auto d = Doc::create(u"T", u"text", std::nullopt, {});
    ASSERT_TRUE(d->cast());
    EXPECT_TRUE(d->cast()->lines().empty());
}

}  // namespace
}  // namespace tovan
