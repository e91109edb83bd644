#include "Readout.h"

#include "Expression.h"
#include "Regex.h"
#include "Spoken.h"
#include "SentenceSplit.h"
#include "Voices.h"

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <mutex>

#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

namespace tovan::Readout {

using Expression::MoodRef;

namespace {

constexpr int kFirstSentenceMax = 140;
constexpr int kFirstSentenceMin = 12;
constexpr int kFirstSentenceBlank = 40;  // a blank this early makes too short a cut
constexpr int64_t kRingWindowMs = 15 * 60 * 1000;

constexpr std::array<std::u16string_view, 7> ORDINALS = {u"",      u"first", u"second", u"third",
                                                         u"fourth", u"fifth", u"sixth"};

std::u16string lower(const std::u16string& s) {
    icu::UnicodeString u(s.data(), static_cast<int32_t>(s.size()));
    u.toLower(icu::Locale::getRoot());
    return std::u16string(u.getBuffer(), static_cast<size_t>(u.length()));
}

std::u16string said(const std::optional<std::u16string>& s) {
    return s ? jtrim(Expression::speakable(*s)) : std::u16string();
}

bool startsWith(const std::u16string& s, const std::u16string& prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::u16string& s, const std::u16string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A fixed cut moved one unit back when it would part a surrogate pair.
size_t safeCut(const std::u16string& s, size_t at) {
    if (at > 0 && at < s.size() && U16_IS_LEAD(s[at - 1]) && U16_IS_TRAIL(s[at])) return at - 1;
    return at;
}

// The cut for a text longer than `max`: the last blank at or before `max`
// when it lies after `minBlank`, else `max` itself.
size_t cutPoint(const std::u16string& s, size_t max, size_t minBlank) {
    size_t blank = s.rfind(u' ', max);
    if (blank != std::u16string::npos && blank > minBlank) return blank;
    return safeCut(s, max);
}

std::u16string decimal(int64_t n) { return u16(std::to_string(n)); }

// A name the engine can read, or nothing for an absent or blank one.
std::optional<std::u16string> present(const std::optional<std::u16string>& s) {
    if (!s || jtrim(*s).empty()) return std::nullopt;
    return s;
}

const MoodRef& reminderMood() {
    static const MoodRef m = Expression::CONFIDENT()->plus(u"a reminder: clear", {{u"rate", -0.1f}});
    return m;
}

const MoodRef& againMood() {
    static const MoodRef m =
        Expression::CONFIDENT()->plus(u"again: more present", {{u"loud", 0.5f}, {u"f0_med", 0.3f}});
    return m;
}

const MoodRef& lowBatteryMood() {
    static const MoodRef m = Expression::CONFIDENT()->plus(u"low battery: clear", {{u"loud", 0.3f}});
    return m;
}

std::u16string ordinal(int n) {
    if (n >= 0 && n < static_cast<int>(ORDINALS.size())) return std::u16string(ORDINALS[static_cast<size_t>(n)]);
    return decimal(n) + u"th";
}

}  // namespace

std::u16string sentence(const std::u16string& text) {
    std::u16string s = Expression::speakable(text);
    if (s.empty() || s.back() == u'.' || s.back() == u'!' || s.back() == u'?') return s;
    return s + u".";
}

std::u16string cap(const std::u16string& text) {
    std::u16string s = jtrim(rx(uR"(\s+)").replaceAll(text, u" "));
    if (s.size() <= static_cast<size_t>(MAX_CHARS)) return s;
    return s.substr(0, cutPoint(s, MAX_CHARS, 0)) + u", and more.";
}

std::u16string firstSentence(const std::optional<std::u16string>& body, const std::optional<std::u16string>& subject) {
    if (!body) return u"";
    std::u16string b = jtrim(*body);
    if (subject) {
        const std::u16string sub = jtrim(*subject);
        if (!sub.empty() && startsWith(b, sub)) b.erase(0, sub.size());
    }
    std::u16string r = jtrim(Expression::speakable(rx(uR"(\s+)").replaceAll(b, u" ")));
    if (r.size() < static_cast<size_t>(kFirstSentenceMin)) return u"";
    const auto spans = TextClean::spans(r);
    if (!spans.empty()) {
        const auto& first = spans.front();
        r = r.substr(static_cast<size_t>(first.lower), static_cast<size_t>(first.upper - first.lower));
    }
    if (r.size() <= static_cast<size_t>(kFirstSentenceMax)) return r;
    return r.substr(0, cutPoint(r, kFirstSentenceMax, kFirstSentenceBlank)) + u"\u2026";
}

std::u16string senderName(const std::optional<std::u16string>& raw) {
    if (!raw) return u"";
    std::u16string display = rx(u"<[^>]*>").replaceAll(*raw, u"");
    display.erase(std::remove(display.begin(), display.end(), u'"'), display.end());
    display = jtrim(display);

    const std::u16string low = lower(display);
    auto m = rx(uR"(^[A-Za-z0-9_.+-]+@([A-Za-z0-9_-]+\.)*?([A-Za-z0-9_-]+)\.[a-z]{2,}(\.[a-z]{2})?$)").find(low);
    if (!m) return display;
    const std::u16string label = m->group(2).value_or(u"");
    std::u16string name;
    static constexpr std::array<std::u16string_view, 7> PROVIDERS = {
        u"gmail", u"yahoo", u"outlook", u"hotmail", u"icloud", u"proton", u"protonmail"};
    if (std::find(PROVIDERS.begin(), PROVIDERS.end(), label) != PROVIDERS.end()) {
        name = rx(u"[._-]+").replaceAll(display.substr(0, display.find(u'@')), u" ");
    } else {
        name = label;
    }
    std::u16string out;
    for (const std::u16string& word : rx(u" +").split(jtrim(name))) {
        if (word.empty()) continue;
        if (!out.empty()) out += u' ';
        out += Spoken::capital(word);
    }
    return out;
}

Speech notice(const std::optional<std::u16string>& title, const std::optional<std::u16string>& body,
              const std::u16string& app) {
    const std::u16string head = title ? Expression::speakable(*title) : std::u16string();
    const std::u16string text = body ? cap(sentence(*body)) : std::u16string();
    Speech s;
    std::u16string header;
    if (!head.empty())
        header = head + u", on " + app + u".";
    else if (!text.empty())
        header = app + u".";
    else
        return s;
    s.add(header, Expression::NEUTRAL(), std::nullopt, 150);
    if (!text.empty()) s.add(text, Expression::of(body), std::nullopt, 0);
    return s;
}

Speech update(const std::optional<std::u16string>& title, const std::optional<std::u16string>& body,
              const std::u16string& app) {
    const std::u16string t = said(title), b = said(body);
    Speech s;
    s.add(app + u".", Expression::NEUTRAL(), std::nullopt, 150);
    std::u16string text;
    if (t.empty())
        text = b;
    else if (b.empty() || startsWith(b, t))
        text = t;
    else
        text = t + u". " + b;
    s.add(cap(sentence(text)), Expression::of(text), std::nullopt, 0);
    return s;
}

Speech reminder(const std::optional<std::u16string>& title, const std::optional<std::u16string>& body,
                const std::u16string& app) {
    const std::u16string t = said(title), b = said(body);
    std::u16string head = t.empty() ? app : t;
    if (!b.empty() && lower(b) != lower(head)) head += u": " + b;
    const std::u16string low = lower(head);
    // A timer, an alarm or a text that already calls itself a reminder
    // needs no "Reminder: " in front.
    if (!startsWith(low, u"timer") && !startsWith(low, u"alarm") && !startsWith(low, u"reminder"))
        head = u"Reminder: " + head;
    Speech s;
    s.add(sentence(head), reminderMood());
    return s;
}

Speech email(const std::optional<std::u16string>& sender, const std::optional<std::u16string>& subject,
             const std::optional<std::u16string>& body) {
    std::u16string name = jtrim(Expression::speakable(senderName(sender)));
    if (name.empty()) name = u"someone";
    const std::u16string subj = said(subject);
    Speech s;
    if (auto m = rx(u"(?i)^([0-9]+) new (messages|emails)$").find(name)) {
        s.add(u"You have " + *m->group(1) + u" new emails.", Expression::NEUTRAL());
        return s;
    }
    s.add(u"Email from " + name + u".", Expression::NEUTRAL(), std::nullopt, 150);
    if (!subj.empty()) s.add(cap(sentence(subj)), Expression::of(subj), std::nullopt, 120);
    const std::u16string first = firstSentence(body, subject);
    if (!first.empty()) s.add(first, Expression::of(first), std::nullopt, 0);
    return s;
}

Speech message(const std::optional<std::u16string>& sender, const std::optional<std::u16string>& chat,
               const std::u16string& app, const std::vector<std::u16string>& texts, bool voicePerSender,
               const std::optional<std::u16string>& announceVoice) {
    std::u16string joined;
    std::optional<std::u16string> emoji;
    for (const std::u16string& t : texts) {
        if (Expression::emojiOnly(t)) {
            if (texts.size() == 1) emoji = Expression::describeEmoji(t).value_or(u"an emoji");
            continue;
        }
        if (!joined.empty()) joined += u' ';
        joined += sentence(t);
    }

    // A blank sender or chat name counts as none: it would leave the phrase
    // without its subject.
    std::optional<std::u16string> from = present(sender);
    if (from && Spoken::unspoken(from)) from = u"Someone";
    std::optional<std::u16string> in = present(chat);
    if (in && Spoken::unspoken(in)) in.reset();
    const std::u16string who = from ? (in ? *from + u" in " + *in : *from) : app;

    Speech s;
    if (emoji) {
        s.add(who + (from ? u" sent " : u": ") + *emoji + u".", Expression::NEUTRAL());
        return s;
    }
    const std::u16string body = cap(joined);
    if (body.empty()) return s;
    if (auto language = Spoken::unspoken(body)) {
        std::u16string text = from ? who + u" sent a message on " + app : u"A message on " + app;
        if (*language == u"another language")
            text += u", in a language I can't read yet.";
        else
            text += u", in " + *language + u". I can't read " + *language + u" yet.";
        s.add(text, Expression::NEUTRAL());
        return s;
    }
    s.add(from ? who + u" on " + app + u"." : app + u".", Expression::NEUTRAL(), std::nullopt, 180);
    std::u16string all;
    for (const std::u16string& t : texts) all += t + u" ";
    std::optional<std::u16string> voice;
    if (voicePerSender && from) voice = Voices::forPerson(*from, announceVoice);
    s.add(body, Expression::of(all), voice, 0);
    return s;
}

Speech conversation(const std::vector<std::pair<std::u16string, std::u16string>>& messages,
                    const std::optional<std::u16string>& chat, const std::u16string& app, bool voicePerSender,
                    const std::optional<std::u16string>& announceVoice) {
    Speech out;
    const std::u16string header = u" on " + app + u".";
    for (size_t i = 0; i < messages.size();) {
        const std::u16string& sender = messages[i].first;
        std::vector<std::u16string> texts;
        size_t j = i;
        for (; j < messages.size() && messages[j].first == sender; j++) texts.push_back(messages[j].second);
        Speech run = message(sender, chat, app, texts, voicePerSender, announceVoice);
        if (i > 0 && !run.parts.empty() && endsWith(run.parts[0].text, header)) {
            Speech::Part& first = run.parts[0];
            // A name that cannot be spoken would leave "Then ." to be heard.
            const std::u16string who = Spoken::unspoken(sender) ? u"someone" : sender;
            first = Speech::Part(u"Then " + who + u".", first.mood, first.voice, first.pauseAfterMs);
        }
        out.parts.insert(out.parts.end(), run.parts.begin(), run.parts.end());
        i = j;
    }
    return out;
}

Speech missedCall(const std::optional<std::u16string>& caller) {
    std::u16string who = caller ? jtrim(*caller) : std::u16string();
    if (who.empty()) who = u"an unknown number";
    Speech s;
    s.add(u"You missed a call from " + who + u".", Expression::CONFIDENT());
    return s;
}

Speech call(const std::u16string& caller, const std::optional<std::u16string>& kind, int rings) {
    // A blank kind would leave a double blank in the middle of the words.
    const std::u16string kindWords = present(kind) ? *kind + u" " : std::u16string();
    Speech s;
    if (rings < 2)
        s.add(u"Incoming " + kindWords + u"call from " + caller + u".", Expression::CONFIDENT());
    else if (rings == 2)
        s.add(caller + u" is calling again.", againMood());
    else
        s.add(caller + u" is calling for the " + ordinal(rings) + u" time. It may be urgent.", Expression::URGENT());
    return s;
}

int ringCount(const std::u16string& caller, int64_t timeMs) {
    static std::mutex* ringsLock = new std::mutex;
    static auto* rings = new std::map<std::u16string, std::deque<int64_t>>;
    std::lock_guard<std::mutex> hold(*ringsLock);
    std::deque<int64_t>& times = (*rings)[lower(caller)];
    // The difference in unsigned arithmetic: exact for any two times.
    while (!times.empty() && timeMs > times.front() &&
           static_cast<uint64_t>(timeMs) - static_cast<uint64_t>(times.front()) > static_cast<uint64_t>(kRingWindowMs))
        times.pop_front();
    times.push_back(timeMs);
    return static_cast<int>(std::min<size_t>(times.size(), INT32_MAX));
}

Speech battery(int percent, bool full) {
    Speech s;
    if (percent >= 100 && full)
        s.add(u"Your phone is fully charged.", Expression::HAPPY());
    else
        s.add(u"Battery at " + decimal(percent) + u" percent. Time to charge.", lowBatteryMood());
    return s;
}

}  // namespace tovan::Readout
