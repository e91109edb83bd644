#include "Chips.h"

#include "FlowLayout.h"
#include "Theme.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace tovan {

Chip::Chip(const QString& text, bool on, QWidget* parent) : QAbstractButton(parent), on_(on) {
    setText(text);
    setFont(Theme::font(Theme::TextStyle::callout));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Chip::setOn(bool on) {
    if (on_ == on) return;
    on_ = on;
    update();
}

Chip::Look Chip::lookFor(bool on, bool pressed, const QPalette& palette) {
    Look l;
    if (on) {
        l.text = Theme::accent().resolve(palette);
        l.fill = Theme::accentSoft().resolve(palette);
        l.outline = Theme::accent().resolve(palette);
    } else {
        l.text = palette.color(QPalette::WindowText);
        l.fill = Theme::controlBackground(palette);
        l.outline = Theme::separator(palette);
    }
    l.opacity = pressed ? 0.7 : 1.0;
    return l;
}

QSize Chip::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(text()) + 2 * padX, fm.height() + 2 * padY};
}

void Chip::paintEvent(QPaintEvent*) {
    const Look l = look();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setOpacity(l.opacity);
    // The 1-point outline is centred on the capsule's edge.
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = r.height() / 2;
    p.setPen(QPen(l.outline, 1));
    p.setBrush(l.fill);
    p.drawRoundedRect(r, radius, radius);
    p.setPen(l.text);
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text());
    if (hasFocus()) {
        QPen focus(l.outline, 1, Qt::DotLine);
        p.setPen(focus);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(2, 2, -2, -2), radius - 2, radius - 2);
    }
}

void Chip::changeEvent(QEvent* e) {
    if (e->type() == QEvent::PaletteChange || e->type() == QEvent::FontChange) {
        updateGeometry();
        update();
    }
    QAbstractButton::changeEvent(e);
}

FlowChips::FlowChips(QStringList items, QString selected, Pick pick, QWidget* parent)
    : QWidget(parent), items_(std::move(items)), selected_(std::move(selected)), pick_(std::move(pick)) {
    setObjectName("flowChips");
    auto* flow = new Flow(6, this);
    for (const QString& item : items_) {
        auto* chip = new Chip(item, item == selected_, this);
        chip->setObjectName("chip:" + item);
        connect(chip, &QAbstractButton::clicked, this, [this, item] {
            if (pick_) pick_(item);
        });
        flow->addWidget(chip);
        chips_.push_back(chip);
    }
    QSizePolicy sp(QSizePolicy::Preferred, QSizePolicy::Preferred);
    sp.setHeightForWidth(true);
    setSizePolicy(sp);
}

void FlowChips::setSelected(const QString& selected) {
    selected_ = selected;
    for (Chip* chip : chips_) chip->setOn(chip->text() == selected_);
}

}  // namespace tovan
