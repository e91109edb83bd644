#include "SliderRow.h"

#include "Theme.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tovan {

namespace {
QLabel* muted(const QString& text, Theme::TextStyle style, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(Theme::font(style));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Theme::secondary(p));
    l->setPalette(p);
    return l;
}
}  // namespace

SliderRow::SliderRow(const QString& label, const QString& lo, const QString& hi, double value, double min, double max,
                     const QString& shown, Commit commit, QWidget* parent)
    : QWidget(parent), value_(value), min_(min), max_(max), commit_(std::move(commit)) {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(4);
    auto* top = new QHBoxLayout;
    auto* title = new QLabel(label, this);
    title->setObjectName("label");
    top->addWidget(title);
    top->addStretch(1);
    shown_ = muted(shown, Theme::TextStyle::body, this);
    shown_->setObjectName("shown");
    // A fixed width for the widest value keeps the row from jittering as
    // values change.
    shown_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    shown_->setMinimumWidth(QFontMetrics(shown_->font()).horizontalAdvance("Natural  +3.00"));
    top->addWidget(shown_);
    v->addLayout(top);
    auto* row = new QHBoxLayout;
    auto* loLabel = muted(lo, Theme::TextStyle::caption, this);
    loLabel->setObjectName("lo");
    auto* hiLabel = muted(hi, Theme::TextStyle::caption, this);
    hiLabel->setObjectName("hi");
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName("slider");
    slider_->setAccessibleName(label);
    slider_->setRange(0, steps);
    slider_->setValue(positionOf(value));
    row->addWidget(loLabel);
    row->addWidget(slider_, 1);
    row->addWidget(hiLabel);
    v->addLayout(row);

    connect(slider_, &QSlider::sliderMoved, this, [this](int pos) { dragTo(valueAt(pos)); });
    connect(slider_, &QSlider::sliderReleased, this, &SliderRow::release);
    // Clicks and keys on the track move it without a drag: they commit at once.
    connect(slider_, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderMove || slider_->isSliderDown()) return;
        dragTo(valueAt(slider_->sliderPosition()));
        release();
    });
}

int SliderRow::positionOf(double v) const {
    if (!(max_ > min_)) return 0;
    const double t = std::clamp((v - min_) / (max_ - min_), 0.0, 1.0);
    return static_cast<int>(std::lround(t * steps));
}

double SliderRow::valueAt(int position) const {
    return min_ + (max_ - min_) * static_cast<double>(position) / steps;
}

QString SliderRow::shownText() const {
    return shown_->text();
}

void SliderRow::setValue(double value, const QString& shown) {
    value_ = value;
    shown_->setText(shown);
    if (!live_) {
        const QSignalBlocker quiet(slider_);
        slider_->setValue(positionOf(value));
    }
}

void SliderRow::dragTo(double value) {
    live_ = std::clamp(value, min_, max_);
}

void SliderRow::release() {
    if (!live_) return;
    const double v = *live_;
    live_.reset();
    if (commit_) commit_(v);
    // The owner's setValue() normally follows; without one the thumb goes
    // back to the committed value.
    const QSignalBlocker quiet(slider_);
    slider_->setValue(positionOf(value_));
}

}  // namespace tovan
