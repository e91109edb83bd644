#include "AddTile.h"

#include <QPainter>
#include <QPainterPath>

#include "SymbolIcon.h"
#include "Theme.h"
#include "ViewStyle.h"

namespace tovan {

AddTile::AddTile(QString title, QString detail, QString icon, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent), detail_(std::move(detail)), icon_(std::move(icon)) {
    setText(title);
    setFixedSize(140, 104);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action) action();
    });
}

void AddTile::enterEvent(QEnterEvent* e) {
    hover_ = true;
    update();
    QAbstractButton::enterEvent(e);
}

void AddTile::leaveEvent(QEvent* e) {
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void AddTile::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(card, 12, 12);
    p.fillPath(shape, hover_ ? ViewStyle::accentSoft(this) : Theme::controlBackground(palette()));
    p.setPen(QPen(Theme::quaternary(palette()), 1));
    p.drawPath(shape);

    const int top = 18;
    symbolIcon(icon_).paint(&p, QRect((width() - 22) / 2, top + 3, 22, 22));
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(ViewStyle::font(ViewStyle::Role::headline));
    p.drawText(QRect(4, top + 28 + 8, width() - 8, 18), Qt::AlignCenter, text());
    p.setPen(ViewStyle::secondary(this));
    p.setFont(ViewStyle::font(ViewStyle::Role::caption));
    p.drawText(QRect(4, top + 28 + 8 + 18 + 4, width() - 8, 16), Qt::AlignCenter, detail_);
}

}  // namespace tovan
