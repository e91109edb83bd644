#include "WavData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

using tovan::pcm16;
using tovan::wavData;
using tovan::wavHeader;

TEST(WavData, WorkedExampleByteForByte) {
    const float samples[] = {0.5f, -0.5f, 1.5f};
    const std::vector<uint8_t> expected = {
        0x52, 0x49, 0x46, 0x46, 0x2a, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6d, 0x74, 0x20, 0x10,
        0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0xc0, 0x5d, 0x00, 0x00, 0x80, 0xbb, 0x00, 0x00, 0x02, 0x00,
        0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0x06, 0x00, 0x00, 0x00, 0xff, 0x3f, 0x01, 0xc0, 0xff, 0x7f};
    EXPECT_EQ(wavData(samples, 24000), expected);
}

TEST(WavData, EmptyIsTheBareHeader) {
    auto bytes = wavData({}, 24000);
    ASSERT_EQ(bytes.size(), 44u);
    auto u32 = [&](size_t at) { return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24; };
    EXPECT_EQ(u32(4), 36u);
    EXPECT_EQ(u32(24), 24000u);
    EXPECT_EQ(u32(28), 48000u);
    EXPECT_EQ(u32(40), 0u);
}

TEST(WavData, SampleMappingTruncatesAtFullScale32767) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float in;
        int16_t out;
    } cases[] = {
        {1.0f, 32767}, {1.5f, 32767}, {std::nanf(""), 32767}, {inf, 32767},   {-1.0f, -32767},
        {-2.0f, -32767}, {-inf, -32767}, {0.99999f, 32766}, {0.25f, 8191},     {0.00001f, 0},
        {-0.00001f, 0}, {0.5f, 16383},   {-0.5f, -16383},   {0.0f, 0},         {-0.0f, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(pcm16(c.in), c.out) << c.in;
}

TEST(WavData, SizeFieldsNeverWrap) {
    uint8_t h[44];
    wavHeader(h, tovan::WAV_MAX_SAMPLES, 24000);
    EXPECT_EQ(h[4] | h[5] << 8 | h[6] << 16 | uint32_t(h[7]) << 24, 0xfffffffeu);
    EXPECT_THROW(wavHeader(h, tovan::WAV_MAX_SAMPLES + 1, 24000), std::length_error);
    EXPECT_THROW(wavHeader(h, 10, -1), std::length_error);
    EXPECT_THROW(wavHeader(h, 10, int64_t(1) << 31), std::length_error);
    EXPECT_NO_THROW(wavHeader(h, 10, 2147483647));
}
