#include "TransportBar.h"

#include <cmath>
#include <cstdio>

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include "Doc.h"
#include "ElidedLabel.h"
#include "ReadingState.h"
#include "RoutePicker.h"
#include "SymbolIcon.h"
#include "ViewStyle.h"
#include "VoiceMenu.h"
#include "core/AppModel.h"

namespace tovan {
namespace {

// The slider works in thousandths of a sentence, so a drag is continuous.
constexpr int STEPS = 1000;

// A click on the groove puts the knob there and starts a drag, as on a
// scrubber, instead of paging.
class ScrubStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QToolButton* symbolButton(QWidget* parent, const char* name, const char* symbol, int side) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    b->setIconSize(QSize(side, side));
    b->setIcon(symbolIcon(QString::fromLatin1(symbol)));
    b->setProperty("symbol", QString::fromLatin1(symbol));
    return b;
}

}  // namespace

TransportBar::TransportBar(AppModel& app, ReadingState& reading, QWidget* parent)
    : QWidget(parent), app_(app), reading_(reading) {
    setObjectName(QStringLiteral("transportBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(18, 10, 18, 10);
    row->setSpacing(18);

    auto* titleBox = new QWidget(this);
    // 210 wide, narrower only when the window is too narrow for the whole bar.
    titleBox->setMinimumWidth(110);
    titleBox->setMaximumWidth(210);
    titleBox->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    auto* titleColumn = new QVBoxLayout(titleBox);
    titleColumn->setContentsMargins(0, 0, 0, 0);
    titleColumn->setSpacing(2);
    title_ = new ElidedLabel(titleBox);
    title_->setObjectName(QStringLiteral("transportTitle"));
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(ViewStyle::font(ViewStyle::Role::headline));
    status_ = new ElidedLabel(titleBox);
    status_->setObjectName(QStringLiteral("transportStatus"));
    status_->setTextFormat(Qt::PlainText);
    status_->setFont(ViewStyle::font(ViewStyle::Role::caption));
    titleColumn->addWidget(title_);
    titleColumn->addWidget(status_);
    row->addWidget(titleBox);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(14);
    previous_ = symbolButton(this, "transportPrevious", "backward.fill", 18);
    previous_->setToolTip(tr("Previous paragraph (Ctrl+\u2190)"));
    play_ = symbolButton(this, "transportPlay", "play.circle.fill", 34);
    next_ = symbolButton(this, "transportNext", "forward.fill", 18);
    next_->setToolTip(tr("Next paragraph (Ctrl+\u2192)"));
    connect(previous_, &QToolButton::clicked, this, [this] { reading_.previousParagraph(); });
    connect(play_, &QToolButton::clicked, this, [this] { reading_.toggle(); });
    connect(next_, &QToolButton::clicked, this, [this] { reading_.nextParagraph(); });
    buttons->addWidget(previous_);
    buttons->addWidget(play_);
    buttons->addWidget(next_);
    row->addLayout(buttons);

    auto* progressBox = new QWidget(this);
    progressBox->setMinimumWidth(160);
    auto* progress = new QVBoxLayout(progressBox);
    progress->setContentsMargins(0, 0, 0, 0);
    progress->setSpacing(2);
    slider_ = new QSlider(Qt::Horizontal, progressBox);
    slider_->setObjectName(QStringLiteral("transportScrub"));
    auto* style = new ScrubStyle;
    style->setParent(slider_);
    slider_->setStyle(style);
    slider_->setPageStep(0);
    slider_->setSingleStep(0);
    connect(slider_, &QSlider::sliderMoved, this, [this](int v) { dragTo(static_cast<double>(v) / STEPS); });
    connect(slider_, &QSlider::sliderReleased, this, &TransportBar::endDrag);
    progress->addWidget(slider_);
    auto* figures = new QHBoxLayout;
    percent_ = new QLabel(progressBox);
    percent_->setObjectName(QStringLiteral("transportPercent"));
    left_ = new QLabel(progressBox);
    left_->setObjectName(QStringLiteral("transportLeft"));
    const QFont digits = ViewStyle::monospacedDigits(ViewStyle::font(ViewStyle::Role::caption2));
    percent_->setFont(digits);
    left_->setFont(digits);
    figures->addWidget(percent_);
    figures->addStretch(1);
    figures->addWidget(left_);
    progress->addLayout(figures);
    row->addWidget(progressBox, 1);

    speed_ = new QToolButton(this);
    speed_->setObjectName(QStringLiteral("speedMenu"));
    speed_->setAutoRaise(true);
    speed_->setPopupMode(QToolButton::InstantPopup);
    speed_->setToolTip(tr("Reading speed (Ctrl+[ and Ctrl+])"));
    speed_->setFont(ViewStyle::monospacedDigits(font()));
    speedItems_ = new QMenu(speed_);
    speedItems_->setObjectName(QStringLiteral("speedMenuItems"));
    for (double v : SPEEDS) {
        QAction* a = speedItems_->addAction(speedLabel(static_cast<float>(v)));
        a->setData(v);
        connect(a, &QAction::triggered, this, [this, v] { reading_.setSpeed(speedFor(static_cast<float>(v))); });
    }
    speed_->setMenu(speedItems_);
    row->addWidget(speed_);

    voice_ = new VoiceMenu(app_, reading_, this);
    row->addWidget(voice_);

    sleep_ = new QToolButton(this);
    sleep_->setObjectName(QStringLiteral("sleepMenu"));
    sleep_->setAutoRaise(true);
    sleep_->setPopupMode(QToolButton::InstantPopup);
    sleep_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    sleep_->setIconSize(QSize(16, 16));
    sleepItems_ = new QMenu(sleep_);
    sleepItems_->setObjectName(QStringLiteral("sleepMenuItems"));
    QAction* off = sleepItems_->addAction(tr("Off"));
    off->setObjectName(QStringLiteral("sleepOff"));
    connect(off, &QAction::triggered, this, [this] { reading_.sleep(std::nullopt); });
    for (int m : SLEEP_MINUTES) {
        QAction* a = sleepItems_->addAction(tr("In %1 minutes").arg(m));
        a->setObjectName(QStringLiteral("sleep%1").arg(m));
        connect(a, &QAction::triggered, this, [this, m] { reading_.sleep(m); });
    }
    sleep_->setMenu(sleepItems_);
    row->addWidget(sleep_);

    route_ = new RoutePicker(reading_.output(), this);
    route_->onChoose = [this](const std::string& device) { reading_.chooseOutput(device); };
    row->addWidget(route_);

    connect(&reading_, &ReadingState::changed, this, &TransportBar::refresh);
    connect(&app_, &AppModel::styleChanged, this, &TransportBar::refresh);
    refresh();
}

QString TransportBar::status(const Doc& doc) const {
    if (auto p = reading_.problem()) return *p;
    if (reading_.preparing() && reading_.playing()) return tr("Getting the voice ready\u2026");
    if (!doc.author.empty()) return QString::fromStdU16String(doc.author);
    return VoiceMenu::label(app_) + QStringLiteral(" reading");
}

QString TransportBar::timeLeft(double secondsLeft) {
    const double t = std::trunc(secondsLeft);
    const long long s = std::isfinite(t) && t > 0 ? static_cast<long long>(std::min(t, 9.0e18)) : 0;
    if (s >= 3600) return QStringLiteral("%1 h %2 min left").arg(s / 3600).arg((s - 3600 * (s / 3600)) / 60);
    if (s >= 60) return QStringLiteral("%1 min left").arg(s / 60);
    return QStringLiteral("%1 s left").arg(s);
}

QString TransportBar::speedLabel(float speed) {
    char buf[64];
    const char* format = "%.2f\u00D7";
    if (std::isfinite(speed) && std::fabs(speed) < 1e9f && speed == static_cast<float>(static_cast<long long>(speed)))
        format = "%.0f\u00D7";
    else if (std::fmod(100.0f * speed, 10.0f) == 0.0f)
        format = "%.1f\u00D7";
    std::snprintf(buf, sizeof buf, format, static_cast<double>(speed));
    return QString::fromUtf8(buf);
}

double TransportBar::sliderTop(int64_t sentences) { return static_cast<double>(std::max<int64_t>(sentences, 2) - 1); }

void TransportBar::dragTo(double value) { scrub_ = value; }

void TransportBar::endDrag() {
    if (!scrub_) return;  // a click on the knob without a move
    const double v = *scrub_;
    scrub_.reset();
    reading_.seek(static_cast<int64_t>(std::trunc(v)));
    refresh();
}

void TransportBar::refresh() {
    const std::shared_ptr<Doc> doc = reading_.doc();
    setVisible(doc != nullptr);
    if (!doc) return;
    title_->setText(QString::fromStdU16String(doc->title));
    title_->setToolTip(title_->text());
    status_->setText(status(*doc));

    const bool playing = reading_.playing();
    const QString playSymbol = playing ? QStringLiteral("pause.circle.fill") : QStringLiteral("play.circle.fill");
    play_->setIcon(symbolIcon(playSymbol, ViewStyle::accent(this)));
    play_->setProperty("symbol", playSymbol);
    play_->setToolTip(playing ? tr("Pause (Space)") : tr("Play (Space)"));

    const double top = sliderTop(static_cast<int64_t>(doc->sentences.size()));
    slider_->setRange(0, static_cast<int>(top * STEPS));
    if (!slider_->isSliderDown()) {
        const QSignalBlocker quiet(slider_);
        const double at = scrub_ ? *scrub_ : static_cast<double>(reading_.heard());
        slider_->setValue(static_cast<int>(std::lround(std::clamp(at, 0.0, top) * STEPS)));
    }
    percent_->setText(QString::number(static_cast<long long>(std::trunc(reading_.progress() * 100))) +
                      QStringLiteral("%"));
    left_->setText(timeLeft(reading_.secondsLeft()));
    refreshMenus();
}

void TransportBar::paintEvent(QPaintEvent*) {
    // The bar material with a hairline along the top edge.
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(rect().topLeft(), rect().topRight());
}

float TransportBar::heardSpeed() const {
    // 1.5 chosen at a pace of 1.1 comes back as 1.4999999: a product that
    // close to a hundredth is that hundredth.
    const float heard = reading_.speed() * app_.style().pace;
    const float near = std::round(heard * 100.0f) / 100.0f;
    return std::fabs(heard - near) < 1e-4f ? near : heard;
}

float TransportBar::speedFor(float heard) const {
    const float pace = app_.style().pace;
    return pace > 0 && std::isfinite(pace) ? heard / pace : heard;
}

void TransportBar::refreshMenus() {
    // One figure for how fast the reading goes: the reading speed times the
    // voice's pace, the same figure the Voices screen shows as its speed.
    const float speed = heardSpeed();
    speed_->setText(speedLabel(speed));
    for (QAction* a : speedItems_->actions()) {
        const float v = static_cast<float>(a->data().toDouble());
        a->setText(speedLabel(v) + (std::fabs(speed - v) < 0.01f ? QStringLiteral("  \u2713") : QString()));
    }
    const std::optional<QDateTime> at = reading_.sleepAt();
    const QString sleepSymbol = at ? QStringLiteral("moon.zzz.fill") : QStringLiteral("moon.zzz");
    sleep_->setIcon(symbolIcon(sleepSymbol));
    sleep_->setProperty("symbol", sleepSymbol);
    sleep_->setToolTip(at ? tr("Stops at %1").arg(QLocale().toString(at->time(), QLocale::ShortFormat))
                          : tr("Sleep timer"));
    route_->setOutput(reading_.output());
}

}  // namespace tovan
