#pragma once
// Small helpers shared by the document reader tests.

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Regex.h"
#include "TempDir.h"

namespace tovan::test {

// A text with everything outside printable ASCII written as \uXXXX, for
// failure messages.
inline std::string shown(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(char(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(c));
            out += buf;
        }
    }
    return out;
}

// A random text of up to `most` tokens drawn from `tokens`.
inline std::u16string randomText(std::mt19937& rng, const std::vector<std::u16string>& tokens, int most) {
    std::u16string s;
    const int count = int(rng() % unsigned(most + 1));
    for (int i = 0; i < count; ++i) s += tokens[rng() % tokens.size()];
    return s;
}

}  // namespace tovan::test
