#include "Narration.h"

#include "Regex.h"

#include <algorithm>

namespace tovan::Narration {

using Expression::MoodRef;

namespace {

bool isMark(char16_t c) { return c == EM_ON[0] || c == EM_OFF[0] || c == HEAD[0]; }

size_t count(const std::u16string& text, std::u16string_view mark) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), mark[0]));
}

void removeAll(std::u16string& s, char16_t c) { s.erase(std::remove(s.begin(), s.end(), c), s.end()); }

// Anything but ASCII punctuation and symbols, white space, curly quotation
// marks and dashes: a piece without such a character says nothing.
constexpr std::u16string_view CONTENT = u"[^!-/:-@\\[-`{-~\\s“”‘’—–]";

}  // namespace

std::u16string strip(const std::u16string& text) {
    if (std::none_of(text.begin(), text.end(), isMark)) return text;
    std::u16string s = text;
    removeAll(s, EM_ON[0]);
    removeAll(s, EM_OFF[0]);
    removeAll(s, HEAD[0]);
    return s;
}

std::u16string display(const std::u16string& text) { return jtrim(strip(text)); }

bool isDialogue(const std::u16string& quoted) {
    const std::u16string q = jtrim(quoted);
    if (rx(u"\\s+").split(q).size() > 2) return true;
    return rx(u".*[.!?,]$").whole(q);
}

const MoodRef& HEADING() {
    static const MoodRef mood = Expression::Mood::make(u"heading", std::nullopt, u"a heading: slower",
                                                       {{u"rate", -0.3f}, {u"f0_iqr", 0.3f}, {u"loud", 0.2f}});
    return mood;
}

std::u16string markup(const std::u16string& text) {
    std::u16string s = text;
    for (char16_t& c : s) {
        if (c == u'[')
            c = u'(';
        else if (c == u']')
            c = u')';
        else if (c == u'<' || c == u'>' || c == u'*')
            c = u' ';
    }
    const size_t on = count(s, EM_ON), off = count(s, EM_OFF);
    if (on >= 1 && on == off) {
        for (char16_t& c : s)
            if (c == EM_ON[0] || c == EM_OFF[0]) c = u'*';
        s = rx(uR"(\*\s*\*)").replaceAll(s, u" ");
    } else if (std::any_of(s.begin(), s.end(), isMark)) {
        removeAll(s, EM_ON[0]);
        removeAll(s, EM_OFF[0]);
        removeAll(s, HEAD[0]);
    }
    return jtrim(rx(uR"(\s{2,})").replaceAll(s, u" "));
}

namespace {

MoodRef dialogueMood(const std::u16string& words, const std::optional<Cast::Line>& line) {
    MoodRef own = Expression::of(display(words));
    if (!line || !line->delivery) return own;
    const MoodRef& delivery = line->delivery;
    if (delivery->tag) return delivery;
    if (own->neutral()) return delivery;
    return own->plus(delivery->why, delivery->pairs());
}

void narrate(std::vector<Seg>& out, const std::u16string& piece, const MoodRef& mood) {
    const std::u16string t = jtrim(piece);
    if (!rx(CONTENT).find(t)) return;
    out.push_back(Seg{markup(t), false, false, mood, 120});
}

}  // namespace

std::vector<Seg> segments(const std::u16string& text, const std::optional<Cast::Line>& line) {
    std::vector<Seg> out;
    if (text.empty()) return out;
    if (text[0] == HEAD[0]) {
        out.push_back(Seg{markup(text.substr(1)), false, true, HEADING(), 650});
        return out;
    }
    const MoodRef narration = line ? line->scene : Expression::NEUTRAL();
    int pos = 0;
    for (const JMatch& m : rx(Cast::QUOTE).all(text)) {
        const std::u16string words = Cast::inner(m);
        if (!isDialogue(words)) continue;
        narrate(out, jsub(text, pos, m.start(0)), narration);
        out.push_back(Seg{markup(words), true, false, dialogueMood(words, line), 120});
        pos = m.end(0);
    }
    narrate(out, jsub(text, pos), narration);
    return out;
}

}  // namespace tovan::Narration
