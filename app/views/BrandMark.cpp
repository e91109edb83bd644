#include "BrandMark.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tovan {

namespace {

struct Bar {
    qreal left, top, height;
    Mark::Fill fill;
};

// Outer bars first, the centre bar last so it sits on top.
constexpr Bar bars[] = {
    {0.58, 32.45, 8.10, Mark::Fill::white},  {9.58, 28.85, 15.30, Mark::Fill::white},
    {18.58, 24.35, 24.30, Mark::Fill::white}, {36.58, 24.35, 24.30, Mark::Fill::white},
    {45.58, 28.85, 15.30, Mark::Fill::white}, {54.58, 32.45, 8.10, Mark::Fill::white},
    {27.58, 23.00, 27.00, Mark::Fill::red},
};
constexpr qreal barWidth = 6.84;
constexpr qreal barRadius = 3.42;
constexpr qreal dotX = 31.0, dotY = 15.62, dotRadius = 3.78;

}  // namespace

Mark::Mark(bool mono, QWidget* parent) : QWidget(parent), mono_(mono) {
    setObjectName("mark");
    setAttribute(Qt::WA_TranslucentBackground);
}

void Mark::setMono(bool mono) {
    if (mono_ == mono) return;
    mono_ = mono;
    update();
}

std::vector<Mark::Shape> Mark::shapes(const QRectF& area) {
    const qreal s = std::min(area.width(), area.height()) / grid;
    const QPointF o(area.left() + (area.width() - grid * s) / 2, area.top() + (area.height() - grid * s) / 2);
    std::vector<Shape> out;
    out.reserve(8);
    for (const Bar& b : bars)
        out.push_back({QRectF(o.x() + b.left * s, o.y() + b.top * s, barWidth * s, b.height * s), barRadius * s,
                       false, b.fill});
    out.push_back({QRectF(o.x() + (dotX - dotRadius) * s, o.y() + (dotY - dotRadius) * s, 2 * dotRadius * s,
                          2 * dotRadius * s),
                   dotRadius * s, true, Fill::mint});
    return out;
}

void Mark::paint(QPainter& p, const QRectF& area, bool mono, const QColor& foreground, Appearance appearance) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    for (const Shape& sh : shapes(area)) {
        QColor c = foreground;
        if (!mono) {
            switch (sh.fill) {
            case Fill::white: c = Qt::white; break;
            case Fill::red: c = Theme::red().resolve(appearance); break;
            case Fill::mint: c = Theme::mint().resolve(appearance); break;
            }
        }
        p.setBrush(c);
        if (sh.circle)
            p.drawEllipse(sh.rect);
        else
            p.drawRoundedRect(sh.rect, sh.radius, sh.radius);
    }
    p.restore();
}

void Mark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, QRectF(rect()), mono_, palette().color(QPalette::WindowText), appearanceOf(palette()));
}

void Mark::changeEvent(QEvent* e) {
    if (e->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(e);
}

AppBadge::AppBadge(qreal size, QWidget* parent) : QWidget(parent), size_(size) {
    setObjectName("appBadge");
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(sizeHint());
}

void AppBadge::setSize(qreal size) {
    size_ = size;
    setFixedSize(sizeHint());
    update();
}

QSize AppBadge::sizeHint() const {
    const int side = static_cast<int>(std::ceil(size_));
    return {side, side};
}

void AppBadge::paint(QPainter& p, const QPointF& origin, qreal size, Appearance appearance) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(origin);
    QLinearGradient g(0, 0, 0, size);
    g.setColorAt(0, Color::rgb(Theme::badgeTop));
    g.setColorAt(1, Color::rgb(Theme::badgeBottom));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    const qreal r = cornerRadius(size);
    p.drawRoundedRect(QRectF(0, 0, size, size), r, r);
    Mark::paint(p, markArea(size), false, Qt::white, appearance);
    p.restore();
}

void AppBadge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // Centred when the widget was given more room than the badge needs.
    const QPointF origin((width() - size_) / 2, (height() - size_) / 2);
    paint(p, origin, size_, appearanceOf(palette()));
}

}  // namespace tovan
