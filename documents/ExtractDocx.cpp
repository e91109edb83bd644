#include "ExtractDocx.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include "Extract.h"
#include "ExtractEpub.h"
#include "Utf16.h"
#include "TextClean.h"

namespace tovan::Extract {

namespace {

constexpr size_t npos = std::u16string::npos;

bool startsWith(const std::u16string& s, size_t at, std::u16string_view what) {
    return at <= s.size() && s.size() - at >= what.size() && std::u16string_view(s).substr(at, what.size()) == what;
}

std::u16string text(const std::map<std::u16string, std::string>& files, const std::u16string& name) {
    auto it = files.find(name);
    return it == files.end() ? std::u16string() : str(std::string_view(it->second));
}

}  // namespace

std::u16string docxParagraph(const std::u16string& s) {
    // The regex, tried at each '<': a text element "<w:t" + optional
    // (white space + "[^>]*") + ">" + "[^<]*" + "</w:t>", else the two empty
    // elements. "[^>]*" and "[^<]*" can only end at the next '>' and the
    // next '<', found once for all candidates that share them.
    std::u16string para;
    size_t gtFrom = npos, gt = npos, ltFrom = npos, lt = npos;
    const auto nextGt = [&](size_t p) {
        if (p < gtFrom || p > gt) gtFrom = p, gt = s.find(u'>', p);
        return gt;
    };
    const auto nextLt = [&](size_t p) {
        if (p < ltFrom || p > lt) ltFrom = p, lt = s.find(u'<', p);
        return lt;
    };
    size_t i = s.find(u'<');
    while (i != npos) {
        size_t resume = i + 1;
        bool matched = false;
        if (startsWith(s, i, u"<w:t") && i + 4 < s.size()) {
            size_t close = npos;
            UChar32 c;
            size_t after = i + 4;
            U16_NEXT(s.data(), after, s.size(), c);
            if (u_hasBinaryProperty(c, UCHAR_WHITE_SPACE)) close = nextGt(i + 4);
            else if (s[i + 4] == u'>') close = i + 4;
            if (close != npos) {
                const size_t end = nextLt(close + 1);
                if (end != npos && startsWith(s, end, u"</w:t>")) {
                    para += decode(s.substr(close + 1, end - close - 1));
                    resume = end + 6;
                    matched = true;
                }
            }
        }
        if (!matched && (startsWith(s, i, u"<w:tab/>") || startsWith(s, i, u"<w:br/>"))) {
            para += u' ';
            resume = i + (s[i + 3] == u't' ? 8 : 7);
        }
        i = s.find(u'<', resume);
    }
    return para;
}

ExtractedDoc docx(std::string_view data, const std::u16string& fallbackTitle,
                  const std::optional<std::u16string>& source, const Progress& progress) {
    // Shares of the whole: the archive, then the runs, then the cleaning.
    constexpr double unzipped = 0.1, runsRead = 0.5;
    const auto files = unzip(data, progress.part(0, unzipped));
    // An empty part is refused; one that decodes to nothing (a byte-order
    // mark alone) is a document without paragraphs.
    const auto part = files.find(u"word/document.xml");
    if (part == files.end() || part->second.empty()) throw Unsupported(docxUnopenable);
    const std::u16string xml = text(files, u"word/document.xml");

    std::u16string body;
    size_t pos = 0;
    const Progress runs = progress.part(unzipped, runsRead);
    for (;;) {
        runs.at(pos, xml.size());
        const size_t end = xml.find(u"</w:p>", pos);
        const std::u16string para = docxParagraph(xml.substr(pos, end == npos ? npos : end - pos));
        if (!Utf16::trim(para).empty()) {
            body += para;
            body += u"\n\n";
        }
        if (end == npos) break;
        pos = end + 6;
    }

    // "<dc:title>([\s\S]*?)</dc:title>": the first opening decides, since a
    // later one could only find the same closing tags.
    const std::u16string core = text(files, u"docProps/core.xml");
    std::optional<std::u16string> title;
    if (const size_t open = core.find(u"<dc:title>"); open != npos) {
        const size_t close = core.find(u"</dc:title>", open + 10);
        if (close != npos) title = clean(core.substr(open + 10, close - open - 10));
    }

    ExtractedDoc doc;
    doc.title = title && !title->empty() ? *title : fallbackTitle;
    doc.paragraphs = TextClean::clean(std::move(body), TextClean::Furniture::none, progress.part(runsRead, 1));
    doc.kind = u"docx";
    doc.source = source;
    progress.finish();
    return doc;
}

}  // namespace tovan::Extract
