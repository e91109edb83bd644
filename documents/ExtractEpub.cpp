#include "ExtractEpub.h"

#include <set>
#include <vector>

#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include "Extract.h"
#include "ExtractHtml.h"
#include "HtmlScan.h"
#include "Regex.h"
#include "TextClean.h"
#include "ZipArchive.h"

namespace tovan::Extract {

namespace {

using HtmlScan::ElementPattern;
constexpr size_t npos = std::u16string::npos;

std::u16string lowered(const std::u16string& s) {
    icu::UnicodeString u(s.data(), int32_t(s.size()));
    u.toLower(icu::Locale::getRoot());
    return std::u16string(u.getBuffer(), size_t(u.length()));
}

const std::string* file(const std::map<std::u16string, std::string>& files, const std::u16string& name) {
    auto it = files.find(name);
    return it == files.end() ? nullptr : &it->second;
}

std::u16string text(const std::string* bytes) {
    return bytes ? str(std::string_view(*bytes)) : std::u16string();
}

// Group 1 of "<NAME[^>]*>([\s\S]*?)</NAME>" (case kept), or nothing.
std::optional<std::u16string> element(const std::u16string& s, std::u16string_view name) {
    const ElementPattern p{{name}, false, true, false};
    if (auto e = HtmlScan::firstElement(s, p)) return s.substr(size_t(e->openEnd), size_t(e->innerEnd - e->openEnd));
    return std::nullopt;
}

// Group 1 of the first match of a pattern inside one tag.
std::optional<std::u16string> attribute(const std::u16string& tag, std::u16string_view pattern) {
    if (auto m = rx(pattern).find(tag)) return m->group(1);
    return std::nullopt;
}

}  // namespace

std::map<std::u16string, std::string> unzip(std::string_view data, const Progress& progress) {
    const ZipArchive zip(data);
    std::map<std::u16string, std::string> files;
    long long total = 0;
    std::uint64_t entry = 0;
    for (const ZipArchive::Entry& e : zip.entries()) {
        progress.at(entry++, zip.entries().size());
        if (e.isDirectory()) continue;
        if (!matches(lowered(e.name), u".*\\.(xhtml|html|htm|xml|opf|ncx|rels)$")) continue;
        if (e.uncompressedSize > unzipEntryLimit || total + e.uncompressedSize > unzipTotalLimit)
            throw Unsupported(tooLargeToOpen);
        std::string bytes;
        try {
            bytes = zip.contents(e, unzipEntryLimit);
        } catch (const ZipArchive::Failure& f) {
            // A stored entry whose bytes outgrow what it declares.
            if (f.kind() == ZipArchive::Failure::Kind::tooLarge) throw Unsupported(tooLargeToOpen);
            throw;
        }
        total += (long long)bytes.size();
        if (total > unzipTotalLimit) throw Unsupported(tooLargeToOpen);
        files[e.name] = std::move(bytes);
    }
    progress.finish();
    return files;
}

std::u16string resolve(const std::u16string& dir, const std::u16string& href) {
    const std::u16string joined = dir + href;
    std::vector<std::u16string> stack;
    size_t pos = 0;
    while (pos <= joined.size()) {
        size_t slash = joined.find(u'/', pos);
        if (slash == npos) slash = joined.size();
        std::u16string piece = joined.substr(pos, slash - pos);
        if (piece == u"..") {
            if (!stack.empty()) stack.pop_back();
        } else if (!piece.empty() && piece != u".") {
            stack.push_back(std::move(piece));
        }
        pos = slash + 1;
    }
    std::u16string out;
    for (size_t i = 0; i < stack.size(); ++i) {
        if (i) out += u'/';
        out += stack[i];
    }
    const size_t hash = out.find(u'#');
    if (hash != npos) out.resize(hash);
    return out;
}

std::optional<std::u16string> percentDecoded(const std::u16string& s) {
    if (s.find(u'%') == npos) return s;
    std::string bytes;
    const auto hex = [](char16_t c) -> int {
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (c >= u'a' && c <= u'f') return c - u'a' + 10;
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != u'%') {
            bytes += u8(std::u16string_view(&s[i], U16_IS_LEAD(s[i]) && i + 1 < s.size() ? 2 : 1));
            if (U16_IS_LEAD(s[i]) && i + 1 < s.size()) ++i;
            continue;
        }
        if (i + 2 >= s.size() || hex(s[i + 1]) < 0 || hex(s[i + 2]) < 0) return std::nullopt;
        bytes.push_back(char(hex(s[i + 1]) * 16 + hex(s[i + 2])));
        i += 2;
    }
    int32_t i = 0;
    const auto len = int32_t(bytes.size());
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
    while (i < len) {
        UChar32 c;
        U8_NEXT(b, i, len, c);
        if (c < 0) return std::nullopt;
    }
    return u16(bytes);
}

