// The links pass: web and e-mail addresses, bare domains, handles and
// hashtags read as words before the later passes see their dots and digits.
#include "SpokenPasses.h"

namespace tovan::Spoken {

using detail::rewrite;
using detail::literal;

namespace {

// The rules, in the order they run. A web address is said as its host, then
// its path (readPath); scheme and port are not said.
constexpr std::u16string_view WEB = uR"((?i)\b(?:https?://|www\.)([a-z0-9.-]+\.[a-z]{2,})(?::\d+)?(/[^\s<>"]*)?)";
// A bare domain name with a path ("example.com/docs"): the same reading.
constexpr std::u16string_view DOMAIN_PATH =
    uR"((?i)(?<![\w@./-])((?:[a-z0-9-]{2,}\.)+(?:com|org|net|io|ai|co|in|uk|edu|gov|app|dev|me|info|us|ca|de|fr|au))(/[^\s<>"]*))";
constexpr std::u16string_view EMAIL = uR"((?i)\b([a-z0-9._%+-]+)@([a-z0-9-]+(?:\.[a-z0-9-]+)*\.[a-z]{2,})\b)";
constexpr std::u16string_view DOMAIN =
    uR"((?i)\b([a-z0-9-]{2,}(?:\.[a-z0-9-]{2,})*)\.(com|org|net|io|ai|co|in|uk|edu|gov|app|dev|me|info|us|ca|de|fr|au)\b(?![.\w]*@))";
constexpr std::u16string_view HANDLE = uR"((?<![\w@])@([A-Za-z0-9_]{2,30})\b)";
constexpr std::u16string_view HASHTAG = uR"((?<![\w#&])#([A-Za-z][A-Za-z0-9_]{1,40})\b)";
// A shell or program variable ("$HOME", "${JAVA_HOME}", "$path"): "dollar"
// and its name, the way programmers say it. A "$" before a letter is never
// an amount, and dropping it would make the variable a plain word. Inline
// mathematics between two signs ("$x^2$") is no variable.
constexpr std::u16string_view VARIABLE =
    uR"((?<![\w$])\$(?:\{(_*[A-Za-z]\w{0,40})\}|(_*[A-Za-z]\w{0,40})\b)(?![^\s$]*\$))";
constexpr std::u16string_view WWW = uR"(^www\.)";
constexpr std::u16string_view MOBILE = uR"(^m\.)";

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// One segment of a path as words: dots are "dot", "~" is "tilde", "-", "_",
// "+" and escapes of anything but an ASCII letter or digit ("%20", "%2F",
// the bytes of "%E2%9C%93") part words. A word of eight or more characters
// that mixes letters and digits is an identifier ("dQw4w9WgXcQ", a commit
// hash), which no listener follows letter by letter: it is not read.
std::u16string segmentWords(std::u16string_view seg) {
    // `gap` joins the next word read to the last: " dot " when a dot came
    // between them, else a space.
    std::u16string out, word, gap;
    auto flush = [&](std::u16string_view next) {
        bool letter = false, digit = false;
        for (char16_t c : word) {
            letter = letter || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
            digit = digit || (c >= u'0' && c <= u'9');
        }
        if (!word.empty() && !(word.size() >= 8 && letter && digit)) {
            out += (out.empty() ? u"" : gap) + word;
            gap.clear();
        }
        word.clear();
        if (next == u" dot " || gap.empty()) gap = next;
    };
    for (size_t k = 0; k < seg.size(); k++) {
        char16_t c = seg[k];
        if (c == u'%' && k + 2 < seg.size() && hexValue(seg[k + 1]) >= 0 && hexValue(seg[k + 2]) >= 0) {
            char16_t v = static_cast<char16_t>(hexValue(seg[k + 1]) * 16 + hexValue(seg[k + 2]));
            k += 2;
            bool alnum = (v >= u'a' && v <= u'z') || (v >= u'A' && v <= u'Z') || (v >= u'0' && v <= u'9');
            if (alnum) word += v;
            else flush(u" ");
        } else if (c == u'.') {
            flush(u" dot ");
        } else if (c == u'-' || c == u'_' || c == u'+') {
            flush(u" ");
        } else if (c == u'~') {
            flush(u" ");
            word = u"tilde";
            flush(u" ");
        } else {
            word += c;
        }
    }
    flush(u"");
    return out;
}

