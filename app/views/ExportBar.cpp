#include "ExportBar.h"

#include <algorithm>
#include <cmath>

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include "ElidedLabel.h"
#include "SymbolIcon.h"
#include "ViewStyle.h"

namespace tovan {

ExportBar::ExportBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("exportBar"));
    setFont(ViewStyle::font(ViewStyle::Role::callout));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(18, 8, 18, 8);
    row->setSpacing(12);

    icon_ = new QLabel(this);
    icon_->setObjectName(QStringLiteral("exportIcon"));
    saving_ = new ElidedLabel(this);  // one line, elided when narrow
    saving_->setObjectName(QStringLiteral("exportTitle"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("exportProgress"));
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setMaximumWidth(260);
    percent_ = new QLabel(this);
    percent_->setObjectName(QStringLiteral("exportPercent"));
    percent_->setFont(ViewStyle::monospacedDigits(font()));
    cancel_ = new QPushButton(tr("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("exportCancel"));
    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (onCancel) onCancel();
    });

    row->addWidget(icon_);
    row->addWidget(saving_, 1);
    row->addWidget(progress_, 1);
    row->addWidget(percent_);
    row->addStretch(1);
    row->addWidget(cancel_);
    setJob(QString(), 0);
}

QString ExportBar::savingText(const QString& title) { return tr("Saving \u201C%1\u201D as audio").arg(title); }

QString ExportBar::percent(double fraction) {
    const double p = std::trunc(fraction * 100);
    return QString::number(std::isfinite(p) ? static_cast<long long>(p) : 0) + QStringLiteral("%");
}

void ExportBar::setJob(const QString& title, double fraction) {
    icon_->setPixmap(symbolIcon(QStringLiteral("waveform"), ViewStyle::accent(this)).pixmap(16, 16));
    saving_->setText(savingText(title));
    saving_->setToolTip(saving_->text());
    const double f = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    progress_->setValue(static_cast<int>(std::lround(f * 1000)));
    percent_->setText(percent(fraction));
    QPalette dim = percent_->palette();
    dim.setColor(QPalette::WindowText, ViewStyle::secondary(this));
    percent_->setPalette(dim);
}

void ExportBar::paintEvent(QPaintEvent*) {
    // The bar material with a hairline along the top edge.
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(rect().topLeft(), rect().topRight());
}

}  // namespace tovan
