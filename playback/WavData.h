#pragma once
// The bytes of a 16-bit PCM mono WAV file in memory: the form in which every
// queued sentence reaches the audio output.

#include <cstdint>
#include <span>
#include <vector>

namespace tovan {

// The largest sample count whose RIFF size (36 + 2n) still fits 32 bits.
inline constexpr int64_t WAV_MAX_SAMPLES = 2147483629;

// One sample as a 16-bit value: below 1.0 it is max(sample, -1) x 32767
// truncated toward zero; 1.0 and above, and NaN, give 32767. Full scale is
// +-32767 both ways, so -32768 never occurs.
int16_t pcm16(float sample);

// The 44-byte header followed by the samples, little-endian. More than
// WAV_MAX_SAMPLES samples, or a rate outside [0, 2^31 - 1], would wrap the
// size fields and throws std::length_error instead.
std::vector<uint8_t> wavData(std::span<const float> samples, int64_t sampleRate);

// The 44-byte header alone for n samples at the rate (same limits).
void wavHeader(uint8_t out[44], int64_t n, int64_t sampleRate);

}  // namespace tovan
