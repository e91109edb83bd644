#include "TovanEvents.h"

#include "Assistant.h"
#include "ClaudeEvents.h"
#include "Regex.h"
#include "Machine.h"
#include "Readout.h"
#include "TextClean.h"

#include <nlohmann/json.hpp>
#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

namespace tovan::TovanEvents {

namespace {

using json = nlohmann::json;
using Event = Assistant::Event;

constexpr off_t kTranscriptTail = 400000;

std::u16string str(const json& obj, const char* key) {
    auto it = obj.find(key);
    return it != obj.end() && it->is_string() ? u16(it->get_ref<const std::string&>()) : std::u16string();
}

const json* member(const json& obj, const char* key) {
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

std::u16string decimal(long long n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// Unicode punctuation trimmed from both ends.
std::u16string trimPunctuation(const std::u16string& s) {
    size_t b = 0, e = s.size();
    auto cpAt = [&](size_t i, size_t& len) {
        UChar32 c;
        size_t j = i;
        U16_NEXT(s.data(), j, s.size(), c);
        len = j - i;
        return c;
    };
    while (b < e) {
        size_t len;
        if (!u_ispunct(cpAt(b, len))) break;
        b += len;
    }
    while (e > b) {
        size_t start = e - 1;
        if (start > b && U16_IS_TRAIL(s[start]) && U16_IS_LEAD(s[start - 1])) start--;
        size_t len;
        if (!u_ispunct(cpAt(start, len))) break;
        e = start;
    }
    return s.substr(b, e - b);
}

bool validUtf8(const std::string& bytes) {
    UErrorCode err = U_ZERO_ERROR;
    int32_t needed = 0;
    u_strFromUTF8(nullptr, 0, &needed, bytes.data(), int32_t(bytes.size()), &err);
    return err == U_BUFFER_OVERFLOW_ERROR || err == U_ZERO_ERROR || err == U_STRING_NOT_TERMINATED_WARNING;
}

const std::map<std::u16string, const Expression::MoodRef& (*)()>& sayMoods() {
    static const std::map<std::u16string, const Expression::MoodRef& (*)()> table{
        {u"happy", &Expression::HAPPY},     {u"sad", &Expression::SAD},
        {u"urgent", &Expression::URGENT},   {u"calm", &Expression::CALM},
        {u"excited", &Expression::EXCITED}, {u"done", &ClaudeEvents::done},
        {u"failed", &ClaudeEvents::failed}, {u"attentive", &ClaudeEvents::attentive},
    };
    return table;
}

void say(const json& payload, const Sink& sink) {
    const std::u16string text = str(payload, "text");
    Expression::MoodRef mood;
    const json* m = member(payload, "mood");
    if (m && m->is_string()) {
        auto it = sayMoods().find(u16(m->get_ref<const std::string&>()));
        if (it != sayMoods().end()) mood = it->second();
    }
    if (!mood) mood = Expression::of(text);
    Event e;
    e.kind = Event::Kind::say;
    e.app = u"Script";
    e.speech.add(text, mood);
    e.away = text;
    sink(e);
}

void claude(const json& payload, const AssistantPrefs& prefs, const Sink& sink, const WordsReader& read) {
    if (!prefs.claude()) return;
    const json* hook = member(payload, "hook");
    if (!hook || !hook->is_object()) return;
    const json* hc = member(*hook, "cwd");
    const std::u16string cwd = hc && hc->is_string() ? u16(hc->get_ref<const std::string&>()) : str(payload, "cwd");

    std::u16string folder;
    for (const std::u16string& piece : split(cwd, u"/"))
        if (!piece.empty()) folder = piece;
    const std::u16string place = folder.empty() ? u"" : u" in " + replaceAll(folder, u"[-_.]+", u" ");

    if (!prefs.whileLooking() && Machine::looking(Machine::terminals())) return;

    Event e;
    e.kind = Event::Kind::claude;
    e.app = u"Claude Code";
    e.who = folder;
    const std::u16string name = str(*hook, "hook_event_name");
    if (name == u"Notification") {
        const std::u16string message = str(*hook, "message");
        if (auto found = rx(u"(?i)permission to use (.+)$").find(message)) {
            const std::u16string tool = trimPunctuation(found->group(1).value_or(u""));
            e.speech.add(u"Claude needs your permission" + place + u", to use " + tool + u".", ClaudeEvents::attentive());
            e.away = u"Claude asked for permission" + place + u".";
        } else {
            e.speech.add(u"Claude is waiting for you" + place + u".", ClaudeEvents::attentive());
            e.away = u"Claude was waiting for you" + place + u".";
        }
    } else if (name == u"Stop") {
        const json* tp = member(*hook, "transcript_path");
        auto withWords = [e, place, readText = prefs.readText(), sink](std::optional<std::u16string> found) mutable {
            const std::u16string words = found.value_or(u"");
            if (!words.empty() && words.back() == u'?') {
                e.speech.add(u"Claude has a question" + place + u".", ClaudeEvents::attentive()).pause(150);
                if (readText) e.speech.add(words, ClaudeEvents::attentive());
                e.away = u"Claude had a question" + place + u".";
            } else {
                e.speech.add(u"Claude is done" + place + u".", ClaudeEvents::done()).pause(150);
                if (readText && !words.empty()) e.speech.add(words, ClaudeEvents::done());
                e.away = u"Claude finished" + place + u".";
            }
            sink(e);
        };
        if (!tp || !tp->is_string())
            withWords(std::nullopt);
        else if (read)
            read(tp->get_ref<const std::string&>(), std::move(withWords));
        else
            withWords(lastWords(tp->get_ref<const std::string&>()));
        return;
    } else {
        return;
    }
    sink(e);
}

void command(const json& payload, const AssistantPrefs& prefs, const Sink& sink) {
    if (!prefs.commands()) return;
    const json* sec = member(payload, "seconds");
    const double seconds = sec && sec->is_number() ? sec->get<double>() : 0.0;
    if (!(seconds >= prefs.commandSeconds())) return;
    if (!prefs.whileLooking() && Machine::looking(Machine::terminals())) return;
    const std::u16string line = trimmed(str(payload, "command"));
    const json* st = member(payload, "status");
    const bool ok = !st || !st->is_number_integer() || (st->is_number_unsigned() ? st->get<uint64_t>() == 0
                                                                                  : st->get<int64_t>() == 0);
    const std::u16string spoken = name(line);
    const std::u16string d = duration(seconds);
    std::u16string sentence;
    if (ok)
        sentence = Readout::cap(spoken) + u" finished, after " + d + u".";
    else if (spoken.size() >= 5 && spoken.compare(spoken.size() - 5, 5, u"tests") == 0)
        sentence = u"The tests failed, after " + d + u".";
    else
        sentence = Readout::cap(spoken) + u" failed, after " + d + u".";
    Event e;
    e.kind = Event::Kind::command;
    e.app = u"Terminal";
    e.who = spoken;
    e.speech.add(sentence, ok ? ClaudeEvents::done() : ClaudeEvents::failed());
    e.away = replaceAll(sentence, u", after [^.]+\\.", u".");
    sink(e);
}

}  // namespace

void handle(const std::string& text, Assistant& assistant) {
    QPointer<Assistant> alive(&assistant);
    handle(
        text, assistant.prefs(),
        [alive](const Assistant::Event& e) {
            if (alive) alive->handle(e);
        },
        backgroundReader(&assistant));
}

WordsReader backgroundReader(QObject* context) {
    QPointer<QObject> target(context);
    return [target](const std::string& path, std::function<void(std::optional<std::u16string>)> done) {
        // A transcript on a slow or hung file system must not hold up the
        // window: the read runs on a pool thread.
        QThreadPool::globalInstance()->start([target, path, done = std::move(done)]() mutable {
            std::optional<std::u16string> words = lastWords(path);
            if (!target) return;
            QMetaObject::invokeMethod(
                target.data(), [done = std::move(done), words = std::move(words)] { done(words); },
                Qt::QueuedConnection);
        });
    };
}

void handle(const std::string& text, const AssistantPrefs& prefs, const Sink& sink, const WordsReader& read) {
    const json payload = json::parse(text, nullptr, false);
    if (!payload.is_object()) return;
    const json* kind = member(payload, "kind");
    if (!kind || !kind->is_string()) return;
    const std::string& k = kind->get_ref<const std::string&>();
    if (k == "say")
        say(payload, sink);
    else if (k == "claude")
        claude(payload, prefs, sink, read);
    else if (k == "command")
        command(payload, prefs, sink);
}

void handle(const std::string& text) { handle(text, Assistant::shared()); }

std::optional<std::u16string> lastWords(const std::string& path) {
    // Non-blocking, so a FIFO without a writer cannot hold the open; the
    // type is checked on the opened file, so it cannot change in between.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "TovanTTS: transcript %s is not a regular file; ignored\n", path.c_str());
        ::close(fd);
        return std::nullopt;
    }
    // Only the tail, and never more of it than was there at the start: a
    // file that keeps growing cannot make the read go on.
    const off_t size = st.st_size;
    off_t at = size >= kTranscriptTail ? size - kTranscriptTail : 0;
    std::string data(size_t(size - at), '\0');
    size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = ::pread(fd, data.data() + got, data.size() - got, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
        at += n;
    }
    ::close(fd);
    data.resize(got);
    if (data.empty() || !validUtf8(data)) return std::nullopt;

    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= data.size()) {
        size_t nl = data.find('\n', start);
        if (nl == std::string::npos) nl = data.size();
        if (nl > start) lines.push_back(data.substr(start, nl - start));
        start = nl + 1;
    }
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->find("\"assistant\"") == std::string::npos) continue;
        const json line = json::parse(*it, nullptr, false);
        if (!line.is_object()) continue;
        const json* type = member(line, "type");
        if (!type || *type != "assistant") continue;
        const json* message = member(line, "message");
        if (!message || !message->is_object()) continue;
        const json* content = member(*message, "content");
        if (!content || !content->is_array()) continue;
        bool allObjects = true;
        for (const json& c : *content) allObjects = allObjects && c.is_object();
        if (!allObjects) continue;
        std::u16string joined;
        bool first = true;
        for (const json& c : *content) {
            const json* ct = member(c, "type");
            const json* tx = member(c, "text");
            if (!ct || *ct != "text" || !tx || !tx->is_string()) continue;
            if (!first) joined += u'\n';
            joined += u16(tx->get_ref<const std::string&>());
            first = false;
        }
        if (trimmed(joined).empty()) continue;
        return summary(joined);
    }
    return std::nullopt;
}

