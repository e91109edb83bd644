#pragma once
// Narration: preparing the text of a book or document for expressive
// reading. The inline marks that travel inside paragraph text (emphasis on,
// emphasis off, heading), their removal for display, the test that tells a
// spoken line from a quoted title or term, and the cutting of a paragraph into
// narration, dialogue and heading segments with moods, pauses and the
// engine's emphasis markup.
//
// All positions are UTF-16 offsets; "trimmed" means jtrim (units up to U+0020
// removed from both ends). Every function is pure and may run on any thread.

#include "Cast.h"
#include "Expression.h"
#include "TextMarkers.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovan::Narration {

// The marks, each one private-use character.
inline constexpr std::u16string_view EM_ON = u"\uE000";   // emphasis begins
inline constexpr std::u16string_view EM_OFF = u"\uE001";  // emphasis ends
inline constexpr std::u16string_view HEAD = u"\uE002";    // first character of a heading paragraph
static_assert(EM_ON[0] == TextMarkers::on && EM_OFF[0] == TextMarkers::off && HEAD[0] == TextMarkers::head);

// The text with every mark removed, trimmed.
std::u16string display(const std::u16string& text);
// The text with every mark removed, not trimmed; unchanged when it holds none.
std::u16string strip(const std::u16string& text);
// Whether the words inside a pair of quotation marks are spoken: three words
// or more, or a line ending in ".", "!", "?" or ",". A quoted title, term or
// nickname ("Shorty") is not.
bool isDialogue(const std::u16string& quoted);

// The mood of headings: slower, wider, a little louder.
const Expression::MoodRef& HEADING();

// One piece of a paragraph to speak in one mood.
struct Seg {
    std::u16string text;  // engine markup form (see markup)
    bool dialogue = false;
    bool heading = false;
    Expression::MoodRef mood;
    int pauseAfterMs = 120;  // 650 after a heading
};

// The paragraph cut into narration and dialogue segments in text order, or
// one heading segment when it starts with HEAD. The line (the paragraph's
// dialogue analysis) gives the narration its scene mood and the dialogue its
// delivery.
std::vector<Seg> segments(const std::u16string& text, const std::optional<Cast::Line>& line = std::nullopt);

// Text the engine reads with markup on: the text's own brackets and
// asterisks neutralised, balanced emphasis marks written as "*...*", other
// marks dropped, runs of white space collapsed, trimmed.
std::u16string markup(const std::u16string& text);

}  // namespace tovan::Narration
