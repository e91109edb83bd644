#include "FeatureRow.h"

#include "SymbolIcon.h"
#include "Theme.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tovan {

namespace {

// The icon on its soft accent tile.
class Tile : public QWidget {
public:
    Tile(const QString& icon, QWidget* parent) : QWidget(parent), icon_(symbolIcon(icon)) {
        setObjectName("tile");
        setFixedSize(Feature::tileSide, Feature::tileSide);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::accentSoft().resolve(palette()));
        p.drawRoundedRect(QRectF(rect()), 9, 9);
        const QRect glyph((width() - 18) / 2, (height() - 18) / 2, 18, 18);
        // Tinted with the accent so it reads the same in every icon theme.
        QPixmap pm = icon_.pixmap(18, 18);
        if (!pm.isNull()) {
            QPainter tint(&pm);
            tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
            tint.fillRect(pm.rect(), Theme::accent().resolve(palette()));
            tint.end();
            p.drawPixmap(glyph, pm);
        }
    }

private:
    QIcon icon_;
};

}  // namespace

Feature::Feature(const QString& icon, const QString& title, std::optional<QString> keys, const QString& detail,
                 State state, QWidget* trailing, QWidget* footer, QWidget* parent)
    : QFrame(parent), state_(std::move(state)), trailing_(trailing) {
    setObjectName("feature");
    card_ = new QVBoxLayout(this);
    card_->setContentsMargins(padding, padding, padding, padding);
    card_->setSpacing(12);

    auto* main = new QHBoxLayout;
    main->setSpacing(lineSpacing);
    main->addWidget(new Tile(icon, this), 0, Qt::AlignTop);

    auto* text = new QVBoxLayout;
    text->setSpacing(5);
    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(8);
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setObjectName("title");
    titleLabel->setFont(Theme::font(Theme::TextStyle::headline));
    titleLabel->setTextFormat(Qt::PlainText);
    titleLine->addWidget(titleLabel);
    if (keys) {
        auto* hint = new QLabel(*keys, this);
        hint->setObjectName("keys");
        hint->setTextFormat(Qt::PlainText);
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPointSizeF(Theme::font(Theme::TextStyle::callout).pointSizeF());
        hint->setFont(mono);
        hint->setContentsMargins(6, 1, 6, 1);
        hint->setStyleSheet(QString("background: %1; border-radius: 4px;").arg(Theme::quaternary(palette()).name()));
        titleLine->addWidget(hint);
    }
    badge_ = new QLabel(this);
    badge_->setObjectName("badge");
    badge_->setTextFormat(Qt::PlainText);
    titleLine->addWidget(badge_);
    titleLine->addStretch(1);
    text->addLayout(titleLine);
    auto* detailLabel = new QLabel(detail, this);
    detailLabel->setObjectName("detail");
    detailLabel->setTextFormat(Qt::PlainText);
    detailLabel->setWordWrap(true);  // never cut off: the row grows instead
    QPalette dp = detailLabel->palette();
    dp.setColor(QPalette::WindowText, Theme::secondary(dp));
    detailLabel->setPalette(dp);
    text->addWidget(detailLabel);
    main->addLayout(text, 1);
    main->addSpacing(12);
    if (trailing_) {
        trailing_->setParent(this);
        main->addWidget(trailing_, 0, Qt::AlignTop);
    }
    card_->addLayout(main);
    setFooter(footer);
    styleBadge();
}

void Feature::setFooter(QWidget* footer) {
    if (footer_) {
        card_->removeWidget(footer_);
        delete footer_;
    }
    footer_ = footer;
    if (!footer_) return;
    auto* holder = new QWidget(this);
    holder->setObjectName("footer");
    auto* h = new QHBoxLayout(holder);
    h->setContentsMargins(footerIndent, 0, 0, 0);
    footer_->setParent(holder);
    h->addWidget(footer_);
    footer_ = holder;
    card_->addWidget(holder);
}

void Feature::setState(const State& state) {
    if (state == state_) return;
    state_ = state;
    styleBadge();
}

void Feature::styleBadge() {
    QFont f = Theme::font(Theme::TextStyle::caption);
    QPalette p = badge_->palette();
    switch (state_.kind) {
    case State::Kind::ready:
        badge_->clear();
        badge_->hide();
        return;
    case State::Kind::needs:
        f.setWeight(QFont::Medium);
        p.setColor(QPalette::WindowText, Theme::orange(palette()));
        break;
    case State::Kind::off:
        f.setWeight(QFont::Normal);
        p.setColor(QPalette::WindowText, Theme::secondary(palette()));
        break;
    }
    badge_->setFont(f);
    badge_->setPalette(p);
    badge_->setText(state_.text);
    badge_->show();
}

void Feature::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Theme::quaternary(palette()), 1));
    p.setBrush(Theme::controlBackground(palette()));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    QFrame::paintEvent(e);
}

void Feature::changeEvent(QEvent* e) {
    if (e->type() == QEvent::PaletteChange) styleBadge();
    QFrame::changeEvent(e);
}

}  // namespace tovan
