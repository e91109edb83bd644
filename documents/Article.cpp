#include "Article.h"

#include "Charset.h"

#include <memory>

#include <unicode/uchar.h>
#include <unicode/ucnv.h>

#include "Extract.h"
#include "HtmlScan.h"
#include "Regex.h"
#include "Utf16.h"

namespace tovan {

namespace {

using HtmlScan::ElementPattern;
constexpr size_t npos = std::u16string::npos;

// What the address parser refuses: no host, a bad port, or characters that
// cannot stand in a host.
bool parsesAsUrl(const std::u16string& s) {
    const size_t colon = s.find(u"://");
    if (colon == npos || colon == 0) return false;
    const size_t authorityStart = colon + 3;
    size_t authorityEnd = s.find_first_of(u"/?#", authorityStart);
    if (authorityEnd == npos) authorityEnd = s.size();
    std::u16string authority = s.substr(authorityStart, authorityEnd - authorityStart);
    const size_t at = authority.rfind(u'@');
    if (at != npos) authority.erase(0, at + 1);
    std::u16string host = authority, port;
    if (!authority.empty() && authority[0] == u'[') {
        const size_t close = authority.find(u']');
        if (close == npos) return false;
        host = authority.substr(1, close - 1);
        for (char16_t c : host)
            if (!(c == u':' || c == u'.' || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
                return false;
        const std::u16string rest = authority.substr(close + 1);
        if (!rest.empty() && rest[0] != u':') return false;
        if (!rest.empty()) port = rest.substr(1);
    } else {
        const size_t c = authority.rfind(u':');
        if (c != npos) {
            host = authority.substr(0, c);
            port = authority.substr(c + 1);
        }
        for (char16_t ch : host)
            if (ch <= 0x20 || ch == 0x7F || std::u16string_view(u"<>\"{}|\\^`[]").find(ch) != npos) return false;
    }
    if (host.empty()) return false;
    for (char16_t c : port)
        if (c < u'0' || c > u'9') return false;
    return true;
}

// The text of group 1 of a paragraph-like element, or nothing.
std::optional<std::u16string> innerOf(const std::u16string& s, const ElementPattern& p) {
    if (auto e = HtmlScan::firstElement(s, p)) return s.substr(size_t(e->openEnd), size_t(e->innerEnd - e->openEnd));
    return std::nullopt;
}

// One cleaned paragraph a line, each of at least 40 units, from the
// elements "(?is)<p\b[^>]*>(.*?)</p>".
std::u16string paragraphs(const std::optional<std::u16string>& html) {
    if (!html) return u"";
    static const ElementPattern p{{u"p"}};
    std::u16string out;
    for (const auto& e : HtmlScan::elements(*html, p)) {
        std::u16string para = Article::clean(html->substr(size_t(e.openEnd), size_t(e.innerEnd - e.openEnd)));
        if (para.size() < 40) continue;
        out += para;
        out += u'\n';
    }
    return Utf16::trim(out);
}

std::u16string replaceText(std::u16string s, std::u16string_view from, std::u16string_view to) {
    if (s.find(from) == npos) return s;
    std::u16string out;
    out.reserve(s.size());
    size_t pos = 0;
    for (size_t at = s.find(from); at != npos; at = s.find(from, pos)) {
        out.append(s, pos, at - pos);
        out += to;
        pos = at + from.size();
    }
    out.append(s, pos, npos);
    return out;
}

}  // namespace

bool Article::isLink(const std::u16string& text) {
    const auto m = rx(u"https?://\\S+").find(text);
    return m && int(text.size()) - (m->end(0) - m->start(0)) < 100;
}

std::optional<std::u16string> Article::link(const std::u16string& text) {
    if (!isLink(text)) return std::nullopt;
    const std::u16string found = *rx(u"https?://\\S+").find(text)->group(0);
    std::u16string url = replaceFirst(found, u"^http://", u"https://");
    if (!parsesAsUrl(url)) return std::nullopt;
    return url;
}

std::u16string Article::textOf(std::string_view bytes, const std::optional<std::u16string>& contentType) {
    return Charset::decode(bytes, contentType);
}

std::u16string Article::clean(const std::u16string& markup) {
    std::u16string s = HtmlScan::replaceTags(markup, u"(?s)<[^>]*>", u" ");
    // "&amp;" comes last, so that an escaped reference stays as written.
    static const std::pair<std::u16string_view, std::u16string_view> named[] = {
        {u"&nbsp;", u" "},    {u"&lt;", u"<"},      {u"&gt;", u">"},     {u"&quot;", u"\""},
        {u"&#39;", u"'"},     {u"&apos;", u"'"},    {u"&lsquo;", u"'"},  {u"&rsquo;", u"'"},
        {u"&ldquo;", u"\""},  {u"&rdquo;", u"\""},  {u"&ndash;", u"-"},  {u"&mdash;", u", "},
        {u"&hellip;", u"..."}, {u"&amp;", u"&"},
    };
    for (const auto& [from, to] : named) s = replaceText(std::move(s), from, to);
    s = Extract::htmlNumericEntities(s);
    // "\s+" -> " " by hand: nearly every blank would be a match of its own.
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        if (u_hasBinaryProperty(s[i], UCHAR_WHITE_SPACE)) {
            while (i < s.size() && u_hasBinaryProperty(s[i], UCHAR_WHITE_SPACE)) ++i;
            out += u' ';
        } else {
            out += s[i++];
        }
    }
    return Utf16::trim(out);
}

Article Article::extract(const std::u16string& html, const std::optional<std::u16string>& url) {
    // "(?is)<(script|style|noscript|svg|nav|header|footer|aside|form|figure)\b.*?</\1>"
    static const ElementPattern boilerplate{
        {u"script", u"style", u"noscript", u"svg", u"nav", u"header", u"footer", u"aside", u"form", u"figure"},
        true,
        false};
    const std::u16string page =
        HtmlScan::replaceElements(html, boilerplate, [](const HtmlScan::Element&) { return u" "; });

    std::optional<std::u16string> title;
    const HtmlScan::TagPattern og{rx(u"(?is)<meta[^>]+property=[\"']og:title[\"'][^>]+content=[\"']([^\"']+)"),
                                  u"meta", true, false, HtmlScan::TagScope::quotedValue};
    if (auto found = HtmlScan::tagMatches(page, og, 1); !found.empty()) title = found.front().groups[1];
    if (!title) {
        static const ElementPattern titles{{u"title"}, false};  // "(?is)<title[^>]*>(.*?)</title>"
        title = innerOf(page, titles);
    }

    static const ElementPattern articles{{u"article"}};  // "(?is)<article\b[^>]*>(.*?)</article>"
    std::u16string body = paragraphs(innerOf(page, articles));
    if (body.size() < 500) body = paragraphs(page);

    if (body.size() > size_t(maxChars)) {
        const size_t window = std::min(body.size(), size_t(maxChars) + 2);
        const size_t stop = std::u16string_view(body).substr(0, window).rfind(u". ");
        body.resize(stop != npos && stop > 0 ? stop + 1 : size_t(maxChars));
    }
    if (title) title = clean(*title);

    Article a;
    a.title = title;
    a.url = url;
    if (!body.empty()) a.text = title ? *title + u".\n" + body : body;
    else a.text = title ? *title + u". I couldn't find an article on that page." : u"I couldn't find an article on that page.";
    return a;
}

}  // namespace tovan