ExtractedDoc epub(std::string_view data, const std::u16string& fallbackTitle,
                  const std::optional<std::u16string>& source, const Progress& progress) {
    // Shares of the whole: the archive, then the chapters, then the body cut.
    constexpr double unzipped = 0.15, chaptersRead = 0.95;
    const auto files = unzip(data, progress.part(0, unzipped));
    const std::u16string container = text(file(files, u"META-INF/container.xml"));
    const auto opfPath = first(container, u"full-path=\"([^\"]+)\"");
    if (!opfPath) throw Unsupported(epubUnopenable);
    const std::u16string opf = text(file(files, *opfPath));
    const size_t slash = opfPath->rfind(u'/');
    const std::u16string dir = slash == npos ? std::u16string() : opfPath->substr(0, slash + 1);

    std::map<std::u16string, std::u16string> manifest;
    const HtmlScan::TagPattern items{rx(u"<item\\b[^>]*>"), u"item", false, true};
    for (const auto& m : HtmlScan::tagMatches(opf, items)) {
        const std::u16string& tag = *m.groups[0];
        auto id = attribute(tag, u"\\bid=\"([^\"]+)\"");
        auto href = attribute(tag, u"\\bhref=\"([^\"]+)\"");
        if (id && href) manifest[*id] = *href;
    }

    // Spines list a chapter file once per fragment ("ch1.xhtml#s2"): each
    // file is read the first time it comes.
    std::vector<std::u16string> paragraphs;
    std::set<std::u16string> read;
    const HtmlScan::TagPattern spine{rx(u"<itemref\\b[^>]*idref=\"([^\"]+)\""), u"itemref", false, true,
                                     HtmlScan::TagScope::quotedValue};
    // Progress by the bytes of the markup entries, which bound the chapters'.
    std::uint64_t markup = 0, done = 0;
    for (const auto& [name, bytes] : files) markup += bytes.size();
    const Progress chapters = progress.part(unzipped, chaptersRead);
    for (const auto& m : HtmlScan::tagMatches(opf, spine)) {
        auto it = manifest.find(m.groups[1].value_or(u""));
        if (it == manifest.end()) continue;
        const std::u16string href = percentDecoded(it->second).value_or(it->second);
        const std::u16string path = resolve(dir, href);
        const std::string* chapter = file(files, path);
        if (!chapter || !read.insert(path).second) continue;
        // A long chapter reports (and stops) inside its conversion too.
        const double from = markup ? double(done) / double(markup) : 0;
        done += chapter->size();
        const Progress one = chapters.part(from, markup ? double(done) / double(markup) : 1);
        one.check();
        for (auto& p : TextClean::clean(htmlToText(text(chapter), one.part(0, 0.5)), TextClean::Furniture::none,
                                        one.part(0.5, 1)))
            paragraphs.push_back(std::move(p));
    }
    chapters.finish();

    std::vector<std::u16string> body = TextClean::bookBody(paragraphs);
    if (body.empty()) throw Unsupported(epubNoText);

    ExtractedDoc doc;
    const auto title = clean(element(opf, u"dc:title"));
    doc.title = title && !title->empty() ? *title : fallbackTitle;
    const auto author = clean(element(opf, u"dc:creator"));
    if (author && !author->empty()) doc.author = *author;
    doc.paragraphs = std::move(body);
    doc.kind = u"epub";
    doc.source = source;
    progress.finish();
    return doc;
}

}  // namespace tovan::Extract
