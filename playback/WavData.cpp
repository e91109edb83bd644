#include "WavData.h"

#include <cstring>
#include <stdexcept>

namespace tovan {

namespace {

void put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xffff);
    put16(p + 2, v >> 16);
}

}  // namespace

int16_t pcm16(float sample) {
    // Written so that NaN (which compares false) takes the full-scale branch.
    if (sample < 1.0f) {
        float v = sample > -1.0f ? sample : -1.0f;
        return static_cast<int16_t>(v * 32767.0f);
    }
    return 32767;
}

void wavHeader(uint8_t out[44], int64_t n, int64_t sampleRate) {
    if (n < 0 || n > WAV_MAX_SAMPLES)
        throw std::length_error("wav: too many samples for a WAV file (at most 2147483629)");
    if (sampleRate < 0 || sampleRate > 2147483647) throw std::length_error("wav: sample rate out of range");
    const uint32_t data = uint32_t(2 * n);
    std::memcpy(out, "RIFF", 4);
    put32(out + 4, 36 + data);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    put32(out + 16, 16);
    put16(out + 20, 1);  // integer PCM
    put16(out + 22, 1);  // mono
    put32(out + 24, uint32_t(sampleRate));
    put32(out + 28, uint32_t(2 * sampleRate));
    put16(out + 32, 2);
    put16(out + 34, 16);
    std::memcpy(out + 36, "data", 4);
    put32(out + 40, data);
}

std::vector<uint8_t> wavData(std::span<const float> samples, int64_t sampleRate) {
    const int64_t n = static_cast<int64_t>(samples.size());
    uint8_t header[44];
    wavHeader(header, n, sampleRate);
    std::vector<uint8_t> bytes(44 + 2 * size_t(n));
    std::memcpy(bytes.data(), header, 44);
    uint8_t* p = bytes.data() + 44;
    for (float s : samples) {
        put16(p, uint16_t(pcm16(s)));
        p += 2;
    }
    return bytes;
}

}  // namespace tovan
