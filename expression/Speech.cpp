#include "Speech.h"

#include "Regex.h"

#include <algorithm>
#include <limits>

namespace tovan {

Speech::Part::Part(std::u16string text, Expression::MoodRef mood, std::optional<std::u16string> voice,
                   int pauseAfterMs)
    : text(std::move(text)), mood(mood ? std::move(mood) : Expression::NEUTRAL()), voice(std::move(voice)),
      pauseAfterMs(pauseAfterMs) {}

Speech Speech::of(const std::optional<std::u16string>& text) {
    Speech s;
    s.add(text);
    return s;
}

Speech& Speech::add(const std::optional<std::u16string>& text) {
    return add(text, nullptr, std::nullopt, 0);
}

Speech& Speech::add(const std::optional<std::u16string>& text, Expression::MoodRef mood) {
    return add(text, std::move(mood), std::nullopt, 0);
}

Speech& Speech::add(const std::optional<std::u16string>& text, Expression::MoodRef mood,
                    std::optional<std::u16string> voice, int pauseAfterMs) {
    if (!text) return *this;
    std::u16string t = jtrim(*text);
    if (t.empty()) return *this;
    parts.emplace_back(std::move(t), std::move(mood), std::move(voice), pauseAfterMs);
    return *this;
}

Speech& Speech::pause(int ms) {
    if (parts.empty()) return *this;
    Part last = parts.back();
    parts.pop_back();
    // Saturating: a run of long pauses must not wrap round to a negative one.
    long long sum = static_cast<long long>(last.pauseAfterMs) + ms;
    sum = std::clamp<long long>(sum, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    parts.emplace_back(std::move(last.text), std::move(last.mood), std::move(last.voice), static_cast<int>(sum));
    return *this;
}

std::u16string Speech::text() const {
    std::u16string out;
    for (const auto& part : parts) {
        if (!out.empty()) out += u' ';
        out += part.text;
    }
    return out;
}

Expression::MoodRef Speech::mainMood() const {
    for (const auto& part : parts)
        if (!part.mood->neutral()) return part.mood;
    return Expression::NEUTRAL();
}

} // namespace tovan
