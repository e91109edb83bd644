#include "Regex.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace tovan {

namespace {

constexpr size_t kMaxText = INT32_MAX;  // ICU counts in int32_t

// A read-only ICU string over [p, p + n): no copy.
icu::UnicodeString alias(const char16_t* p, size_t n) {
    return icu::UnicodeString(false, p, static_cast<int32_t>(n));
}

std::vector<JMatch::Range> rangesOf(icu::RegexMatcher& m, int shift, UErrorCode& status) {
    int n = m.groupCount() + 1;
    std::vector<JMatch::Range> out(n);
    for (int i = 0; i < n; i++) {
        int32_t a = m.start(i, status);
        int32_t b = m.end(i, status);
        if (U_FAILURE(status)) return {};
        if (a >= 0) out[i] = {a + shift, b + shift};
    }
    return out;
}

struct PatternHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view s) const { return std::hash<std::u16string_view>{}(s); }
};

struct Cache {
    std::mutex lock;
    std::unordered_map<std::u16string, std::unique_ptr<Regex>, PatternHash, std::equal_to<>> map;
    size_t compiled = 0;
};

Cache& cache() {
    // Never destroyed: threads still running at exit may keep using patterns.
    static Cache* c = new Cache;
    return *c;
}

bool isTrimSpace(UChar32 c) {
    return c == 0x09 || (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029 ||
           u_charType(c) == U_SPACE_SEPARATOR;
}

}  // namespace

// ---- JMatch ----

JMatch::JMatch(std::shared_ptr<const std::u16string> source, std::vector<Range> ranges,
               const Regex* regex)
    : source_(std::move(source)), ranges_(std::move(ranges)), regex_(regex) {}

std::optional<std::u16string> JMatch::group(int n) const {
    if (n < 0 || n >= rangeCount()) return std::nullopt;
    const Range& r = ranges_[n];
    if (r.start < 0) return std::nullopt;
    return source_->substr(r.start, r.end - r.start);
}

std::optional<std::u16string> JMatch::group(std::u16string_view name) const {
    int n = regex_ ? regex_->groupNumber(name) : -1;
    if (n < 0) return std::nullopt;
    return group(n);
}

int JMatch::start(int n) const {
    return n >= 0 && n < rangeCount() ? ranges_[n].start : -1;
}

int JMatch::end(int n) const {
    return n >= 0 && n < rangeCount() ? ranges_[n].end : -1;
}

// ---- Regex ----

Regex::Regex(std::u16string_view pattern) : text_(pattern) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError where{};
    compiled_.reset(icu::RegexPattern::compile(alias(text_.data(), text_.size()), 0, where, status));
    if (U_FAILURE(status) || !compiled_) {
        // Patterns are program constants: one that does not compile is a bug.
        // The message keeps the name the pattern cache has always reported.
        std::fprintf(stderr, "TovanText/JavaRegex: pattern \"%s\" does not compile: %s at offset %d\n",
                     u8(text_).c_str(), u_errorName(status), where.offset);
        std::abort();
    }
}

Regex::~Regex() = default;

int Regex::groupCount() const {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(compiled_->matcher(status));
    return U_SUCCESS(status) ? m->groupCount() : 0;
}

int Regex::groupNumber(std::u16string_view name) const {
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = compiled_->groupNumberFromName(alias(name.data(), name.size()), status);
    return U_SUCCESS(status) ? n : -1;
}

std::optional<JMatch> Regex::find(const std::u16string& s, int from) const {
    if (from < 0 || static_cast<size_t>(from) > s.size() || s.size() > kMaxText) return std::nullopt;
    // Match on a view of the rest, so nothing before `from` is visible.
    icu::UnicodeString in = alias(s.data() + from, s.size() - from);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(compiled_->matcher(in, status));
    if (U_FAILURE(status) || !m->find(status) || U_FAILURE(status)) return std::nullopt;
    auto ranges = rangesOf(*m, from, status);
    if (U_FAILURE(status)) return std::nullopt;
    return JMatch(std::make_shared<const std::u16string>(s), std::move(ranges), this);
}

std::vector<JMatch> Regex::all(const std::u16string& s) const {
    std::vector<JMatch> out;
    if (s.size() > kMaxText) return out;
    icu::UnicodeString in = alias(s.data(), s.size());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(compiled_->matcher(in, status));
    if (U_FAILURE(status)) return out;
    std::shared_ptr<const std::u16string> source;
    while (m->find(status) && U_SUCCESS(status)) {
        auto ranges = rangesOf(*m, 0, status);
        if (U_FAILURE(status)) break;
        if (!source) source = std::make_shared<const std::u16string>(s);
        out.emplace_back(source, std::move(ranges), this);
    }
    return out;
}

