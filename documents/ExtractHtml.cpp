#include "ExtractHtml.h"

#include "Extract.h"
#include "HtmlScan.h"
#include "Regex.h"
#include "Utf16.h"

namespace tovan::Extract {

namespace {

using HtmlScan::Element;
using HtmlScan::ElementPattern;
constexpr size_t npos = std::u16string::npos;

// "(?is)<a\b[^>]*href="[^"]*#[^"]*"[^>]*>": a link to a place in a document.
const Regex& inDocumentLinkTag() { return rx(u"(?is)<a\\b[^>]*href=\"[^\"]*#[^\"]*\"[^>]*>"); }

// "(?is)<a\b[^>]*href="[^"]*#[^"]*"[^>]*>.*?</a>"
const ElementPattern& inDocumentLinks() {
    static const ElementPattern p{{u"a"}, true, true, true, &inDocumentLinkTag()};
    return p;
}

// Whether s holds a link to a place in a document whose text is a page
// number: "(?is)<a\b[^>]*href="[^"]*#[^"]*"[^>]*>" followed by
// "\s*(?:page\s*)?[0-9ivxlcdmIVXLCDM]{1,8}\.?\s*</a>". The text after the
// tag holds no '<' before its "</a>", so each tag is looked at once.
bool hasPageLink(const std::u16string& s) {
    const Regex& tag = inDocumentLinkTag();
    const Regex& number = rx(u"(?is)\\s*(?:page\\s*)?[0-9ivxlcdmIVXLCDM]{1,8}\\.?\\s*</a>");
    for (size_t i = s.find(u'<'); i != npos; i = s.find(u'<', i + 1)) {
        if (!HtmlScan::nameAt(s, i + 1, u"a") || !HtmlScan::boundaryAfterWord(s, i + 2)) continue;
        const size_t g = s.find(u'>', i + 1);
        if (g == npos) return false;
        if (tag.whole(s.substr(i, g + 1 - i))) {
            const size_t lt = s.find(u'<', g + 1);
            const size_t end = lt == npos ? s.size() : std::min(s.size(), lt + 4);
            if (number.atStart(s.substr(g + 1, end - g - 1))) return true;
        }
        i = g;  // later candidates inside this tag see the same text after it
    }
    return false;
}

// "[ \t]+" -> " ", then "\n[ \t]+" -> "\n", then "\n{3,}" -> "\n\n", in one
// pass: most blanks are single and would each be a match of their own.
std::u16string tidyBlanks(const std::u16string& s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const char16_t c = s[i];
        if (c == u' ' || c == u'\t') {
            while (i < n && (s[i] == u' ' || s[i] == u'\t')) ++i;
            if (out.empty() || out.back() != u'\n') out += u' ';
            continue;
        }
        if (c == u'\n') {
            size_t run = 0;
            while (i < n && (s[i] == u'\n' || s[i] == u' ' || s[i] == u'\t')) {
                if (s[i] == u'\n') ++run;
                ++i;
            }
            out.append(std::min<size_t>(run, 2), u'\n');
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

std::u16string inner(const std::u16string& s, const Element& e) {
    return s.substr(size_t(e.openEnd), size_t(e.innerEnd - e.openEnd));
}

std::u16string whole(const std::u16string& s, const Element& e) {
    return s.substr(size_t(e.start), size_t(e.end - e.start));
}

}  // namespace

std::u16string contentsRemoved(const std::u16string& html) {
    // "(?is)<tr\b[^>]*>.*?</tr>": a row that links to a page number goes.
    static const ElementPattern rows{{u"tr"}};
    std::u16string s = HtmlScan::replaceElements(html, rows, [&](const Element& e) {
        std::u16string row = whole(html, e);
        return hasPageLink(row) ? std::u16string() : row;
    });

    // "(?is)<(p|li|dt|dd)\b[^>]*>(.*?)</\1>": an entry of in-document links
    // with at most two characters of its own goes.
    static const ElementPattern entries{{u"p", u"li", u"dt", u"dd"}};
    return HtmlScan::replaceElements(s, entries, [&](const Element& e) {
        const std::u16string text = inner(s, e);
        if (HtmlScan::elements(text, inDocumentLinks(), 1).empty()) return whole(s, e);
        std::u16string rest = HtmlScan::replaceElements(text, inDocumentLinks(), [](const Element&) { return u""; });
        rest = HtmlScan::replaceTags(rest, u"<[^>]*>", u"");
        rest = replaceAll(rest, u"&[a-z]+;|[\\s.,:;\u2014\u2013-]", u"");
        return rest.size() < 3 ? std::u16string() : whole(s, e);
    });
}

std::u16string htmlToText(const std::u16string& html, const Progress& progress) {
    // Reported after each pass over the text.
    int pass = 0;
    constexpr int passes = 17;
    const auto passed = [&] { progress.at(std::uint64_t(++pass), passes); };
    // "(?is)<(script|style|noscript|svg|head|nav|header|footer|aside|form|figure|sup)\b.*?</\1>"
    static const ElementPattern dropped{{u"script", u"style", u"noscript", u"svg", u"head", u"nav", u"header",
                                         u"footer", u"aside", u"form", u"figure", u"sup"},
                                        true, false};
    std::u16string s = HtmlScan::replaceElements(html, dropped, [](const Element&) { return u" "; });
    passed();
    s = contentsRemoved(s);
    passed();

    // Drop capitals drawn as images keep their letter; other images go.
    const Regex& dropCap = rx(u"(?is)<img\\b[^>]*\\balt=\"([A-Za-z])\"[^>]*>");
    s = HtmlScan::replaceTags(s, u"(?is)<img\\b[^>]*>", [&](const JMatch& m) {
        std::u16string tag = *m.group(0);
        if (auto cap = dropCap.atStart(tag)) return *cap->group(1);
        return tag;
    });
    passed();
    s = HtmlScan::replaceTags(s, u"(?is)<img\\b[^>]*>", u"");
    passed();

    // "(?is)<span\b[^>]*\bid="img_[^"]*"[^>]*>(.*?)</span>": a single letter
    // in such a span stays, anything longer goes with it.
    static const ElementPattern imageSpans{
        {u"span"}, true, true, true, &rx(u"(?is)<span\\b[^>]*\\bid=\"img_[^\"]*\"[^>]*>")};
    s = HtmlScan::replaceElements(s, imageSpans, [&](const Element& e) {
        std::u16string letter = Utf16::trim(inner(s, e));
        return letter.size() == 1 ? letter : std::u16string();
    });
    passed();
    // "(?is)<span\b[^>]*class="[^"]*pageno[^"]*"[^>]*>.*?</span>"
    static const ElementPattern pageNumbers{
        {u"span"}, true, true, true, &rx(u"(?is)<span\\b[^>]*class=\"[^\"]*pageno[^\"]*\"[^>]*>")};
    s = HtmlScan::replaceElements(s, pageNumbers, [](const Element&) { return u""; });
    passed();

    s = replaceAll(s, u"(?i)<br\\s*/?>", u"\n");
    passed();
    s = HtmlScan::replaceTags(s, u"(?i)<(em|i|strong|b)\\b[^>]*>", u"\uE000");
    passed();
    s = HtmlScan::replaceTags(s, u"(?i)</(em|i|strong|b)\\s*>", u"\uE001");
    passed();
    s = HtmlScan::replaceTags(s, u"(?i)<h[1-6]\\b[^>]*>", u"\n\n\uE002");
    passed();
    s = HtmlScan::replaceTags(
        s,
        u"(?i)</?(p|div|h[1-6]|li|blockquote|section|article|tr|dt|dd|pre|title|table|ul|ol|dl|hr|caption|"
        u"figcaption|center|body)\\b[^>]*>",
        u"\n\n");
    passed();
    s = HtmlScan::replaceTags(s, u"(?i)</?(td|th)\\b[^>]*>", u" ");
    passed();
    s = HtmlScan::replaceTags(s, u"(?s)<[^>]*>", u"");
    passed();
    s = decode(s);
    passed();
    s = tidyBlanks(s);
    passed();
    // A heading's text starts right after its mark: the blanks and the line
    // break between "<h2>" and the words would indent it.
    s = replaceAll(s, u"\uE002[ \\t]*\\n?[ \\t]*(?=\\S)", u"\uE002");
    passed();
    s = replaceAll(s, u"(?m)^([\u201C\"\u2018']?[A-Z])[ \\t]*\\n+[ \\t]*(?=[a-z])", u"$1");
    progress.finish();
    return s;
}

}  // namespace tovan::Extract
