#include "Digest.h"

#include "AtomicFile.h"
#include "Expression.h"
#include "Regex.h"
#include "Voices.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <system_error>

#include <unicode/utf16.h>

namespace tovan {

namespace {

constexpr size_t kPerSender = 3;
constexpr size_t kSenders = 6;
constexpr size_t kLatestFrom = 4;
constexpr int kCountPauseMs = 350;
constexpr int kHeadingPauseMs = 150;
constexpr int kBodyPauseMs = 400;

std::u16string decimal(int64_t n) { return u16(std::to_string(n)); }

// An optional sign, then digits only, within the 64-bit range.
std::optional<int64_t> parseTime(std::u16string_view s) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    if (i == s.size()) return std::nullopt;
    // Accumulate towards the negative end, which has room for INT64_MIN.
    int64_t v = 0;
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    for (; i < s.size(); i++) {
        if (s[i] < u'0' || s[i] > u'9') return std::nullopt;
        int d = s[i] - u'0';
        if (v < (kMin + d) / 10) return std::nullopt;
        v = v * 10 - d;
    }
    if (!negative) {
        if (v == kMin) return std::nullopt;
        v = -v;
    }
    return v;
}

}  // namespace

int64_t Digest::systemClock() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

bool Digest::storable(const std::u16string& key) {
    if (key.empty()) return false;
    for (size_t i = 0; i < key.size(); i++) {
        char16_t c = key[i];
        if (c == u'\n') return false;
        if (U16_IS_LEAD(c) && i + 1 < key.size() && U16_IS_TRAIL(key[i + 1])) {
            i++;
        } else if (U16_IS_SURROGATE(c)) {
            return false;
        }
    }
    return true;
}

Digest::Digest(std::optional<std::filesystem::path> directory, Clock clock) : clock_(std::move(clock)) {
    if (!clock_) clock_ = &Digest::systemClock;
    if (!directory) return;
    store_ = *directory / FILE_NAME;
    std::string bytes;
    if (!AtomicFile::read(*store_, bytes)) return;
    // A file that is not UTF-8 is not ours to read: no key is taken from it,
    // and it stays as it is until the next change replaces it.
    if (!validUtf8(bytes)) return;
    const std::u16string text = u16(bytes);
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find(u'\n', begin);
        if (end == std::u16string::npos) end = text.size();
        std::u16string_view line(text.data() + begin, end - begin);
        size_t tab = line.rfind(u'\t');
        if (tab != std::u16string_view::npos && tab > 0) {
            if (auto t = parseTime(line.substr(tab + 1))) saved_[std::u16string(line.substr(0, tab))] = *t;
        }
        begin = end + 1;
    }
}

void Digest::persist() {
    if (!store_) return;
    std::u16string text;
    for (const auto& [key, time] : saved_) {
        if (!storable(key)) continue;
        text += key;
        text += u'\t';
        text += decimal(time);
        text += u'\n';
    }
    std::error_code ec;
    std::filesystem::create_directories(store_->parent_path(), ec);
    // A failed write leaves the previous file whole; the next change retries.
    AtomicFile::write(*store_, u8(text));
}

void Digest::prune() {
    const int64_t now = clock_();
    const int64_t cutoff =
        now < std::numeric_limits<int64_t>::min() + WINDOW_MS ? std::numeric_limits<int64_t>::min() : now - WINDOW_MS;
    items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const Item& i) { return i.time < cutoff; }),
                 items_.end());
    const size_t before = saved_.size();
    std::erase_if(saved_, [&](const auto& entry) { return entry.second < cutoff; });
    if (saved_.size() != before) persist();
}

void Digest::add(const std::u16string& key, const std::u16string& person, const std::u16string& app,
                 const std::u16string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    const int64_t now = clock_();
    items_.push_back(Item{key, person, app, text, now});
    if (items_.size() > CAP) items_.erase(items_.begin(), items_.end() - CAP);
    if (saved_.count(key)) return;
    saved_[key] = now;
    persist();
}