std::optional<JMatch> Regex::atStart(const std::u16string& s) const {
    if (s.size() > kMaxText) return std::nullopt;
    icu::UnicodeString in = alias(s.data(), s.size());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(compiled_->matcher(in, status));
    if (U_FAILURE(status) || !m->lookingAt(status) || U_FAILURE(status)) return std::nullopt;
    auto ranges = rangesOf(*m, 0, status);
    if (U_FAILURE(status)) return std::nullopt;
    return JMatch(std::make_shared<const std::u16string>(s), std::move(ranges), this);
}

bool Regex::whole(const std::u16string& s) const {
    if (s.size() > kMaxText) return false;
    icu::UnicodeString in = alias(s.data(), s.size());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(compiled_->matcher(in, status));
    if (U_FAILURE(status) || !m->lookingAt(status) || U_FAILURE(status)) return false;
    int32_t e = m->end(status);
    return U_SUCCESS(status) && static_cast<size_t>(e) == s.size();
}

std::u16string Regex::expand(const JMatch& m, std::u16string_view t) const {
    std::u16string out;
    int groups = m.rangeCount() - 1;
    size_t i = 0;
    while (i < t.size()) {
        char16_t c = t[i];
        if (c == u'\\') {
            if (i + 1 < t.size()) out += t[i + 1];
            i += 2;
            continue;
        }
        if (c == u'$' && i + 1 < t.size() && t[i + 1] >= u'0' && t[i + 1] <= u'9') {
            // The first digit always belongs to the reference; later ones
            // only while the number still names a group.
            int n = t[i + 1] - u'0';
            i += 2;
            while (i < t.size() && t[i] >= u'0' && t[i] <= u'9' && n * 10 + (t[i] - u'0') <= groups) {
                n = n * 10 + (t[i] - u'0');
                i++;
            }
            if (auto g = m.group(n)) out += *g;
            continue;
        }
        if (c == u'$' && i + 1 < t.size() && t[i + 1] == u'{') {
            size_t close = t.find(u'}', i + 2);
            if (close != std::u16string_view::npos) {
                if (auto g = m.group(t.substr(i + 2, close - i - 2))) out += *g;
                i = close + 1;
                continue;
            }
        }
        out += c;  // a '$' that starts no reference is itself
        i++;
    }
    return out;
}

std::u16string Regex::replaceFirst(const std::u16string& s, std::u16string_view tmpl) const {
    auto m = find(s, 0);
    if (!m) return s;
    std::u16string out = s.substr(0, m->start(0));
    out += expand(*m, tmpl);
    out.append(s, m->end(0));
    return out;
}

std::u16string Regex::replaceAll(const std::u16string& s, std::u16string_view tmpl) const {
    return replaceAll(s, [&](const JMatch& m) { return expand(m, tmpl); });
}

std::u16string Regex::replaceAll(const std::u16string& s, const ReplacementBuilder& build) const {
    auto ms = all(s);
    if (ms.empty()) return s;
    std::u16string out;
    out.reserve(s.size());
    size_t pos = 0;
    for (const JMatch& m : ms) {
        out.append(s, pos, m.start(0) - pos);
        out += build(m);
        pos = m.end(0);
    }
    out.append(s, pos);
    return out;
}

std::vector<std::u16string> Regex::split(const std::u16string& s) const {
    std::vector<std::u16string> pieces;
    size_t pos = 0;
    for (const JMatch& m : all(s)) {
        if (m.end(0) == 0) continue;
        pieces.push_back(s.substr(pos, m.start(0) - pos));
        pos = m.end(0);
    }
    pieces.push_back(s.substr(pos));
    while (!pieces.empty() && pieces.back().empty()) pieces.pop_back();
    if (pieces.empty() && s.empty()) pieces.emplace_back();
    return pieces;
}

// ---- the cache ----

const Regex& rx(std::u16string_view pattern) {
    Cache& c = cache();
    std::lock_guard<std::mutex> hold(c.lock);
    auto it = c.map.find(pattern);
    if (it != c.map.end()) return *it->second;
    // Compiled under the lock, so each pattern is compiled exactly once.
    std::unique_ptr<Regex> r(new Regex(pattern));
    const Regex& ref = *r;
    c.map.emplace(std::u16string(pattern), std::move(r));
    c.compiled++;
    return ref;
}

