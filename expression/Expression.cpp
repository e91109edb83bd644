#include "Expression.h"

#include "Regex.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/uniset.h>
#include <unicode/utf16.h>
#include <unicode/unistr.h>

namespace tovan {
namespace Expression {

Mood::Table Mood::table(const Pairs& pairs, bool sum) {
    Table t;
    for (const auto& [key, value] : pairs) {
        auto it = t.ctrl.find(key);
        if (it == t.ctrl.end()) {
            t.keys.push_back(key);
            t.ctrl.emplace(key, value);
        } else if (sum) {
            it->second += value;
        } else {
            it->second = value;
        }
    }
    return t;
}

Mood::Mood(std::u16string name, std::optional<std::u16string> tag, std::u16string why, Table t)
    : name(std::move(name)), tag(std::move(tag)), why(std::move(why)), ctrl(std::move(t.ctrl)),
      ctrlKeys(std::move(t.keys)) {}

Mood::Mood(std::u16string name, std::optional<std::u16string> tag, std::u16string why,
           const Pairs& pairs)
    : Mood(std::move(name), std::move(tag), std::move(why), table(pairs, false)) {}

MoodRef Mood::make(std::u16string name, std::optional<std::u16string> tag, std::u16string why,
                   const Pairs& pairs) {
    return std::make_shared<const Mood>(std::move(name), std::move(tag), std::move(why), pairs);
}

Pairs Mood::pairs() const {
    Pairs out;
    out.reserve(ctrlKeys.size());
    for (const auto& key : ctrlKeys) out.emplace_back(key, ctrl.at(key));
    return out;
}

bool Mood::neutral() const { return !tag && ctrl.empty(); }

MoodRef Mood::plus(const std::u16string& addedWhy, const Pairs& added) const {
    Pairs all = pairs();
    all.insert(all.end(), added.begin(), added.end());
    std::u16string reason = why.empty() ? addedWhy : why + u"; " + addedWhy;
    return std::shared_ptr<const Mood>(new Mood(name, tag, std::move(reason), table(all, true)));
}

#define TOVAN_MOOD(fn, ...)                                     \
    const MoodRef& fn() {                                       \
        static const MoodRef mood = Mood::make(__VA_ARGS__);    \
        return mood;                                            \
    }

TOVAN_MOOD(NEUTRAL, u"neutral", std::nullopt, u"")
TOVAN_MOOD(URGENT, u"urgent", u"determined", u"urgent: faster, louder",
           {{u"rate", 0.8f}, {u"loud", 1.2f}, {u"f0_med", 0.5f}, {u"tilt", 0.8f}, {u"pause", -0.5f}})
TOVAN_MOOD(SAD, u"sad", u"sadness", u"sad news: slower, lower",
           {{u"rate", -0.6f}, {u"f0_med", -0.7f}, {u"f0_iqr", -0.7f}, {u"loud", -0.6f}})
TOVAN_MOOD(SORRY, u"sorry", u"apologetic", u"an apology: gentle",
           {{u"rate", -0.3f}, {u"f0_med", -0.4f}, {u"f0_iqr", -0.3f}, {u"loud", -0.4f}})
TOVAN_MOOD(WORRIED, u"worried", u"anxiety", u"worried: quicker, higher",
           {{u"rate", 0.4f}, {u"f0_med", 0.5f}, {u"f0_iqr", 0.6f}})
TOVAN_MOOD(ANNOYED, u"annoyed", u"irritation", u"annoyed: firm",
           {{u"loud", 0.6f}, {u"f0_iqr", 0.5f}, {u"rate", 0.3f}, {u"f0_end", -0.6f}})
TOVAN_MOOD(EXCITED, u"excited", u"excited", u"excited: livelier, faster",
           {{u"rate", 0.7f}, {u"loud", 0.9f}, {u"f0_iqr", 1.4f}, {u"f0_med", 0.9f}})
TOVAN_MOOD(AMUSED, u"amused", u"amusement", u"amused: playful",
           {{u"f0_iqr", 1.0f}, {u"f0_med", 0.5f}, {u"rate", 0.3f}})
TOVAN_MOOD(HAPPY, u"happy", u"happiness", u"happy: brighter",
           {{u"f0_iqr", 1.1f}, {u"f0_med", 0.6f}, {u"rate", 0.3f}, {u"tilt", 0.4f}})
TOVAN_MOOD(LOVING, u"loving", u"contentment", u"affectionate: warm",
           {{u"f0_iqr", 0.6f}, {u"h1h2", 0.6f}, {u"rate", -0.2f}})
TOVAN_MOOD(GRATEFUL, u"grateful", u"contentment", u"thankful: warm",
           {{u"f0_iqr", 0.8f}, {u"f0_med", 0.3f}})
TOVAN_MOOD(SECRET, u"secret", u"whisper", u"a secret: whispered")
TOVAN_MOOD(CALM, u"calm", u"serenity", u"calm",
           {{u"rate", -0.3f}, {u"f0_iqr", -0.5f}, {u"loud", -0.3f}})
TOVAN_MOOD(CONFIDENT, u"confident", u"confidence", u"clear",
           {{u"f0_med", -0.3f}, {u"loud", 0.3f}})

#undef TOVAN_MOOD

// ---- Detection -------------------------------------------------------------

namespace {

struct Cue {
    MoodRef mood;
    std::u16string_view words;
    std::u16string_view emoji;
};

// Rows in order; the order also breaks ties.
const std::vector<Cue>& cues() {
    static const std::vector<Cue> rows{
        {URGENT(),
         u"\\b(urgent(ly)?|asap|emergency|911|help me|call me (right )?now|it'?s urgent|please call( me)? back now)\\b",
         u"\U0001F6A8|\U0001F198"},
        {SAD(),
         u"\\b(passed away|funeral|heartbroken|devastated|so sad|bad news|lost (her|his|my|our) "
         u"(mom|dad|mother|father|grand\\w*|wife|husband|dog|cat))\\b",
         u"\U0001F622|\U0001F62D|\U0001F494|\U0001F61E|\U0001F614|\u2639\uFE0F|\U0001F63F"},
        {SORRY(),
         u"\\b(so sorry|i'?m sorry|sorry (about|for|to)|apologi[sz]e|apologies|my bad|forgive me|unfortunately|"
         u"(got |been |was )cancell?ed)\\b",
         u"\U0001F647"},  // person bowing
        {WORRIED(),
         u"\\b(worried|scared|nervous|afraid|anxious|are you ok(ay)?|is everything ok(ay)?|hope you'?re ok(ay)?)\\b",
         u"\U0001F61F|\U0001F630|\U0001F628|\U0001F627"},
        {ANNOYED(),
         u"\\b(ugh+|so annoy(ed|ing)|so angry|furious|wtf|ridiculous|so done with)\\b|\\bseriously\\?+",
         u"\U0001F621|\U0001F620|\U0001F92C|\U0001F644|\U0001F624"},
        {EXCITED(),
         u"\\b(congrats|congratulations|amazing news|so excited|can'?t wait|woo+hoo+|yay+|we won|got the job|got in|"
         u"happy birthday|let'?s go+|we did it)\\b",
         u"\U0001F389|\U0001F973|\U0001F38A|\U0001F929|\U0001F382|\U0001F680"},
        {AMUSED(), u"\\b(ha(ha)+h?|he(he)+|lol+|lmao+|rofl|too funny|hilarious|so funny)\\b",
         u"\U0001F602|\U0001F923|\U0001F606|\U0001F639|\U0001F61C|\U0001F61D"},
        {LOVING(), u"\\b(love you|love u|luv u|miss you|miss u|xoxo)\\b",
         u"\u2764\uFE0F|\u2764|\U0001F60D|\U0001F970|\U0001F618|\U0001F495|\U0001F496|\U0001F497|\U0001F49E"},
        {GRATEFUL(), u"\\b(thank you|thanks so much|thanks a lot|many thanks|appreciate (it|you))\\b", u"\U0001F64F"},
        {HAPPY(), u"\\b(good news|so glad|so happy|well done|wonderful|nice one|great news|good morning)\\b",
         u"\U0001F60A|\U0001F642|\U0001F604|\U0001F601|\U0001F603|\u263A\uFE0F|\U0001F600|\u2728"},
        {SECRET(), u"\\b(don'?t tell (anyone|anybody)|it'?s a secret|between us|keep it quiet)\\b",
         u"\U0001F92B"},  // shushing face
    };
    return rows;
}

constexpr size_t ANNOYED_ROW = 4;
constexpr size_t EXCITED_ROW = 5;

struct Compiled {
    const Regex* words;
    const Regex* emoji;
};

// Compiled once. The word expressions ignore case and do not count a cue
// right after "not ", "n't " or "no " ("not worried", "isn't urgent").
const std::vector<Compiled>& patterns() {
    static const std::vector<Compiled> rows = [] {
        std::vector<Compiled> out;
        for (const auto& cue : cues()) {
            std::u16string words = u"(?i)(?<!\\bnot )(?<!n't )(?<!\\bno )(?:";
            words += cue.words;
            words += u")";
            out.push_back({&rx(words), &rx(cue.emoji)});
        }
        return out;
    }();
    return rows;
}

constexpr std::u16string_view EMOJI_RUN =
    u"[\\x{1F000}-\\x{1FAFF}\\x{2600}-\\x{27BF}\\x{2B00}-\\x{2BFF}\\x{1F1E6}-\\x{1F1FF}"
    u"\\x{FE0F}\\x{200D}\\x{20E3}\\x{E0020}-\\x{E007F}]+";
constexpr std::u16string_view SPACE_BEFORE_MARK = u"(?<!\\s)\\s++([,.!?])";

// The characters that may follow a final question mark without hiding it:
// white space (what \s means in ICU), other symbols, modifier symbols
// (skin tones), variation selector 16 and the zero-width joiner.
const icu::UnicodeSet& decoration() {
    static const icu::UnicodeSet set = [] {
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeSet s(icu::UnicodeString(u"[\\p{White_Space}\\p{So}\\p{Sk}\\uFE0F\\u200D]"), status);
        if (U_FAILURE(status)) std::abort();
        s.freeze();
        return s;
    }();
    return set;
}

struct EmojiWord {
    std::u16string_view emoji;
    std::u16string_view words;
};

constexpr std::array<EmojiWord, 22> EMOJI_WORDS{{
    {u"\U0001F44D", u"a thumbs up"},
    {u"\U0001F44E", u"a thumbs down"},
    {u"\u2764\uFE0F", u"a heart"},
    {u"\u2764", u"a heart"},
    {u"\U0001F602", u"a laughing face"},
    {u"\U0001F923", u"a laughing face"},
    {u"\U0001F60D", u"a heart-eyes face"},
    {u"\U0001F389", u"a party popper"},
    {u"\U0001F64F", u"folded hands"},
    {u"\U0001F622", u"a crying face"},
    {u"\U0001F62D", u"a crying face"},
    {u"\U0001F62E", u"a surprised face"},
    {u"\U0001F621", u"an angry face"},
    {u"\U0001F44B", u"a wave"},
    {u"\U0001F525", u"a fire emoji"},
    {u"\U0001F44F", u"applause"},
    {u"\U0001F618", u"a kiss"},
    {u"\U0001F970", u"a smiling face with hearts"},
    {u"\U0001F60A", u"a smile"},
    {u"\U0001F642", u"a smile"},
    {u"\U0001F44C", u"an OK hand"},
    {u"\U0001F4AF", u"a hundred points emoji"},
}};

struct Chat {
    std::u16string_view abbreviation;
    std::u16string_view expansion;
};

constexpr std::array<Chat, 23> CHAT{{
    {u"idk", u"I don't know"}, {u"btw", u"by the way"},     {u"brb", u"be right back"},
    {u"omw", u"on my way"},    {u"tmrw", u"tomorrow"},      {u"tmr", u"tomorrow"},
    {u"thx", u"thanks"},       {u"ty", u"thank you"},       {u"pls", u"please"},
    {u"plz", u"please"},       {u"u", u"you"},              {u"ur", u"your"},
    {u"omg", u"oh my god"},    {u"imo", u"in my opinion"},  {u"ttyl", u"talk to you later"},
    {u"np", u"no problem"},    {u"wyd", u"what are you doing"}, {u"hbu", u"how about you"},
    {u"gm", u"good morning"},  {u"gn", u"good night"},      {u"bday", u"birthday"},
    {u"rn", u"right now"},     {u"ily", u"I love you"},
}};

// Literal text inside a pattern.
std::u16string quotePattern(std::u16string_view s) {
    std::u16string out;
    for (char16_t c : s) {
        bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        if (!plain) out += u'\\';
        out += c;
    }
    return out;
}

// Literal text inside a replacement template.
std::u16string quoteTemplate(std::u16string_view s) {
    std::u16string out;
    for (char16_t c : s) {
        if (c == u'$' || c == u'\\') out += u'\\';
        out += c;
    }
    return out;
}

struct ChatRule {
    const Regex* pattern;
    std::u16string replacement;
};

const std::vector<ChatRule>& chatRules() {
    static const std::vector<ChatRule> rules = [] {
        std::vector<ChatRule> out;
        for (const auto& row : CHAT) {
            std::u16string p = u"(?i)(?<![\\w'])" + quotePattern(row.abbreviation) + u"(?![\\w'])";
            out.push_back({&rx(p), quoteTemplate(row.expansion)});
        }
        return out;
    }();
    return rules;
}

std::u16string lower(const std::u16string& s) {
    icu::UnicodeString u(s.data(), static_cast<int32_t>(s.size()));
    u.toLower(icu::Locale::getRoot());
    return std::u16string(u.getBuffer(), static_cast<size_t>(u.length()));
}

bool isLetter(char16_t c) {
    switch (u_charType(c)) {
    case U_UPPERCASE_LETTER:
    case U_LOWERCASE_LETTER:
    case U_TITLECASE_LETTER:
    case U_MODIFIER_LETTER:
    case U_OTHER_LETTER:
        return true;
    default:
        return false;
    }
}

} // namespace

MoodRef of(const std::optional<std::u16string>& text) {
    if (!text || jtrim(*text).empty()) return NEUTRAL();
    const std::u16string& t = *text;
    const auto& rows = cues();
    const auto& compiled = patterns();
    std::vector<size_t> score(rows.size(), 0);
    for (size_t i = 0; i < rows.size(); ++i)
        score[i] = compiled[i].words->all(t).size() + 2 * compiled[i].emoji->all(t).size();

    // Two or more exclamation marks anywhere read as excitement, unless the
    // text is already annoyed.
    if (std::count(t.begin(), t.end(), u'!') >= 2 && score[ANNOYED_ROW] == 0) score[EXCITED_ROW] += 1;
    const bool shout = shouting(t);
    if (shout) score[score[ANNOYED_ROW] > 0 ? ANNOYED_ROW : EXCITED_ROW] += 1;

    MoodRef result = NEUTRAL();
    size_t best = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (score[i] > best) {
            best = score[i];
            result = rows[i].mood;
        }
    }
    if (shout) result = result->plus(u"in capitals: louder", {{u"loud", 0.6f}});
    // By identity: an urgent text in capitals is a new mood by now and rises too.
    if (question(t) && result != URGENT()) result = result->plus(u"question: rising end", {{u"f0_end", 1.4f}});
    return result;
}

bool shouting(const std::u16string& text) {
    size_t letters = 0, upper = 0;
    for (char16_t c : text) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        if (!isLetter(c)) continue;
        ++letters;
        if (u_hasBinaryProperty(c, UCHAR_UPPERCASE)) ++upper;
    }
    return letters >= 8 && upper * 10 >= letters * 8;
}