std::u16string summary(const std::u16string& text) {
    std::u16string s = replaceAll(text, u"(?s)```.*?```", u" ");
    s = replaceAll(s, u"`([^`]*)`", u"$1");
    s = replaceAll(s, u"\\*\\*?([^*]+)\\*\\*?", u"$1");
    s = replaceAll(s, u"\\[([^\\]]+)\\]\\([^)]*\\)", u"$1");
    s = replaceAll(s, u"(?m)^\\s*(#+|[-*•]|\\d+\\.)\\s+", u"");
    s = trimmed(replaceAll(s, u"\\s+", u" "));
    const std::vector<std::u16string> found = TextClean::sentences({s});
    const std::u16string first = found.empty() ? s : found.front();

    // Lengths in characters as people see them (grapheme clusters).
    UErrorCode err = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> chars(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), err));
    if (U_FAILURE(err)) return first;
    const icu::UnicodeString u(false, first.data(), int32_t(first.size()));
    chars->setText(u);
    int count = 0, cut200 = -1;
    for (int32_t p = chars->next(); p != icu::BreakIterator::DONE; p = chars->next()) {
        count++;
        if (count == 200) cut200 = p;
    }
    if (count <= 220) return first;
    return replaceAll(first.substr(0, size_t(cut200)), u"\\s+\\S*$", u"") + u"…";
}

