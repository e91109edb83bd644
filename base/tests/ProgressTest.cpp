#include "Progress.h"

#include <gtest/gtest.h>

#include <vector>

using tovan::Progress;

namespace {

// Every fraction the owner hears.
struct Heard {
    std::vector<double> fractions;
    Progress progress{[this](double f) { fractions.push_back(f); }};
};

}  // namespace

TEST(Progress, PartsMapOntoTheWholeAndEndExactlyAtOne) {
    Heard h;
    // Three steps of uneven size, the last split again: the owner hears one
    // rising scale, whatever the steps know of each other.
    const Progress a = h.progress.part(0, 0.2), b = h.progress.part(0.2, 0.7), c = h.progress.part(0.7, 1);
    a.at(1, 2);
    a.finish();
    b.at(3, 10);
    const Progress c1 = c.part(0, 0.5), c2 = c.part(0.5, 1);
    c1.finish();
    c2.at(1, 3);
    c2.at(3, 3);
    const std::vector<double> expected = {0.1, 0.2, 0.35, 0.85, 0.9, 1.0};
    ASSERT_EQ(h.fractions.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(h.fractions[i], expected[i], 1e-9) << i;
    EXPECT_EQ(h.fractions.back(), 1.0);  // exactly
}

TEST(Progress, NeverGoesBackNorFloodsNorClaimsTheEndEarly) {
    Heard h;
    const Progress p = h.progress;
    for (std::uint64_t i = 0; i <= 1000000; ++i) p.at(i, 1000000);
    p.at(5, 10);  // a step that reports less than before is not heard
    ASSERT_FALSE(h.fractions.empty());
    EXPECT_LE(h.fractions.size(), 1001u);
    for (size_t i = 1; i < h.fractions.size(); ++i) EXPECT_GT(h.fractions[i], h.fractions[i - 1]) << i;
    EXPECT_EQ(h.fractions.back(), 1.0);

    // 99.99 % is not the end: 1 comes only with the end of the last step.
    Heard g;
    g.progress.at(9999, 10000);
    ASSERT_EQ(g.fractions.size(), 1u);
    EXPECT_LT(g.fractions[0], 1.0);
}

TEST(Progress, ACancelStopsTheNextReportOrCheckOfEveryCopy) {
    int heard = 0;
    const Progress owner([&](double) { ++heard; });
    const Progress step = owner.part(0.5, 1);
    step.at(1, 4);
    EXPECT_FALSE(step.cancelled());
    owner.cancel();
    EXPECT_TRUE(step.cancelled());
    EXPECT_THROW(step.at(2, 4), Progress::Cancelled);
    EXPECT_THROW(step.check(), Progress::Cancelled);
    EXPECT_THROW(owner.part(0, 0.1).finish(), Progress::Cancelled);
    EXPECT_EQ(heard, 1);  // nothing is reported after the cancel

    // The default handle reports nowhere and cannot be stopped.
    const Progress none;
    none.cancel();
    EXPECT_NO_THROW(none.at(1, 2));
    EXPECT_NO_THROW(none.check());
}
