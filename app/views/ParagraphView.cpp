#include "ParagraphView.h"

#include <algorithm>
#include <cmath>

#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

#include "Doc.h"
#include "TextMarkers.h"
#include "ViewStyle.h"

namespace tovan {

ParagraphView::ParagraphView(std::shared_ptr<const Doc> doc, std::vector<int64_t> sentences,
                             std::optional<int64_t> current, double size)
    : doc_(std::move(doc)), sentences_(std::move(sentences)), current_(current), size_(size) {}

bool ParagraphView::heading() const {
    if (sentences_.empty()) return false;
    const std::u16string& first = doc_->sentences[static_cast<size_t>(sentences_.front())];
    return first.find(TextMarkers::head) != std::u16string::npos;
}

std::vector<ParagraphView::Run> ParagraphView::styled(const std::u16string& sentence) {
    std::vector<Run> result;
    std::u16string pending;
    bool on = false;  // emphasis never carries over from another sentence
    auto flush = [&] {
        if (pending.empty()) return;
        result.push_back({QString::fromStdU16String(pending), on});
        pending.clear();
    };
    for (char16_t c : sentence) {
        if (c == TextMarkers::on) {
            flush();
            on = true;
        } else if (c == TextMarkers::off) {
            flush();
            on = false;
        } else if (c != TextMarkers::head) {
            pending.push_back(c);
        }
    }
    flush();
    return result;
}

QString ParagraphView::link(int64_t sentence) {
    return QStringLiteral("tovantts://sentence/") + QString::number(sentence);
}

std::vector<ParagraphView::Span> ParagraphView::attributed() const {
    std::vector<Span> spans;
    for (size_t k = 0; k < sentences_.size(); ++k) {
        const int64_t i = sentences_[k];
        if (k > 0) spans.push_back({QStringLiteral(" "), QString(), false, false});
        const QString href = link(i);
        const bool lit = current_ && *current_ == i;
        for (const Run& run : styled(doc_->sentences[static_cast<size_t>(i)]))
            spans.push_back({run.text, href, run.emphasized, lit});
    }
    return spans;
}

QFont ParagraphView::font() const {
    const bool h = heading();
    return ViewStyle::serif(h ? size_ * 1.25 : size_, h ? QFont::DemiBold : QFont::Normal);
}

void ParagraphView::render(QTextCursor& cursor, const QColor& text, const QColor& accent,
                           const QColor& accentSoft) const {
    QTextBlockFormat block;
    block.setTopMargin(topPadding());
    block.setLineHeight(lineSpacing(), QTextBlockFormat::LineDistanceHeight);
    block.setAlignment(Qt::AlignLeading | Qt::AlignAbsolute);
    cursor.setBlockFormat(block);

    QTextCharFormat plain;
    plain.setFont(font());
    plain.setForeground(text);
    for (const Span& span : attributed()) {
        QTextCharFormat f = plain;
        if (!span.link.isEmpty()) {
            // Links look like the text around them: the tint is the text colour.
            f.setAnchor(true);
            f.setAnchorHref(span.link);
        }
        if (span.emphasized) f.setFontItalic(true);
        if (span.highlighted) {
            f.setBackground(accentSoft);
            f.setForeground(accent);
        }
        cursor.insertText(span.text, f);
    }
}

bool ParagraphView::operator==(const ParagraphView& other) const {
    const bool sameDoc = doc_ == other.doc_ || (doc_ && other.doc_ && doc_->id == other.doc_->id);
    return sameDoc && sentences_ == other.sentences_ && current_ == other.current_ && size_ == other.size_;
}

}  // namespace tovan