bool question(const std::u16string& text) {
    // Same as deleting "[\s\p{So}\p{Sk}\uFE0F\u200D]+$", but a backward scan:
    // the regex retries from every position of a long inner run of blanks,
    // which made a text with 40,000 spaces take seconds.
    const std::u16string t = jtrim(text);
    int32_t end = static_cast<int32_t>(t.size());
    while (end > 0) {
        UChar32 c;
        int32_t i = end;
        U16_PREV(t.data(), 0, i, c);
        if (!decoration().contains(c)) break;
        end = i;
    }
    return end > 0 && t[static_cast<size_t>(end) - 1] == u'?';
}

bool emojiOnly(const std::u16string& text) {
    std::u16string t = jtrim(text);
    if (t.empty()) return false;
    return jtrim(rx(EMOJI_RUN).replaceAll(t, u"")).empty();
}

std::optional<std::u16string> describeEmoji(const std::u16string& text) {
    if (!emojiOnly(text)) return std::nullopt;
    std::u16string t = jtrim(text);
    for (const auto& row : EMOJI_WORDS)
        if (std::u16string_view(t).substr(0, row.emoji.size()) == row.emoji) return std::u16string(row.words);
    return std::u16string(u"an emoji");
}

std::u16string speakable(const std::u16string& text) {
    std::u16string t = rx(EMOJI_RUN).replaceAll(text, u" ");
    t = rx(u"(?i)(^|\\s)(lol+|lmao+|rofl)(?=\\s|[.,!?]|$)").replaceAll(t, u"$1");
    t = rx(u"(\\p{L})\\1{2,}").replaceAll(t, u"$1$1");
    for (const auto& rule : chatRules()) t = rule.pattern->replaceAll(t, rule.replacement);
    t = bmp(t);
    // "\s+([,.!?])" gives the same matches (each begins where a run of blanks
    // begins, and takes the whole run), but retries from every blank of a long
    // run that no mark follows: seconds for 40,000 blanks. Starting only at a
    // run's beginning, without backtracking, keeps it linear.
    t = rx(SPACE_BEFORE_MARK).replaceAll(t, u"$1");
    t = rx(u"\\s{2,}").replaceAll(t, u" ");
    return jtrim(t);
}

std::u16string bmp(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out += u' ';
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += u'\uFFFD';  // a lone surrogate is no character; the engine would see U+FFFD anyway
        } else {
            out += c;
        }
    }
    return out;
}

std::u16string describe(const Mood& mood) {
    if (mood.neutral()) return u"";
    return lower(mood.why);
}

} // namespace Expression
} // namespace tovan
