#pragma once
// One utterance the application is about to announce: parts in speaking
// order, each with its words, mood, optional voice and a pause after it.
// Adding a part trims its text and drops it when nothing is left, so callers
// can add optional pieces without testing them first.

#include "Expression.h"

#include <optional>
#include <string>
#include <vector>

namespace tovan {

class Speech {
public:
    struct Part {
        // The text is kept as given; a missing mood becomes NEUTRAL.
        Part(std::u16string text, Expression::MoodRef mood = nullptr,
             std::optional<std::u16string> voice = std::nullopt, int pauseAfterMs = 0);

        std::u16string text;
        Expression::MoodRef mood;
        // Overrides the announcer's voice for this part when the engine has it.
        std::optional<std::u16string> voice;
        int pauseAfterMs = 0;
    };

    std::vector<Part> parts;

    Speech() = default;
    static Speech of(const std::optional<std::u16string>& text);

    Speech& add(const std::optional<std::u16string>& text);
    Speech& add(const std::optional<std::u16string>& text, Expression::MoodRef mood);
    Speech& add(const std::optional<std::u16string>& text, Expression::MoodRef mood,
                std::optional<std::u16string> voice, int pauseAfterMs);

    // Lengthens the last part's pause; nothing happens without parts.
    Speech& pause(int ms);

    bool isEmpty() const { return parts.empty(); }
    // The parts' words joined by single blanks.
    std::u16string text() const;
    // The first part's mood that is not neutral, else NEUTRAL.
    Expression::MoodRef mainMood() const;
};

} // namespace tovan
