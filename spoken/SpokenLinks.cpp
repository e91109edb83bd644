// The links pass: web and e-mail addresses, bare domains, handles and
// hashtags read as words before the later passes see their dots and digits.
#include "SpokenPasses.h"

namespace tovan::Spoken {

using detail::rewrite;
using detail::literal;

namespace {

// The rules, in the order they run. A web address is said as its host only.
constexpr std::u16string_view WEB = uR"((?i)\b(?:https?://|www\.)([a-z0-9.-]+\.[a-z]{2,})(?::\d+)?(/[^\s<>"]*)?)";
constexpr std::u16string_view EMAIL = uR"((?i)\b([a-z0-9._%+-]+)@([a-z0-9-]+(?:\.[a-z0-9-]+)*\.[a-z]{2,})\b)";
constexpr std::u16string_view DOMAIN =
    uR"((?i)\b([a-z0-9-]{2,}(?:\.[a-z0-9-]{2,})*)\.(com|org|net|io|ai|co|in|uk|edu|gov|app|dev|me|info|us|ca|de|fr|au)\b(?![.\w]*@))";
constexpr std::u16string_view HANDLE = uR"((?<![\w@])@([A-Za-z0-9_]{2,30})\b)";
constexpr std::u16string_view HASHTAG = uR"((?<![\w#&])#([A-Za-z][A-Za-z0-9_]{1,40})\b)";
constexpr std::u16string_view WWW = uR"(^www\.)";
constexpr std::u16string_view MOBILE = uR"(^m\.)";

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
    std::u16string t = rewrite(s, WEB, u".", [](const JMatch& m) {
        return u' ' + host(*m.group(1)) + sentenceStop(m) + u' ';
    });
    // The other rules match no white space and look no further than the
    // next one, so they run on the few words that could hold a match.
    t = detail::replaceInPieces(t, detail::re(EMAIL), u"@", readEmail);
    t = detail::replaceInPieces(t, detail::re(DOMAIN), u".", [](const JMatch& m) { return host(*m.group(0)); });
    t = detail::replaceInPieces(t, detail::re(HANDLE), u"@", named(u"at "));
    return detail::replaceInPieces(t, detail::re(HASHTAG), u"#", named(u"hashtag "));
}

std::vector<std::u16string_view> detail::linkPatterns() {
    return {WEB, EMAIL, DOMAIN, HANDLE, HASHTAG, WWW, MOBILE};
}

}  // namespace tovan::Spoken
