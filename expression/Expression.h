#pragma once
// Moods: named, fixed ways of delivering speech (an optional engine delivery
// tag plus offsets for the prosody controls and a reason), the mood constants
// the application shares, and the detection of a mood from the wording of a
// short text.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tovan {
namespace Expression {

class Mood;
// Moods are shared, never copied: a rule that asks "is this URGENT?" compares
// the pointer, so every reader of a constant must get the very same object.
using MoodRef = std::shared_ptr<const Mood>;
// (control name, offset) in the order given.
using Pairs = std::vector<std::pair<std::u16string, float>>;

class Mood {
public:
    // A key given twice keeps the position of its first occurrence and the
    // value of its last.
    Mood(std::u16string name, std::optional<std::u16string> tag, std::u16string why,
         const Pairs& pairs = {});

    static MoodRef make(std::u16string name, std::optional<std::u16string> tag,
                        std::u16string why, const Pairs& pairs = {});

    const std::u16string name;
    // Absent: the mood leaves the caller's delivery tag alone.
    const std::optional<std::u16string> tag;
    const std::u16string why;
    const std::map<std::u16string, float> ctrl;
    // Keys of ctrl in the order they were first given.
    const std::vector<std::u16string> ctrlKeys;

    // One pair per key of ctrlKeys, in that order.
    Pairs pairs() const;
    // No tag and no offsets (a reason alone does not count).
    bool neutral() const;
    // A new mood with this one's name and tag, the offsets of shared keys
    // summed (unclamped) and the reasons joined with "; ".
    MoodRef plus(const std::u16string& why, const Pairs& pairs) const;

private:
    struct Table {
        std::map<std::u16string, float> ctrl;
        std::vector<std::u16string> keys;
    };
    // Keeps first positions; `sum` decides whether a repeated key adds or replaces.
    static Table table(const Pairs& pairs, bool sum);
    Mood(std::u16string name, std::optional<std::u16string> tag, std::u16string why, Table t);
};

// The shared constants, each built once on first use.
const MoodRef& NEUTRAL();
const MoodRef& URGENT();
const MoodRef& SAD();
const MoodRef& SORRY();
const MoodRef& WORRIED();
const MoodRef& ANNOYED();
const MoodRef& EXCITED();
const MoodRef& AMUSED();
const MoodRef& HAPPY();
const MoodRef& LOVING();
const MoodRef& GRATEFUL();
const MoodRef& SECRET();
const MoodRef& CALM();
const MoodRef& CONFIDENT();

// The mood of a short text (a message, a line of dialogue) from its cue
// words, emoji, exclamation marks, capitals and a final question mark.
MoodRef of(const std::optional<std::u16string>& text);
// At least 8 letters, and at least 80 per cent of them capitals.
bool shouting(const std::u16string& text);
// Ends with "?", ignoring blanks, emoji and other symbols after it.
bool question(const std::u16string& text);
// Nothing but emoji (and blanks).
bool emojiOnly(const std::u16string& text);
// "a thumbs up" for an emoji-only text; absent for any other text.
std::optional<std::u16string> describeEmoji(const std::u16string& text);
// Chat text fit for a voice: emoji and laughter words dropped, letters
// repeated three times or more cut to two, chat abbreviations spelled out.
std::u16string speakable(const std::u16string& text);
// Every character above U+FFFF replaced by one space.
std::u16string bmp(const std::u16string& text);
// The mood's reason in lower case; "" for a neutral mood.
std::u16string describe(const Mood& mood);

} // namespace Expression
} // namespace tovan
