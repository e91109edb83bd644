#pragma once
// Dialogue analysis of a whole book: for every paragraph, who speaks in it,
// their gender, how the line is delivered (the mood of the speech verb) and
// how the scene around it feels; the characters met on the way; and a voice
// of its own for each character, kept for the rest of the book.
//
// Plain text work on regular expressions and word lists, no model. A Cast is
// made once per document by analyze() and shared; after analyze() returns,
// only the voices given out change, under the Cast's own lock.

#include "Expression.h"
#include "Regex.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

U_NAMESPACE_BEGIN
class RegexMatcher;
class RegexPattern;
U_NAMESPACE_END

namespace tovan {

class Cast {
public:
    struct Line {
        // A null scene becomes NEUTRAL.
        Line(std::optional<std::u16string> speaker, std::optional<std::u16string> gender,
             Expression::MoodRef delivery, Expression::MoodRef scene);

        // The canonical name, "Narrator" for first-person speech, absent for
        // narration and for dialogue whose speaker was not found.
        std::optional<std::u16string> speaker;
        // "female", "male" or absent.
        std::optional<std::u16string> gender;
        // The speech verb's mood; null when there is none.
        Expression::MoodRef delivery;
        // Never null; NEUTRAL when the paragraph shows no scene mood.
        Expression::MoodRef scene;
    };

    // Delivery moods of speech verbs.
    static const Expression::MoodRef& WHISPER();
    static const Expression::MoodRef& SHOUT();
    static const Expression::MoodRef& MUTTER();
    static const Expression::MoodRef& STAMMER();
    static const Expression::MoodRef& GASP();
    static const Expression::MoodRef& PLEAD();
    static const Expression::MoodRef& SIGH();
    static const Expression::MoodRef& GROWL();
    static const Expression::MoodRef& ASK();
    // Scene moods.
    static const Expression::MoodRef& TENSE();
    static const Expression::MoodRef& SOMBRE();
    static const Expression::MoodRef& BRIGHT();
    static const Expression::MoodRef& ACTION();

    // A quotation in curly or straight, double or single quotation marks;
    // groups 1-4 hold the inside for each kind (apostrophes inside single
    // quotes are allowed).
    // (Defined in Cast.cpp: Qt's moc loses its place in the raw string and
    // would misplace the classes of every header that includes this one.)
    static const std::u16string_view QUOTE;

    // One line per paragraph, in order. Never fails.
    static std::shared_ptr<Cast> analyze(const std::vector<std::u16string>& paragraphs);

    Cast(const Cast&) = delete;
    Cast& operator=(const Cast&) = delete;
    ~Cast();

    // Fixed once analyze() has returned, so they are handed out by reference.
    const std::vector<Line>& lines() const { return lines_; }
    // Speakers in the order they were first given a line; never "Narrator".
    const std::vector<std::u16string>& characters() const { return characters_; }
    // Character -> "female"/"male"; the first gender recorded stays.
    const std::map<std::u16string, std::u16string>& gender() const { return gender_; }

    // Whether any quotation in the text reads as speech.
    static bool hasDialogue(const std::u16string& text);
    // The inside of one QUOTE match; empty when no group took part.
    static std::u16string inner(const JMatch& m);
    // The narration around the speech: every spoken quotation replaced by
    // " ¶ ", quotations that are not speech left as they are.
    static std::u16string outside(const std::u16string& text);
    // The mood of a speech verb ("whispered", "Asked "); null for plain
    // verbs ("said") and unknown words.
    static Expression::MoodRef delivery(const std::optional<std::u16string>& verb);
    // "female", "male" or absent, from the name's words alone.
    static std::optional<std::u16string> genderOf(const std::u16string& name);
    // Without a leading "the" and a trailing possessive, trimmed.
    static std::u16string canonical(const std::u16string& name);
    // The scene mood of a paragraph: NEUTRAL unless one kind of cue occurs
    // at least twice.
    static Expression::MoodRef scene(const std::u16string& text);

    // The voice for a line's speaker: the narrator's voice for "Narrator";
    // otherwise a voice of the speaker's gender (both lists when unknown),
    // not the narrator's and not one another speaker has while any is left,
    // chosen by a hash of the name and then kept. Absent for an absent
    // speaker, and when there is no voice at all to choose from.
    std::optional<std::u16string> voiceFor(const std::optional<std::u16string>& speaker,
                                           const std::optional<std::u16string>& narrator,
                                           const std::vector<std::u16string>& female,
                                           const std::vector<std::u16string>& male);

private:
    Cast();

    static std::vector<std::u16string> namesIn(const std::u16string& text);
    std::u16string resolve(const std::u16string& name) const;
    void remember(const std::u16string& name, const std::optional<std::u16string>& gender);
    // Start of the first whole-word occurrence of a character's name in the
    // text, -1 when there is none.
    int mention(const std::u16string& character, const std::u16string& text);

    // A character's whole-word pattern, compiled for this Cast only (a book's
    // names must not pile up in the process-wide cache).
    struct NamePattern {
        std::unique_ptr<icu::RegexPattern> pattern;
        std::unique_ptr<icu::RegexMatcher> matcher;
        NamePattern();
        NamePattern(NamePattern&&) noexcept;
        ~NamePattern();
    };

    std::vector<Line> lines_;
    std::vector<std::u16string> characters_;
    // The words of each character's name, parallel to characters_.
    std::vector<std::vector<std::u16string>> characterWords_;
    std::map<std::u16string, std::u16string> gender_;
    std::map<std::u16string, NamePattern> namePatterns_;
    std::map<std::u16string, std::u16string> voices_;
    std::mutex lock_;
};

}  // namespace tovan
