#include "PdfImport.h"

#include <cmath>
#include <memory>
#include <unordered_set>

#include <QFile>
#include <QFileInfo>
#include <QRectF>
#include <QString>
#include <poppler-qt6.h>

#include "Extract.h"
#include "Regex.h"
#include "TextClean.h"

namespace tovan::PdfImport {
namespace {

std::u16string fromQt(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size()));
}

QString toQt(const std::filesystem::path& file) {
    return QFile::decodeName(QByteArray::fromStdString(file.native()));
}

// Opened and unlocked, or a refusal. The password check comes before any
// page is touched.
std::unique_ptr<Poppler::Document> open(const std::filesystem::path& file) {
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(toQt(file));
    if (!doc) throw Extract::Unsupported(unopenable);
    if (doc->isLocked()) throw Extract::Unsupported(passwordProtected);
    return doc;
}

// One line of words: the text of each word, a blank where poppler saw a
// space after it, and the union of the word boxes.
struct Chain {
    QString text;
    QRectF box;
};

Chain chainFrom(Poppler::TextBox* first, std::unordered_set<const Poppler::TextBox*>& seen) {
    Chain c;
    for (Poppler::TextBox* w = first; w && seen.insert(w).second; w = w->nextWord()) {
        c.text += w->text();
        const Poppler::TextBox* next = w->nextWord();
        if (next && w->hasSpaceAfter()) c.text += QLatin1Char(' ');
        const QRectF r = w->boundingBox();
        c.box = c.box.isNull() ? r : c.box.united(r);
    }
    return c;
}

bool finite(const QRectF& r) {
    return std::isfinite(r.left()) && std::isfinite(r.top()) && std::isfinite(r.right()) && std::isfinite(r.bottom());
}

void pageLines(const Poppler::Page& page, std::int64_t index, std::vector<PdfLayout::Line>& out) {
    // Poppler measures the text from the top-left corner of the visible
    // (crop) box, y downward, already turned by the page's rotation: the
    // same frame as the size it reports, and the one PdfLayout wants.
    const QSizeF size = page.pageSizeF();
    const float pw = static_cast<float>(size.width()), ph = static_cast<float>(size.height());
    if (!(pw > 0 && ph > 0 && std::isfinite(pw) && std::isfinite(ph))) return;

    const std::vector<std::unique_ptr<Poppler::TextBox>> words = page.textList();
    // A word that another word points to continues that word's line.
    std::unordered_set<const Poppler::TextBox*> continued, seen;
    for (const auto& w : words)
        if (w->nextWord()) continued.insert(w->nextWord());

    const auto add = [&](const Chain& c) {
        std::u16string text = TextClean::normalizeChars(fromQt(c.text));
        for (char16_t& ch : text)
            if (ch == u'\r') ch = u' ';
        text = trimmed(text);
        if (text.empty() || c.box.isEmpty() || !finite(c.box)) return;
        out.push_back(PdfLayout::Line{index, std::move(text), static_cast<float>(c.box.left()),
                                      static_cast<float>(c.box.top()), static_cast<float>(c.box.right()),
                                      static_cast<float>(c.box.bottom()), pw, ph});
    };
    for (const auto& w : words)
        if (!continued.count(w.get())) add(chainFrom(w.get(), seen));
    // Words on a chain without a start (a loop) are not lost.
    for (const auto& w : words)
        if (!seen.count(w.get())) add(chainFrom(w.get(), seen));
}

std::vector<PdfLayout::Line> linesOf(const Poppler::Document& doc, const Progress& progress = {}) {
    std::vector<PdfLayout::Line> out;
    const int pages = doc.numPages();
    for (int i = 0; i < pages; ++i) {
        progress.at(std::uint64_t(i), std::uint64_t(pages));
        const std::unique_ptr<Poppler::Page> page = doc.page(i);
        if (page) pageLines(*page, i, out);
    }
    progress.finish();
    return out;
}

std::u16string titleOf(const Poppler::Document& doc, const std::filesystem::path& file) {
    const QString title = doc.info(QStringLiteral("Title")).trimmed();
    if (!title.isEmpty()) return fromQt(title);
    const QFileInfo info(toQt(file));
    const QString base = info.completeBaseName();
    return fromQt(base.isEmpty() ? info.fileName() : base);
}

}  // namespace

std::vector<PdfLayout::Line> lines(const std::filesystem::path& file) {
    return linesOf(*open(file));
}

Result read(const std::filesystem::path& file, const Progress& progress) {
    const std::unique_ptr<Poppler::Document> doc = open(file);
    Result result;
    result.title = titleOf(*doc, file);
    // The pages take nearly all of the time; the layout a tenth.
    constexpr double pagesRead = 0.9;
    const std::vector<PdfLayout::Line> lines = linesOf(*doc, progress.part(0, pagesRead));
    for (PdfLayout::Para& para : PdfLayout::layout(lines)) {
        // The heading mark in front of a heading's text takes one unit.
        const std::int64_t shift = para.heading ? 1 : 0;
        for (PdfLayout::Span& s : para.spans) {
            s.start += shift;
            s.end += shift;
        }
        result.paragraphs.push_back(para.text());
        result.spans.push_back(std::move(para.spans));
    }
    if (result.paragraphs.empty()) throw Extract::Unsupported(noText);
    progress.finish();
    return result;
}

}  // namespace tovan::PdfImport
