#include "ExtractMarkdown.h"

#include "Regex.h"
#include "MarkdownScan.h"

namespace tovan::Extract {

std::u16string markdownToText(const std::u16string& markdown) {
    std::u16string s = replaceAll(markdown, u"(?s)```.*?```", u" ");
    s = MarkdownScan::images(s);
    s = MarkdownScan::links(s);
    s = MarkdownScan::headings(s);
    s = MarkdownScan::strong(s);
    s = MarkdownScan::emphasis(s);
    s = MarkdownScan::quoteMarkers(s);
    s = MarkdownScan::listMarkers(s);
    return replaceAll(s, u"(\\*\\*|__|\\*|_|`)", u"");
}

}  // namespace tovan::Extract