size_t rxCompiled() {
    Cache& c = cache();
    std::lock_guard<std::mutex> hold(c.lock);
    return c.compiled;
}

// ---- text operations ----

int jlength(const std::u16string& s) {
    return s.size() > kMaxText ? INT32_MAX : static_cast<int>(s.size());
}

char16_t jchar(const std::u16string& s, int i) {
    return s.at(static_cast<size_t>(i));
}

std::u16string jsub(const std::u16string& s, int start, int end) {
    size_t n = s.size();
    size_t a = start < 0 ? 0 : std::min(static_cast<size_t>(start), n);
    size_t b = end < 0 ? n : std::min(static_cast<size_t>(end), n);
    if (b < a) b = a;
    return s.substr(a, b - a);
}

std::u16string trimmed(const std::u16string& s) {
    size_t a = 0, b = s.size();
    while (a < b) {
        size_t i = a;
        UChar32 c;
        U16_NEXT(s.data(), i, b, c);
        if (!isTrimSpace(c)) break;
        a = i;
    }
    while (b > a) {
        size_t i = b;
        UChar32 c;
        U16_PREV(s.data(), a, i, c);
        if (!isTrimSpace(c)) break;
        b = i;
    }
    return s.substr(a, b - a);
}

std::u16string jtrim(const std::u16string& s) {
    size_t a = 0, b = s.size();
    while (a < b && s[a] <= 0x20) a++;
    while (b > a && s[b - 1] <= 0x20) b--;
    if (a == 0 && b == s.size()) return s;
    return s.substr(a, b - a);
}

bool matches(const std::u16string& s, std::u16string_view pattern) {
    return rx(pattern).whole(s);
}

std::u16string replaceFirst(const std::u16string& s, std::u16string_view pattern, std::u16string_view tmpl) {
    return rx(pattern).replaceFirst(s, tmpl);
}

std::u16string replaceAll(const std::u16string& s, std::u16string_view pattern, std::u16string_view tmpl) {
    return rx(pattern).replaceAll(s, tmpl);
}

std::u16string replaceAll(const std::u16string& s, std::u16string_view pattern, const ReplacementBuilder& build) {
    return rx(pattern).replaceAll(s, build);
}

std::vector<std::u16string> split(const std::u16string& s, std::u16string_view pattern) {
    return rx(pattern).split(s);
}

std::u16string u16(std::string_view utf8, const Progress& progress) {
    // Straight into the result, in pieces (below ICU's 32-bit lengths, and
    // small enough to report progress and stop soon): a large document is not
    // held twice. A piece ends before a lead or a trail byte so that no
    // sequence is split.
    std::u16string out;
    out.resize(utf8.size());  // UTF-16 never needs more units than UTF-8 bytes
    size_t at = 0, used = 0;
    constexpr size_t piece = size_t(1) << 23;
    while (at < utf8.size()) {
        size_t n = std::min(piece, utf8.size() - at);
        if (at + n < utf8.size())
            while (n > 0 && (static_cast<unsigned char>(utf8[at + n]) & 0xC0) == 0x80) --n;
        if (n == 0) n = std::min(piece, utf8.size() - at);
        UErrorCode status = U_ZERO_ERROR;
        int32_t len = 0;
        u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data() + used), static_cast<int32_t>(out.size() - used), &len,
                             utf8.data() + at, static_cast<int32_t>(n), 0xFFFD, nullptr, &status);
        if (U_FAILURE(status)) break;
        used += size_t(len);
        at += n;
        progress.at(at, utf8.size());
    }
    out.resize(used);
    // Text mostly in ASCII fills nearly all of it; a copy would double the peak.
    if (used < out.capacity() / 4 * 3) out.shrink_to_fit();
    return out;
}

bool validUtf8(std::string_view bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        UChar32 c;
        const int32_t len = static_cast<int32_t>(std::min(n - i, size_t(INT32_MAX)));
        int32_t at = 0;
        U8_NEXT(reinterpret_cast<const uint8_t*>(bytes.data() + i), at, len, c);
        if (c < 0) return false;
        i += size_t(at);
    }
    return true;
}

std::string u8(std::u16string_view utf16) {
    std::string out;
    alias(utf16.data(), utf16.size()).toUTF8String(out);
    return out;
}

}  // namespace tovan
