#include "ElidedLabel.h"

#include <QPainter>
#include <QResizeEvent>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>

namespace tovan {

ElidedLabel::ElidedLabel(QWidget* parent, int maxLines) : ElidedLabel(QString(), parent, maxLines) {}

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent, int maxLines)
    : QLabel(text, parent), maxLines_(std::max(1, maxLines)) {
    setTextFormat(Qt::PlainText);
    setProperty("elides", true);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    if (maxLines_ > 1) {
        QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }
}

QStringList ElidedLabel::linesFor(int width) const {
    const QString text = this->text();
    if (text.isEmpty() || width <= 0) return {text};
    const QFontMetrics fm(font());
    QStringList lines;
    QTextLayout layout(text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    int consumed = 0;
    while (lines.size() < maxLines_ - 1) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
        consumed = line.textStart() + line.textLength();
    }
    layout.endLayout();
    const QString rest = text.mid(consumed).trimmed();
    if (!rest.isEmpty() || lines.isEmpty()) lines << fm.elidedText(rest, Qt::ElideRight, width);
    return lines;
}

QStringList ElidedLabel::shownLines() const { return linesFor(contentsRect().width()); }

bool ElidedLabel::elided() const { return shownLines().join(QLatin1Char(' ')) != text().simplified(); }

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics fm(font());
    const QMargins m = contentsMargins();
    const int w = std::min(fm.horizontalAdvance(text()), 600);
    return {w + m.left() + m.right(), fm.height() * std::min<int>(maxLines_, linesFor(w).size()) + m.top() + m.bottom()};
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics fm(font());
    const QMargins m = contentsMargins();
    return {fm.horizontalAdvance(QStringLiteral("M\u2026")) + m.left() + m.right(), fm.height() + m.top() + m.bottom()};
}

int ElidedLabel::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    const int lines = static_cast<int>(linesFor(width - m.left() - m.right()).size());
    return QFontMetrics(font()).height() * lines + m.top() + m.bottom();
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = contentsRect();
    const QFontMetrics fm(font());
    const QStringList lines = linesFor(r.width());
    const int height = fm.height() * static_cast<int>(lines.size());
    int y = r.top();
    if (alignment() & Qt::AlignVCenter) y += std::max(0, (r.height() - height) / 2);
    else if (alignment() & Qt::AlignBottom) y += std::max(0, r.height() - height);
    const Qt::Alignment h = alignment() & Qt::AlignHorizontal_Mask;
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    for (const QString& line : lines) {
        if (y + fm.height() > r.bottom() + 1 && y != r.top()) break;
        p.drawText(QRect(r.left(), y, r.width(), fm.height()), static_cast<int>(h | Qt::AlignVCenter), line);
        y += fm.height();
    }
}

void ElidedLabel::resizeEvent(QResizeEvent* e) {
    QLabel::resizeEvent(e);
    updateTip();
}

void ElidedLabel::updateTip() {
    if (elided()) setToolTip(text());
}

}  // namespace tovan