// The path of a web address read as words: its segments (segmentWords)
// joined by "slash". The query and the fragment are not read: they hold
// parameters and anchors, not words a listener follows. Punctuation that
// ends the path belongs to the sentence ("see example.com/faq.") and is
// given back as written; a ")" only when the path opens none
// ("/Mercury_(planet)").
std::u16string readPath(std::u16string_view path) {
    size_t end = path.size();
    auto sentence = [&](char16_t c) {
        if (c == u')') return path.substr(0, end).find(u'(') == std::u16string_view::npos;
        return std::u16string_view(u".,;:!?]'’\"”").find(c) != std::u16string_view::npos;
    };
    while (end > 0 && sentence(path[end - 1])) end--;
    std::u16string tail(path.substr(end));
    std::u16string_view p = path.substr(0, end);
    p = p.substr(0, std::min(p.find(u'?'), p.find(u'#')));
    std::u16string out;
    size_t i = 0;
    while (i < p.size()) {
        size_t slash = std::min(p.find(u'/', i), p.size());
        std::u16string words = segmentWords(p.substr(i, slash - i));
        if (!words.empty()) out += u" slash " + words;
        i = slash + 1;
    }
    return out + tail;
}

std::u16string readAddress(const JMatch& m) {
    if (auto path = m.group(2)) return u' ' + host(*m.group(1)) + readPath(*path) + u' ';
    return u' ' + host(*m.group(1)) + sentenceStop(m) + u' ';
}

std::u16string readEmail(const JMatch& m) {
    std::u16string user = *m.group(1);
    user = literal(std::move(user), u".", u" dot ");
    user = literal(std::move(user), u"_", u" underscore ");
    user = literal(std::move(user), u"-", u" dash ");
    user = literal(std::move(user), u"+", u" plus ");
    return u' ' + user + u" at " + host(*m.group(2)) + u' ';
}

// Handles and hashtags: a prefix word and the name with its underscores as
// spaces; the letters keep their case.
ReplacementBuilder named(std::u16string_view prefix) {
    return [prefix](const JMatch& m) { return std::u16string(prefix) + literal(*m.group(1), u"_", u" "); };
}

}  // namespace

std::u16string host(const std::u16string& s) {
    std::u16string h = detail::lower(s);
    h = detail::re(WWW).replaceFirst(h, u"");
    h = detail::re(MOBILE).replaceFirst(h, u"");
    h = literal(std::move(h), u"-", u" ");
    return literal(std::move(h), u".", u" dot ");
}

std::u16string links(const std::u16string& s) {
    std::u16string t = rewrite(s, WEB, u".", readAddress);
    const Regex& domainPath = detail::re(DOMAIN_PATH);
    if (detail::maybeDomainPath(t)) t = detail::replaceInPieces(t, domainPath, u"/", readAddress);
    // The other rules match no white space and look no further than the
    // next one, so they run on the few words that could hold a match.
    t = detail::replaceInPieces(t, detail::re(EMAIL), u"@", readEmail);
    t = detail::replaceInPieces(t, detail::re(DOMAIN), u".", [](const JMatch& m) { return host(*m.group(0)); });
    t = detail::replaceInPieces(t, detail::re(HANDLE), u"@", named(u"at "));
    t = detail::replaceInPieces(t, detail::re(HASHTAG), u"#", named(u"hashtag "));
    const Regex& variable = detail::re(VARIABLE);
    if (!detail::maybeVariable(t)) return t;
    return detail::replaceInPieces(t, variable, u"$", [](const JMatch& m) {
        return u"dollar " + literal(*(m.group(1) ? m.group(1) : m.group(2)), u"_", u" ");
    });
}

std::vector<std::u16string_view> detail::linkPatterns() {
    return {WEB, DOMAIN_PATH, EMAIL, DOMAIN, HANDLE, HASHTAG, VARIABLE, WWW, MOBILE};
}

}  // namespace tovan::Spoken
