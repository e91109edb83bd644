#include "ExtractMarkdown.h"

#include "Regex.h"
#include "MarkdownScan.h"

namespace tovan::Extract {

std::u16string markdownToText(const std::u16string& markdown, const Progress& progress) {
    constexpr int passes = 9;
    std::u16string s = replaceAll(markdown, u"(?s)```.*?```", u" ");
    progress.at(1, passes);
    s = MarkdownScan::images(s);
    progress.at(2, passes);
    s = MarkdownScan::links(s);
    progress.at(3, passes);
    s = MarkdownScan::headings(s);
    progress.at(4, passes);
    s = MarkdownScan::strong(s);
    progress.at(5, passes);
    s = MarkdownScan::emphasis(s);
    progress.at(6, passes);
    s = MarkdownScan::quoteMarkers(s);
    progress.at(7, passes);
    s = MarkdownScan::listMarkers(s);
    progress.at(8, passes);
    s = replaceAll(s, u"(\\*\\*|__|\\*|_|`)", u"");
    progress.finish();
    return s;
}

}  // namespace tovan::Extract
