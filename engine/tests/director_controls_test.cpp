// Director plans to control values, control text and pauses.
#include <gtest/gtest.h>
#include <math.h>

#include <memory>

#include "director_fixture.h"

namespace {

struct DirectorFree {
    void operator()(tovantts_director *d) const { tovantts_director_free(d); }
};
using Director = std::unique_ptr<tovantts_director, DirectorFree>;

// A director whose file carries the given calibration matrix.
Director with_calibration(const float cal[25]) {
    tv_director_arrays *a = tv_director_arrays_new(2, TV_DIR_TOKEN_IDS, 2, 2, 0);
    if (!a) return nullptr;
    a->has_cal = 1;
    memcpy(a->cal, cal, sizeof a->cal);
    Director d(load_bytes(arrays_bytes(a)));
    tv_director_arrays_free(a);
    return d;
}

constexpr float INF = INFINITY;

TEST(PlanControls, ScalesAndClampsWithoutCalibration) {
    Director plain(load_bytes(director_bytes({.cal = false})));
    ASSERT_NE(plain, nullptr);
    ASSERT_FALSE(plain->has_cal);
    struct Case {
        const char *name;
        float plan[6];
        float strength;
        float want[5];
    } cases[] = {
        {"strength 0", {1, -2, 3, -4, 5, 1}, 0.0f, {0, 0, 0, 0, 0}},
        {"identity", {0.5f, -0.25f, 1, 2, 1, 9}, 1.0f, {0.5f, -0.25f, 1, 2, 0.8f}},
        {"f0_end at 0.8 of the strength", {0, 0, 0, 0, 2.5f, 0}, 0.5f, {0, 0, 0, 0, 1.0f}},
        {"f0_end 0.8 x 5 clamps to 3", {0, 0, 0, 0, 5, 0}, 1.0f, {0, 0, 0, 0, 3}},
        {"clamped both ways", {4, -4, 3.5f, -10, -5, 0}, 1.0f, {3, -3, 3, -3, -3}},
        {"negative strength", {1, 1, 1, 1, 1, 0}, -2.0f, {-2, -2, -2, -2, -1.6f}},
        // Values a file's weights can produce must not poison the output.
        {"NaN and infinite plan values count as 0", {NAN, INF, -INF, 1, NAN, 0}, 1.0f,
         {0, 0, 0, 1, 0}},
        {"NaN strength", {1, 1, 1, 1, 1, 0}, NAN, {0, 0, 0, 0, 0}},
        {"infinite strength", {1, 1, 1, 1, 1, 0}, INF, {0, 0, 0, 0, 0}},
        {"overflow to infinity clamps", {3e38f, -3e38f, 0, 0, 0, 0}, 10.0f, {3, -3, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        const tovantts_director *both[] = {plain.get(), nullptr};
        for (const tovantts_director *d : both) {
            float out[5] = {7, 7, 7, 7, 7};
            tovantts_plan_controls(d, c.plan, out, c.strength);
            for (int k = 0; k < 5; k++) EXPECT_FLOAT_EQ(out[k], c.want[k]) << c.name << " " << k;
        }
    }
    float out[5] = {7, 7, 7, 7, 7};
    tovantts_plan_controls(plain.get(), nullptr, out, 1.0f);
    for (float v : out) EXPECT_EQ(v, 0.0f);
    tovantts_plan_controls(plain.get(), cases[1].plan, nullptr, 1.0f);  // nothing happens
}

TEST(PlanControls, MapsThroughTheCalibrationMatrixRowByInput) {
    // Row j is input j: input 0 (rate) feeds outputs 0 and 1, input 4 feeds 2.
    float cal[25] = {0};
    cal[5 * 0 + 0] = 1.0f;
    cal[5 * 0 + 1] = 0.5f;
    cal[5 * 1 + 1] = 2.0f;
    cal[5 * 4 + 2] = -1.0f;
    cal[5 * 3 + 3] = 1.0f;
    cal[5 * 2 + 4] = 0.25f;
    Director d = with_calibration(cal);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->has_cal);
    struct Case {
        float plan[6];
        float strength;
        float want[5];
    } cases[] = {
        {{1, 0, 0, 0, 0, 0}, 1, {1, 0.5f, 0, 0, 0}},
        {{0, 1, 0, 0, 0, 0}, 1, {0, 2, 0, 0, 0}},
        {{0, 0, 0, 0, 1, 0}, 1, {0, 0, -0.8f, 0, 0}},
        {{0, 0, 2, 0, 0, 0}, 0.5f, {0, 0, 0, 0, 0.25f}},
        {{1, 1, 1, 1, 1, 0}, 2, {2, 3, -1.6f, 2, 0.5f}},  // 1 + 4 = 5 clamps to 3
        {{0, 0, 0, 0, 0, 0}, 0, {0, 0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        float out[5];
        tovantts_plan_controls(d.get(), c.plan, out, c.strength);
        for (int k = 0; k < 5; k++) EXPECT_FLOAT_EQ(out[k], c.want[k]) << k;
    }
    // A NaN or infinite matrix element gives 0 or the clamp, never NaN.
    float bad[25] = {0};
    bad[0] = NAN;
    bad[6] = INF;
    Director b = with_calibration(bad);
    ASSERT_NE(b, nullptr);
    float plan[6] = {1, 1, 0, 0, 0, 0}, out[5];
    tovantts_plan_controls(b.get(), plan, out, 1.0f);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 3.0f);
}

TEST(PlanCtrl, FormatsTwoDecimalsRoundedAwayFromZero) {
    struct Case {
        float plan[6];
        const char *text;
    } cases[] = {
        {{0, 0, 0, 0, 0, 0}, "rate=0.00,loud=0.00,f0_med=0.00,f0_iqr=0.00,f0_end=0.00"},
        {{-0.004f, -0.5f, 0.125f, 2.999f, 1, 0},
         "rate=0.00,loud=-0.50,f0_med=0.13,f0_iqr=3.00,f0_end=0.80"},
        {{-0.125f, 1.5f, -2.005f, -7, -0.0625f, 0},
         "rate=-0.13,loud=1.50,f0_med=-2.01,f0_iqr=-3.00,f0_end=-0.05"},
        {{NAN, INF, -INF, 0.994f, 0.01f, NAN},
         "rate=0.00,loud=0.00,f0_med=0.00,f0_iqr=0.99,f0_end=0.01"},
    };
    for (const Case &c : cases) {
        char out[160];
        memset(out, 'x', sizeof out);
        ASSERT_EQ(tovantts_plan_ctrl(nullptr, c.plan, out, sizeof out, 1.0f), 0);
        EXPECT_STREQ(out, c.text);
    }
    // The text only goes out whole: one byte short leaves an empty text.
    float plan[6] = {-3, -3, -3, -3, -5, 0};
    const char *longest = "rate=-3.00,loud=-3.00,f0_med=-3.00,f0_iqr=-3.00,f0_end=-3.00";
    const size_t n = strlen(longest);
    char out[160];
    ASSERT_EQ(tovantts_plan_ctrl(nullptr, plan, out, n + 1, 1.0f), 0);
    EXPECT_STREQ(out, longest);
    for (size_t size : {n, (size_t)10, (size_t)1}) {
        memset(out, 'x', sizeof out);
        EXPECT_EQ(tovantts_plan_ctrl(nullptr, plan, out, size, 1.0f), 1) << size;
        EXPECT_EQ(out[0], '\0');
        EXPECT_EQ(out[1], 'x');  // nothing else is written
    }
    memset(out, 'x', sizeof out);
    EXPECT_EQ(tovantts_plan_ctrl(nullptr, plan, out, 0, 1.0f), 1);
    EXPECT_EQ(out[0], 'x');
    EXPECT_EQ(tovantts_plan_ctrl(nullptr, plan, nullptr, 100, 1.0f), 1);
    ASSERT_EQ(tovantts_plan_ctrl(nullptr, nullptr, out, sizeof out, 1.0f), 0);
    EXPECT_STREQ(out, "rate=0.00,loud=0.00,f0_med=0.00,f0_iqr=0.00,f0_end=0.00");
}

TEST(PlanPause, Table) {
    struct Case {
        float p5, pace;
        int32_t ms;
    } cases[] = {
        {0, 1, 80},
        {0.5f, 1, 649},  // exp(0.5) - 1 = 0.6487...
        {0.5f, 0.2f, 649},   // a pace of 0.25 or below counts as 1
        {0.5f, 0.25f, 649},
        {0.5f, 0, 649},
        {0.5f, -3, 649},
        {0.5f, 0.26f, 1500},  // 648.72 / 0.26 = 2495.1
        {1.0f, 2, 859},       // 1718.28 / 2
        {0.4f, 1, 492},       // 491.82
        {0.4f, 0.5f, 984},    // half the pace, twice the pause
        {3, 1, 1500},
        {100, 1, 1500},      // exp overflows to infinity
        {-5, 1, 80},
        {log1pf(0.0812f), 1, 81},
        {NAN, 1, 80},        // a NaN or infinite plan value counts as 0
        {INF, 1, 80},
        {-INF, 1, 80},
        {0.5f, NAN, 649},
        {0.5f, INF, 80},
        {100, INF, 80},
    };
    for (const Case &c : cases) {
        float plan[6] = {0, 0, 0, 0, 0, c.p5};
        EXPECT_EQ(tovantts_plan_pause_ms(plan, c.pace), c.ms) << c.p5 << " at pace " << c.pace;
    }
    EXPECT_EQ(tovantts_plan_pause_ms(nullptr, 1), 0);
}

}  // namespace
