#include "DocRow.h"

#include <cmath>

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "ElidedLabel.h"
#include "SymbolIcon.h"
#include "ViewStyle.h"

namespace tovan {

QString DocRow::iconFor(const std::u16string& kind) {
    if (kind == u"epub") return QStringLiteral("book.closed");
    if (kind == u"pdf") return QStringLiteral("doc.richtext");
    if (kind == u"web") return QStringLiteral("globe");
    if (kind == u"docx") return QStringLiteral("doc.text");
    return QStringLiteral("text.alignleft");
}

QString DocRow::detailFor(const Doc::Meta& meta, float pace) {
    if (meta.done) return tr("Finished");
    const int64_t m = meta.minutesLeft(pace);
    QString time = m >= 60 ? QStringLiteral("%1 h %2 min").arg(m / 60).arg(m % 60)
                           : QStringLiteral("%1 min").arg(m < 1 ? 1 : m);
    if (meta.pos != 0) time += QStringLiteral(" left");
    return time;
}

DocRow::DocRow(Doc::Meta meta, bool playing, float pace, QWidget* parent)
    : QWidget(parent), meta_(std::move(meta)), pace_(pace) {
    setObjectName(QStringLiteral("docRow"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 4, 0, 4);
    row->setSpacing(10);
    row->setAlignment(Qt::AlignTop);

    auto* tile = new QLabel(this);
    tile->setObjectName(QStringLiteral("docRowIcon"));
    tile->setAlignment(Qt::AlignCenter);
    tile->setFixedSize(30, 30);
    tile->setPixmap(symbolIcon(icon(), ViewStyle::accent(this)).pixmap(16, 16));
    tile->setStyleSheet(QStringLiteral("background:%1; border-radius:7px;").arg(ViewStyle::accentSoft(this).name()));
    row->addWidget(tile, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    auto* title = new ElidedLabel(QString::fromStdU16String(meta_.title), this, 2);  // two lines at most
    title->setObjectName(QStringLiteral("docRowTitle"));
    QFont tf = ViewStyle::font(ViewStyle::Role::body);
    tf.setWeight(QFont::Medium);
    title->setFont(tf);
    column->addWidget(title);
    if (!meta_.author.empty()) {
        auto* author = new ElidedLabel(QString::fromStdU16String(meta_.author), this);
        author->setObjectName(QStringLiteral("docRowAuthor"));
        author->setFont(ViewStyle::font(ViewStyle::Role::callout));
        column->addWidget(author);
    }
    auto* status = new QHBoxLayout;
    status->setSpacing(6);
    if (playing) {
        auto* speaker = new QLabel(this);
        speaker->setObjectName(QStringLiteral("docRowPlaying"));
        speaker->setPixmap(symbolIcon(QStringLiteral("speaker.wave.2.fill"), ViewStyle::accent(this)).pixmap(12, 12));
        status->addWidget(speaker);
    }
    auto* bar = new QProgressBar(this);
    bar->setObjectName(QStringLiteral("docRowProgress"));
    bar->setRange(0, 1000);
    bar->setTextVisible(false);
    bar->setFixedSize(60, 6);
    bar->setValue(static_cast<int>(std::lround(meta_.progress() * 1000)));
    status->addWidget(bar);
    auto* detailLabel = new QLabel(detail(), this);
    detailLabel->setObjectName(QStringLiteral("docRowDetail"));
    detailLabel->setFont(ViewStyle::font(ViewStyle::Role::caption));
    status->addWidget(detailLabel);
    status->addStretch(1);
    column->addLayout(status);
    row->addLayout(column, 1);
}

}  // namespace tovan