std::u16string name(const std::u16string& commandLine) {
    icu::UnicodeString u(commandLine.data(), int32_t(commandLine.size()));
    u.toLower(icu::Locale::getRoot());
    const std::u16string line(u.getBuffer(), size_t(u.length()));
    static const std::pair<const char16_t*, const char16_t*> table[] = {
        {u"\\b(test|tests|pytest|jest|vitest|rspec|ctest|xcodebuild test|swift test|go test|cargo test|npm (run )?test)\\b",
         u"the tests"},
        {u"\\b(build|make|cmake|xcodebuild|gradlew?|assemble|compile|tsc|webpack|vite build|cargo build|swift build)\\b",
         u"the build"},
        {u"\\bgit (push)\\b", u"the push"},
        {u"\\bgit (pull|fetch|clone)\\b", u"the git \\1"},
        {u"\\b(npm|pnpm|yarn|pip3?|brew|pod|bundle|cargo) (install|i|add|update|upgrade)\\b", u"the install"},
        {u"\\bdocker (build|compose)\\b", u"the docker \\1"},
        {u"\\b(deploy|gcloud run deploy|kubectl apply|terraform apply)\\b", u"the deploy"},
        {u"\\b(rsync|scp|curl|wget|aws s3|gsutil)\\b", u"the transfer"},
        {u"\\b(python3?|node|ruby|go run|cargo run|swift run)\\b", u"your script"},
    };
    for (const auto& [pattern, spoken] : table) {
        if (auto m = rx(pattern).find(line)) {
            std::u16string out = spoken;
            const size_t at = out.find(u"\\1");
            if (at != std::u16string::npos) out.replace(at, 2, m->group(1).value_or(u""));
            return out;
        }
    }
    std::u16string firstWord;
    for (const std::u16string& w : split(line, u" "))
        if (!w.empty()) {
            firstWord = w;
            break;
        }
    std::u16string last;
    for (const std::u16string& piece : split(firstWord, u"/"))
        if (!piece.empty()) last = piece;
    return last.empty() ? u"your command" : last + u" command";
}

std::u16string duration(double seconds) {
    // Beyond this, rounding to whole seconds could not be counted.
    if (!std::isfinite(seconds) || std::fabs(seconds) >= 9.2e18) seconds = 0;
    const long long s = std::llround(seconds);
    if (s < 60) return decimal(s) + u" seconds";
    if (s < 3600) {
        const long long m = std::llround(seconds / 60);
        return m == 1 ? u"a minute" : decimal(m) + u" minutes";
    }
    const long long h = s / 3600, r = s % 3600;
    std::u16string out = h == 1 ? u"an hour" : decimal(h) + u" hours";
    if (r >= 60) {
        const long long k = r / 60;
        out += u" and " + (k == 1 ? std::u16string(u"a minute") : decimal(k) + u" minutes");
    }
    return out;
}

}  // namespace tovan::TovanEvents