void Digest::restore(const std::u16string& key, const std::u16string& person, const std::u16string& app,
                     const std::u16string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    auto kept = saved_.find(key);
    if (kept == saved_.end()) return;
    for (const Item& i : items_)
        if (i.key == key && i.text == text) return;
    items_.push_back(Item{key, person, app, text, kept->second});
}

std::set<std::u16string> Digest::savedKeys() {
    std::lock_guard<std::mutex> hold(lock_);
    std::set<std::u16string> out;
    for (const auto& entry : saved_) out.insert(entry.first);
    return out;
}

void Digest::forgetExcept(const std::set<std::u16string>& keep) {
    std::lock_guard<std::mutex> hold(lock_);
    std::erase_if(saved_, [&](const auto& entry) { return !keep.count(entry.first); });
    persist();
}

void Digest::removeKey(const std::u16string& key) {
    std::lock_guard<std::mutex> hold(lock_);
    items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const Item& i) { return i.key == key; }),
                 items_.end());
    if (saved_.erase(key)) persist();
}

int Digest::size() {
    std::lock_guard<std::mutex> hold(lock_);
    prune();
    return static_cast<int>(items_.size());
}

void Digest::clear() {
    std::lock_guard<std::mutex> hold(lock_);
    items_.clear();
    saved_.clear();
    persist();
}

std::u16string Digest::names(const std::vector<std::u16string>& names) {
    const size_t n = names.size();
    if (n == 0) return u"";
    if (n == 1) return names[0];
    if (n <= 3) {
        std::u16string out;
        for (size_t i = 0; i + 1 < n; i++) {
            if (i) out += u", ";
            out += names[i];
        }
        return out + u" and " + names[n - 1];
    }
    return names[0] + u", " + names[1] + u" and " + decimal(static_cast<int64_t>(n - 2)) + u" others";
}

Speech Digest::take(bool voices, const std::optional<std::u16string>& own) {
    std::lock_guard<std::mutex> hold(lock_);
    prune();
    Speech speech;
    if (items_.empty()) {
        speech.add(u"You're all caught up. No new messages.");
        return speech;
    }

    std::vector<std::u16string> senders;
    std::map<std::u16string, std::vector<const Item*>> bySender;
    for (const Item& i : items_) {
        auto& list = bySender[i.person];
        if (list.empty()) senders.push_back(i.person);
        list.push_back(&i);
    }

    const size_t n = items_.size();
    std::u16string count = n == 1 ? u"You have one new message" : u"You have " + decimal(static_cast<int64_t>(n)) + u" new messages";
    speech.add(count + u", from " + names(senders) + u".", Expression::CONFIDENT(), std::nullopt, kCountPauseMs);

    for (size_t s = 0; s < senders.size() && s < kSenders; s++) {
        const std::u16string& sender = senders[s];
        const auto& list = bySender[sender];
        std::u16string body;
        for (size_t k = list.size() > kPerSender ? list.size() - kPerSender : 0; k < list.size(); k++) {
            if (!body.empty()) body += u' ';
            std::u16string said = Expression::speakable(list[k]->text);
            if (!said.empty() && said.back() != u'!' && said.back() != u'.' && said.back() != u'?') said += u'.';
            body += said;
        }
        const std::u16string heading = (list.size() >= kLatestFrom ? u"The latest from " : u"From ") + sender + u".";
        speech.add(heading, Expression::NEUTRAL(), std::nullopt, kHeadingPauseMs);
        std::optional<std::u16string> voice;
        if (voices) voice = Voices::forPerson(sender, own);
        speech.add(body, Expression::of(body), voice, kBodyPauseMs);
    }
    if (senders.size() > kSenders)
        speech.add(u"And more from " + decimal(static_cast<int64_t>(senders.size() - kSenders)) + u" others.");

    items_.clear();
    saved_.clear();
    persist();
    return speech;
}

}  // namespace tovan
