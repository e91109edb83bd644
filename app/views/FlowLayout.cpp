#include "FlowLayout.h"

#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tovan {

Flow::Flow(qreal spacing, QWidget* parent) : QLayout(parent), spacing_(spacing) {
    setContentsMargins(0, 0, 0, 0);
}

Flow::~Flow() {
    while (QLayoutItem* item = takeAt(0)) delete item;
}

QSizeF Flow::arrange(qreal maxWidth, const std::vector<QSizeF>& sizes, qreal spacing) {
    qreal x = 0, y = 0, h = 0, w = 0;
    for (const QSizeF& c : sizes) {
        if (x + c.width() > maxWidth && x > 0) {
            y += h + spacing;
            x = 0;
            h = 0;
        }
        x += c.width() + spacing;
        w = std::max(w, x);
        h = std::max(h, c.height());
    }
    return {w, y + h};
}

QSizeF Flow::sizeThatFits(std::optional<qreal> proposedWidth, const std::vector<QSizeF>& sizes, qreal spacing) {
    const qreal maxWidth = proposedWidth ? *proposedWidth : std::numeric_limits<qreal>::infinity();
    const QSizeF a = arrange(maxWidth, sizes, spacing);
    return {proposedWidth ? *proposedWidth : a.width(), a.height()};
}

std::vector<QPointF> Flow::place(const QRectF& bounds, const std::vector<QSizeF>& sizes, qreal spacing) {
    std::vector<QPointF> out;
    out.reserve(sizes.size());
    qreal x = bounds.left(), y = bounds.top(), h = 0;
    for (const QSizeF& c : sizes) {
        if (x + c.width() > bounds.right() && x > bounds.left()) {
            x = bounds.left();
            y += h + spacing;
            h = 0;
        }
        out.emplace_back(x, y);
        x += c.width() + spacing;
        h = std::max(h, c.height());
    }
    return out;
}

void Flow::addItem(QLayoutItem* item) {
    items_.append(item);
}

int Flow::count() const {
    return static_cast<int>(items_.size());
}

QLayoutItem* Flow::itemAt(int index) const {
    return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* Flow::takeAt(int index) {
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

std::vector<QLayoutItem*> Flow::shownItems() const {
    std::vector<QLayoutItem*> out;
    for (QLayoutItem* item : items_)
        if (!item->isEmpty()) out.push_back(item);  // hidden widgets take no room
    return out;
}

std::vector<QSizeF> Flow::childSizes() const {
    std::vector<QSizeF> sizes;
    for (QLayoutItem* item : shownItems()) sizes.emplace_back(item->sizeHint());
    return sizes;
}

int Flow::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    const qreal inner = std::max(0, width - m.left() - m.right());
    const QSizeF s = sizeThatFits(inner, childSizes(), spacing_);
    return static_cast<int>(std::ceil(s.height())) + m.top() + m.bottom();
}

QSize Flow::sizeHint() const {
    const QMargins m = contentsMargins();
    const QSizeF s = sizeThatFits(std::nullopt, childSizes(), spacing_);
    return {static_cast<int>(std::ceil(s.width())) + m.left() + m.right(),
            static_cast<int>(std::ceil(s.height())) + m.top() + m.bottom()};
}

QSize Flow::minimumSize() const {
    // Any width will do (rows wrap); the height follows heightForWidth.
    const QMargins m = contentsMargins();
    return {m.left() + m.right(), m.top() + m.bottom()};
}

void Flow::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    const QRectF inner = QRectF(rect.marginsRemoved(contentsMargins()));
    // QRect::right() is one short of the edge; place() wants the edge itself.
    const QRectF bounds(inner.left(), inner.top(), inner.width(), inner.height());
    const std::vector<QLayoutItem*> shown = shownItems();
    std::vector<QSizeF> sizes;
    for (QLayoutItem* item : shown) sizes.emplace_back(item->sizeHint());
    const std::vector<QPointF> at = place(bounds, sizes, spacing_);
    for (size_t i = 0; i < shown.size(); ++i) {
        const QSize sz = shown[i]->sizeHint();
        shown[i]->setGeometry(QRect(QPoint(static_cast<int>(std::lround(at[i].x())),
                                            static_cast<int>(std::lround(at[i].y()))),
                                     sz));
    }
}

}  // namespace tovan
