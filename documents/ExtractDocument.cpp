#include "ExtractDocument.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "Charset.h"
#include "Extract.h"
#include "ExtractDocx.h"
#include "ExtractEpub.h"
#include "ExtractHtml.h"
#include "ExtractMarkdown.h"
#include "HtmlScan.h"
#include "Regex.h"
#include "Utf16.h"
#include "TextClean.h"

namespace tovan::Extract {

namespace {

constexpr size_t npos = std::u16string::npos;

// The shares of the whole that each step takes, as measured on large plain
// text (documents/bench/large_text_bench): reading the file, then decoding
// it, then the markup conversion (HTML, Markdown) of what is left before the
// cleaning.
constexpr double readShare = 0.05;
constexpr double decodeShare = 0.05;
constexpr double markupShare = 0.5;

std::u16string lowered(const std::u16string& s) {
    icu::UnicodeString u(s.data(), int32_t(s.size()));
    u.toLower(icu::Locale::getRoot());
    return std::u16string(u.getBuffer(), size_t(u.length()));
}

bool contains(const std::optional<std::u16string>& mime, std::u16string_view part) {
    return mime && mime->find(part) != npos;
}

std::string readWhole(const std::filesystem::path& path, const Progress& progress) {
    const auto fail = [&](int err) {
        return std::system_error(err, std::generic_category(), "Could not read " + path.string());
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw fail(errno);
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= maxDocumentBytes)
        bytes.reserve(size_t(st.st_size));
    // Closed on every way out, a cancel included.
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const std::uint64_t expected = bytes.capacity();
    char buf[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw fail(errno);
        }
        if (got == 0) break;
        bytes.append(buf, size_t(got));
        // A file that grows while it is read is still held to the limit.
        if ((long long)bytes.size() > maxDocumentBytes) throw Unsupported(tooLargeToRead);
        progress.at(std::min<std::uint64_t>(bytes.size(), expected), expected);
    }
    progress.finish();
    return bytes;
}

ExtractedDoc read(std::string_view data, std::string* owned, const std::u16string& name,
                  const std::optional<std::u16string>& mime, const std::optional<std::u16string>& source,
                  const Progress& progress);

}  // namespace

std::u16string fileURL(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(file, ec);
    if (ec) abs = file;
    static const char hex[] = "0123456789ABCDEF";
    std::u16string out = u"file://";
    for (unsigned char c : abs.string()) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::string_view("-._~!$&'()*+,;=:@/").find(char(c)) != std::string_view::npos;
        if (plain) {
            out += char16_t(c);
        } else {
            out += u'%';
            out += char16_t(hex[c >> 4]);
            out += char16_t(hex[c & 15]);
        }
    }
    return out;
}

ExtractedDoc document(const std::filesystem::path& file, const std::optional<std::u16string>& mime,
                      const Progress& progress) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (!ec && (long long)size > maxDocumentBytes) throw Unsupported(tooLargeToRead);
    std::u16string name = u16(file.filename().string());
    if (name.empty()) name = u"Document";
    const size_t dot = name.rfind(u'.');
    const std::u16string ext = dot == npos ? std::u16string() : lowered(name.substr(dot + 1));
    if ((mime && *mime == u"application/pdf") || ext == u"pdf") throw Unsupported(pdfFromPages);
    std::string bytes = readWhole(file, progress.part(0, readShare));
    return read(bytes, &bytes, name, mime, fileURL(file), progress.part(readShare, 1));
}

ExtractedDoc document(std::string_view data, const std::u16string& name, const std::optional<std::u16string>& mime,
                      const std::optional<std::u16string>& source, const Progress& progress) {
    return read(data, nullptr, name, mime, source, progress);
}

namespace {

// `owned`, when given, holds `data` and is emptied once the text is decoded,
// so that a large file is not held as bytes and as text at once.
ExtractedDoc read(std::string_view data, std::string* owned, const std::u16string& name,
                  const std::optional<std::u16string>& mime, const std::optional<std::u16string>& source,
                  const Progress& progress) {
    const size_t dot = name.rfind(u'.');
    const std::u16string ext = dot == npos ? std::u16string() : lowered(name.substr(dot + 1));
    const std::u16string base = dot == npos ? name : name.substr(0, dot);

    if ((mime && *mime == u"application/pdf") || ext == u"pdf") throw Unsupported(pdfFromPages);
    if ((long long)data.size() > maxDocumentBytes) throw Unsupported(tooLargeToRead);
    if ((mime && *mime == u"application/epub+zip") || ext == u"epub") return epub(data, base, source, progress);
    if (ext == u"docx" || contains(mime, u"wordprocessingml")) return docx(data, base, source, progress);

    const bool html = ext == u"html" || ext == u"htm" || ext == u"xhtml" || contains(mime, u"html");
    const bool markdown = !html && (ext == u"md" || ext == u"markdown" || contains(mime, u"markdown"));
    const bool plain = !html && !markdown && (!mime || mime->rfind(u"text/", 0) == 0 || ext.empty() || ext == u"txt");
    // Decided before decoding, so that data no reader takes is not decoded.
    if (!html && !markdown && !plain) throw Unsupported(cannotRead);

    std::u16string text = Charset::decode(data, std::nullopt, progress.part(0, decodeShare));
    if (owned) std::string().swap(*owned);
    const Progress rest = progress.part(decodeShare, 1);
    ExtractedDoc doc;
    doc.source = source;
    if (html) {
        // "(?is)<title[^>]*>(.*?)</title>"
        static const HtmlScan::ElementPattern titles{{u"title"}, false};
        std::optional<std::u16string> title;
        if (auto e = HtmlScan::firstElement(text, titles))
            title = clean(text.substr(size_t(e->openEnd), size_t(e->innerEnd - e->openEnd)));
        doc.title = title ? *title : base;
        doc.paragraphs = TextClean::clean(htmlToText(text, rest.part(0, markupShare)), TextClean::Furniture::none,
                                          rest.part(markupShare, 1));
        doc.kind = u"html";
    } else if (markdown) {
        doc.title = base;
        doc.paragraphs = TextClean::clean(markdownToText(text, rest.part(0, markupShare)),
                                          TextClean::Furniture::none, rest.part(markupShare, 1));
        doc.kind = u"markdown";
    } else {
        doc.title = base;
        doc.paragraphs = TextClean::clean(std::move(text), TextClean::Furniture::none, rest);
        doc.kind = u"text";
    }
    progress.finish();
    return doc;
}

}  // namespace

ExtractedDoc fromArticle(const Article& article, const std::optional<std::u16string>& source) {
    ExtractedDoc doc;
    size_t pos = 0;
    const std::u16string& text = article.text;
    for (;;) {
        const size_t nl = text.find(u'\n', pos);
        const std::u16string line = Utf16::trim(std::u16string_view(text).substr(pos, nl == npos ? npos : nl - pos));
        // A line of citation marks alone speaks as nothing: no silent sentence.
        if (!line.empty()) {
            std::u16string p = TextClean::speakable(line);
            if (TextClean::hasText(p)) doc.paragraphs.push_back(std::move(p));
        }
        if (nl == npos) break;
        pos = nl + 1;
    }
    doc.title = article.title ? *article.title : firstWords(doc.paragraphs);
    doc.kind = u"web";
    doc.source = source;
    return doc;
}

ExtractedDoc fromHTML(const std::u16string& html, const std::optional<std::u16string>& baseURL) {
    return fromArticle(Article::extract(html, baseURL), baseURL);
}

}  // namespace tovan::Extract
