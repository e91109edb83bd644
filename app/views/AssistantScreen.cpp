#include "AssistantScreen.h"

#include "FeatureRow.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>

namespace tovan {

namespace {

QString qs(const std::u16string& s) { return QString::fromStdU16String(s); }

const double SECONDS[] = {10, 20, 30, 60, 120, 300};

QLabel* secondaryLabel(const QString& text, QWidget* parent, Theme::TextStyle style = Theme::TextStyle::body) {
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    l->setFont(Theme::font(style));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Theme::secondary(p));
    l->setPalette(p);
    return l;
}

QCheckBox* checkbox(const QString& text, const QString& name, QWidget* parent, std::function<void(bool)> set) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(name);
    QObject::connect(c, &QCheckBox::toggled, parent, std::move(set));
    return c;
}

void setChecked(QCheckBox* c, bool v) {
    const QSignalBlocker quiet(c);
    c->setChecked(v);
}

// Widgets laid out in a box of their own, without margins.
template <class Box>
QWidget* boxed(QWidget* parent, int spacing, Qt::Alignment align, std::initializer_list<QWidget*> items) {
    auto* w = new QWidget(parent);
    auto* box = new Box(w);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(spacing);
    for (auto* i : items) {
        i->setParent(w);
        box->addWidget(i, 0, align);
    }
    return w;
}

// A right-aligned column for the trailing side of a row.
QWidget* column(QWidget* parent, int spacing, std::initializer_list<QWidget*> items) {
    return boxed<QVBoxLayout>(parent, spacing, Qt::AlignRight, items);
}

QWidget* inRow(QWidget* parent, int spacing, std::initializer_list<QWidget*> items) {
    return boxed<QHBoxLayout>(parent, spacing, Qt::AlignVCenter, items);
}

}  // namespace

AssistantScreen::AssistantScreen(Host host, QWidget* parent)
    : QWidget(parent), host_(std::move(host)), prefs_(*host_.prefs) {
    setObjectName(QStringLiteral("assistantScreen"));
    if (host_.claudeConnected)
        claudeOn_ = host_.claudeConnected();
    if (host_.shellConnected)
        shellOn_ = host_.shellConnected();
    if (host_.calendarOn)
        calendarOn_ = host_.calendarOn();
    build();
    tick_ = new QTimer(this);
    tick_->setInterval(2000);
    connect(tick_, &QTimer::timeout, this, &AssistantScreen::refresh);
    connect(&prefs_, &AssistantPrefs::changed, this, &AssistantScreen::render);
    if (host_.observe)
        host_.observe([self = QPointer<AssistantScreen>(this)] {
            if (self)
                self->render();
        });
    render();
}

QWidget* AssistantScreen::make(AppModel& app, QWidget* parent) { return new AssistantScreen(standardHost(app), parent); }

QString AssistantScreen::hour(int h) {
    const QTime t(h, 0);
    if (!t.isValid())
        return QString::number(h);
    return QLocale::system().toString(t, QLocale::ShortFormat);
}

QString AssistantScreen::secondsLabel(double v) {
    if (v < 60)
        return QString::number(static_cast<long long>(v)) + QStringLiteral(" s");
    return QString::number(static_cast<long long>(v / 60)) + QStringLiteral(" min");
}

QString AssistantScreen::catchUpLabel(int waiting) {
    if (waiting == 0)
        return QStringLiteral("Catch Me Up");
    return QStringLiteral("Catch Me Up \u00B7 ") + QString::number(waiting);
}

QString AssistantScreen::lineName(const Line& line) {
    if (line.who.empty())
        return qs(line.app);
    return qs(line.app) + QStringLiteral(" \u00B7 ") + qs(line.who);
}

Feature* AssistantScreen::row(const QString& name) const { return findChild<Feature*>(name); }

void AssistantScreen::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    refresh();
    tick_->start();
}

void AssistantScreen::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    tick_->stop();
}

void AssistantScreen::refresh() {
    const auto why = prefs_.whyNotNow(false);
    quietNow_ = why ? std::optional<QString>(qs(*why)) : std::nullopt;
    if (host_.claudeConnected)
        claudeOn_ = host_.claudeConnected();
    if (host_.shellConnected)
        shellOn_ = host_.shellConnected();
    if (host_.calendarOn)
        calendarOn_ = host_.calendarOn();
    render();
}

void AssistantScreen::build() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("assistantScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    outer->addWidget(scroll);
    auto* page = new QWidget(scroll);
    auto* centre = new QHBoxLayout(page);
    centre->setContentsMargins(28, 28, 28, 28);
    auto* content = new QWidget(page);
    content->setMaximumWidth(780);
    centre->addStretch();
    centre->addWidget(content, 1);
    centre->addStretch();
    scroll->setWidget(page);
    auto* col = new QVBoxLayout(content);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(16);

    // Header.
    auto* header = new QWidget(content);
    auto* hv = new QVBoxLayout(header);
    hv->setContentsMargins(0, 0, 0, 0);
    hv->setSpacing(10);
    auto* title = new QLabel(QStringLiteral("Assistant"), header);
    QFont tf = Theme::font(Theme::TextStyle::title2);
    tf.setWeight(QFont::DemiBold);
    title->setFont(tf);
    on_ = checkbox(QStringLiteral("Speak what happens"), QStringLiteral("speakSwitch"), header,
                   [this](bool v) { prefs_.setOn(v); });
    auto* titleRow = new QHBoxLayout();
    titleRow->addWidget(title, 0, Qt::AlignBaseline);
    titleRow->addStretch();
    titleRow->addWidget(on_, 0, Qt::AlignBaseline);
    hv->addLayout(titleRow);
    hv->addWidget(secondaryLabel(
        QStringLiteral("Lumora tells you what happens on this computer while you work: messages and calls, Claude "
                       "needing you or finishing, long commands, meetings. Each in a voice that fits it. Everything "
                       "stays on this computer."),
        header));
    auto* example = new QPushButton(symbolIcon(QStringLiteral("play.fill")), QStringLiteral("Hear an Example"), header);
    example->setObjectName(QStringLiteral("hearExample"));
    connect(example, &QPushButton::clicked, this, [this] {
        if (host_.sample)
            host_.sample();
    });
    catchUp_ = new QPushButton(symbolIcon(QStringLiteral("tray.full")), catchUpLabel(0), header);
    catchUp_->setObjectName(QStringLiteral("catchUp"));
    connect(catchUp_, &QPushButton::clicked, this, [this] {
        if (host_.catchUp)
            host_.catchUp();
    });
    stop_ = new QPushButton(QStringLiteral("Stop"), header);
    stop_->setObjectName(QStringLiteral("stopSpeaking"));
    connect(stop_, &QPushButton::clicked, this, [this] {
        if (host_.stop)
            host_.stop();
    });
    quiet_ = secondaryLabel(QString(), header, Theme::TextStyle::callout);
    quiet_->setObjectName(QStringLiteral("quietNow"));
    quiet_->setWordWrap(false);
    auto* buttons = new QHBoxLayout();
    buttons->setSpacing(10);
    buttons->addWidget(example);
    buttons->addWidget(catchUp_);
    buttons->addWidget(stop_);
    buttons->addWidget(quiet_);
    buttons->addStretch();
    hv->addLayout(buttons);
    saying_ = new QLabel(header);
    saying_->setObjectName(QStringLiteral("saying"));
    saying_->setWordWrap(true);
    saying_->setFont(Theme::font(Theme::TextStyle::callout));
    saying_->setMaximumHeight(QFontMetrics(saying_->font()).lineSpacing() * 2 + 2);  // at most two lines
    QPalette sp = saying_->palette();
    sp.setColor(QPalette::WindowText, Theme::accent().resolve(sp));
    saying_->setPalette(sp);
    hv->addWidget(saying_);
    col->addWidget(header);

    // Messages and calls.
    allowNotes_ = new QPushButton(QStringLiteral("Allow…"));
    allowNotes_->setObjectName(QStringLiteral("allowNotes"));
    connect(allowNotes_, &QPushButton::clicked, this, [this] {
        if (host_.allowNotes)
            host_.allowNotes();
    });
    auto* checkAgain = new QPushButton(QStringLiteral("Check Again"));
    checkAgain->setObjectName(QStringLiteral("checkAgain"));
    checkAgain->setFlat(true);
    connect(checkAgain, &QPushButton::clicked, this, [this] {
        if (host_.checkAgain)
            host_.checkAgain();
        render();
    });
    notesButtons_ = column(content, 6, {allowNotes_, checkAgain});
    appOptions_ = new QWidget(content);
    {
        auto* v = new QVBoxLayout(appOptions_);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(10);
        readText_ = checkbox(QStringLiteral("Read the words, not only who"), QStringLiteral("readText"), appOptions_,
                             [this](bool on) { prefs_.setReadText(on); });
        personVoices_ = checkbox(QStringLiteral("A voice for each person"), QStringLiteral("personVoices"),
                                 appOptions_, [this](bool on) { prefs_.setPersonVoices(on); });
        v->addWidget(inRow(appOptions_, 18, {readText_, personVoices_}), 0, Qt::AlignLeft);
        auto* apps = secondaryLabel(QStringLiteral("Apps"), appOptions_, Theme::TextStyle::callout);
        QFont af = apps->font();
        af.setWeight(QFont::Medium);
        apps->setFont(af);
        v->addWidget(apps);
        v->addWidget(new ChosenApps(prefs_, host_.scan, host_.seen, appOptions_));
    }
    messages_ = new Feature(
        QStringLiteral("message"), QStringLiteral("Messages and calls"), std::nullopt,
        QStringLiteral("WhatsApp, Signal, Telegram, Slack, Teams, mail and calls, from the desktop's notifications, "
                       "as they arrive: \u201CZenna on WhatsApp: running late, so sorry!\u201D, said gently and in a voice of "
                       "her own. Calls are said at once, more urgently when they ring again."),
        Feature::State::ready(), notesButtons_, appOptions_, content);
    messages_->setObjectName(QStringLiteral("messagesRow"));
    col->addWidget(messages_);

    // Claude.
    claudeButton_ = new QPushButton();
    claudeButton_->setObjectName(QStringLiteral("claudeHook"));
    connect(claudeButton_, &QPushButton::clicked, this, [this] { hookButton(true); });
    whileLooking_ = checkbox(QStringLiteral("Even when I'm looking"), QStringLiteral("whileLooking"), content,
                             [this](bool on) { prefs_.setWhileLooking(on); });
    whileLooking_->setFont(Theme::font(Theme::TextStyle::callout));
    claude_ = new Feature(
        QStringLiteral("sparkles"), QStringLiteral("Claude"), std::nullopt,
        QStringLiteral("When Claude needs your permission or your answer, and when it is done, with what it did in a "
                       "sentence: \u201CClaude is done in tovan tts. The app builds and all tests pass.\u201D "
                       "Claude Code through its hooks; the Claude app through its notifications. Not while you are "
                       "looking at that terminal."),
        Feature::State::ready(), column(content, 6, {claudeButton_, whileLooking_}), nullptr, content);
    claude_->setObjectName(QStringLiteral("claudeRow"));
    col->addWidget(claude_);

    // Long commands.
    shellButton_ = new QPushButton();
    shellButton_->setObjectName(QStringLiteral("shellHook"));
    connect(shellButton_, &QPushButton::clicked, this, [this] { hookButton(false); });
    commandSeconds_ = new QComboBox();
    commandSeconds_->setObjectName(QStringLiteral("commandSeconds"));
    commandSeconds_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (double v : SECONDS)
        commandSeconds_->addItem(secondsLabel(v), v);
    connect(commandSeconds_, &QComboBox::activated, this,
            [this](int i) { prefs_.setCommandSeconds(commandSeconds_->itemData(i).toDouble()); });
    auto* longer = new QLabel(QStringLiteral("Longer than"));
    longer->setFont(Theme::font(Theme::TextStyle::callout));
    terminal_ = new Feature(
        QStringLiteral("terminal"), QStringLiteral("Long commands"), std::nullopt,
        QStringLiteral("When a command that ran a while finishes: \u201CThe build finished, after 4 minutes\u201D, "
                       "brightly; \u201CThe tests failed\u201D, let down. Works in any terminal, in bash and zsh. "
                       "Scripts can speak too: tovan say \"Deploy is live\" --mood happy"),
        Feature::State::ready(), column(content, 6, {shellButton_, inRow(content, 4, {longer, commandSeconds_})}),
        nullptr, content);
    terminal_->setObjectName(QStringLiteral("terminalRow"));
    col->addWidget(terminal_);

    // Meetings.
    meetingsSwitch_ = checkbox(QString(), QStringLiteral("meetingsSwitch"), content,
                               [this](bool on) { prefs_.setMeetings(on); });
    allowCalendar_ = new QPushButton(QStringLiteral("Allow…"));
    allowCalendar_->setObjectName(QStringLiteral("allowCalendar"));
    connect(allowCalendar_, &QPushButton::clicked, this, [this] {
        if (!host_.requestCalendar)
            return;
        host_.requestCalendar([self = QPointer<AssistantScreen>(this)](bool granted) {
            if (!self)
                return;
            self->calendarOn_ = granted;
            self->render();
        });
    });
    meetings_ = new Feature(
        QStringLiteral("calendar"), QStringLiteral("Meetings"), std::nullopt,
        QStringLiteral("A few minutes before a meeting: \u201CIn 5 minutes: design review with Zenna, on Zoom.\u201D"),
        Feature::State::ready(), column(content, 6, {meetingsSwitch_, allowCalendar_}), nullptr, content);
    meetings_->setObjectName(QStringLiteral("meetingsRow"));
    col->addWidget(meetings_);

    // This machine.
    downloads_ = checkbox(QStringLiteral("Downloads"), QStringLiteral("downloads"), content,
                          [this](bool on) { prefs_.setDownloads(on); });
    battery_ = checkbox(QStringLiteral("Battery"), QStringLiteral("battery"), content,
                        [this](bool on) { prefs_.setBattery(on); });
    devices_ = checkbox(QStringLiteral("Devices"), QStringLiteral("devices"), content,
                        [this](bool on) { prefs_.setDevices(on); });
    auto* mac = new Feature(
        QStringLiteral("desktopcomputer"), QStringLiteral("This computer"), std::nullopt,
        QStringLiteral("Downloads finishing, the battery running low or full, drives and headphones connecting. "
                       "Connecting headphones also catches you up."),
        Feature::State::ready(), column(content, 4, {downloads_, battery_, devices_}), nullptr, content);
    mac->setObjectName(QStringLiteral("macRow"));
    col->addWidget(mac);

    // When to stay quiet.
    inCalls_ = checkbox(QStringLiteral("In calls"), QStringLiteral("quietInCalls"), content,
                        [this](bool on) { prefs_.setQuietInCalls(on); });
    inFocus_ = checkbox(QStringLiteral("In do not disturb"), QStringLiteral("respectFocus"), content,
                        [this](bool on) { prefs_.setRespectFocus(on); });
    welcomeBack_ = checkbox(QStringLiteral("Welcome back"), QStringLiteral("welcomeBack"), content,
                            [this](bool on) { prefs_.setWelcomeBack(on); });
    quietHours_ = checkbox(QStringLiteral("Quiet hours"), QStringLiteral("quietHours"), content,
                           [this](bool on) { prefs_.setQuietHours(on); });
    quietFrom_ = new QComboBox();
    quietFrom_->setObjectName(QStringLiteral("quietFrom"));
    quietTo_ = new QComboBox();
    quietTo_->setObjectName(QStringLiteral("quietTo"));
    for (int h = 0; h < 24; ++h) {
        quietFrom_->addItem(hour(h), h);
        quietTo_->addItem(hour(h), h);
    }
    connect(quietFrom_, &QComboBox::activated, this, [this](int i) { prefs_.setQuietFrom(i); });
    connect(quietTo_, &QComboBox::activated, this, [this](int i) { prefs_.setQuietTo(i); });
    auto* quiet = new Feature(
        QStringLiteral("moon"), QStringLiteral("When to stay quiet"), std::nullopt,
        QStringLiteral("Never over a call or a meeting (whenever an app is using the microphone), and not while the "
                       "desktop's do not disturb is on. "
                       "While you are away (screen locked, or five minutes without the keyboard), things wait, and you "
                       "hear them when you are back."),
        Feature::State::ready(),
        column(content, 4,
               {inCalls_, inFocus_, welcomeBack_,
                inRow(content, 4, {quietHours_, quietFrom_, new QLabel(QStringLiteral("to")), quietTo_})}),
        nullptr, content);
    quiet->setObjectName(QStringLiteral("quietRow"));
    col->addWidget(quiet);

    // Recently.
    recentBox_ = new QWidget(content);
    recentBox_->setObjectName(QStringLiteral("recent"));
    auto* rv = new QVBoxLayout(recentBox_);
    rv->setContentsMargins(0, 6, 0, 0);
    rv->setSpacing(8);
    auto* recentTitle = new QLabel(QStringLiteral("Recently"), recentBox_);
    recentTitle->setFont(Theme::font(Theme::TextStyle::headline));
    rv->addWidget(recentTitle);
    recentEmpty_ = secondaryLabel(QStringLiteral("Nothing yet. What the assistant says, keeps or skips shows here, "
                                                 "with why (never the words)."),
                                  recentBox_);
    recentEmpty_->setObjectName(QStringLiteral("recentEmpty"));
    rv->addWidget(recentEmpty_);
    recentLines_ = new QVBoxLayout();
    recentLines_->setSpacing(8);
    rv->addLayout(recentLines_);
    col->addWidget(recentBox_);
    col->addStretch();
}

void AssistantScreen::render() {
    setChecked(on_, prefs_.on());
    const int waiting = host_.waiting ? host_.waiting() : 0;
    catchUp_->setText(catchUpLabel(waiting));
    catchUp_->setEnabled(waiting > 0);
    const auto speaking = host_.speaking ? host_.speaking() : std::nullopt;
    stop_->setVisible(speaking.has_value());
    saying_->setVisible(speaking.has_value());
    saying_->setText(speaking ? QStringLiteral("Saying: ") + qs(*speaking) : QString());
    quiet_->setVisible(quietNow_ && prefs_.on());
    quiet_->setText(quietNow_ ? QStringLiteral("Quiet now: ") + *quietNow_ : QString());

    const bool access = host_.notesAccess ? host_.notesAccess() : false;
    messages_->setState(access ? Feature::State::ready() : Feature::State::needs(QStringLiteral("Can't see notifications")));
    notesButtons_->setVisible(!access);
    allowNotes_->setVisible(static_cast<bool>(host_.allowNotes));
    appOptions_->setVisible(access);
    setChecked(readText_, prefs_.readText());
    setChecked(personVoices_, prefs_.personVoices());

    claude_->setState(!prefs_.claude() ? Feature::State::off(QStringLiteral("Off"))
                      : claudeOn_      ? Feature::State::ready()
                                       : Feature::State::needs(QStringLiteral("Claude Code not connected")));
    claudeButton_->setText(claudeOn_ ? QStringLiteral("Disconnect Claude Code") : QStringLiteral("Connect Claude Code"));
    setChecked(whileLooking_, prefs_.whileLooking());

    terminal_->setState(!prefs_.commands() ? Feature::State::off(QStringLiteral("Off"))
                        : shellOn_         ? Feature::State::ready()
                                           : Feature::State::needs(QStringLiteral("Terminal not connected")));
    shellButton_->setText(shellOn_ ? QStringLiteral("Disconnect") : QStringLiteral("Connect bash and zsh"));
    {
        const QSignalBlocker quiet(commandSeconds_);
        commandSeconds_->setCurrentIndex(commandSeconds_->findData(prefs_.commandSeconds()));
    }

    meetings_->setState(!calendarOn_      ? Feature::State::needs(QStringLiteral("Needs your calendar"))
                        : prefs_.meetings() ? Feature::State::ready()
                                            : Feature::State::off(QStringLiteral("Off")));
    meetingsSwitch_->setVisible(calendarOn_);
    allowCalendar_->setVisible(!calendarOn_);
    setChecked(meetingsSwitch_, prefs_.meetings());

    setChecked(downloads_, prefs_.downloads());
    setChecked(battery_, prefs_.battery());
    setChecked(devices_, prefs_.devices());
    setChecked(inCalls_, prefs_.quietInCalls());
    setChecked(inFocus_, prefs_.respectFocus());
    setChecked(welcomeBack_, prefs_.welcomeBack());
    setChecked(quietHours_, prefs_.quietHours());
    for (auto [box, value] : {std::pair{quietFrom_, prefs_.quietFrom()}, std::pair{quietTo_, prefs_.quietTo()}}) {
        const QSignalBlocker quiet(box);
        box->setCurrentIndex(value);
        box->setEnabled(prefs_.quietHours());
    }

    // The log: at most 12 lines, newest first, never the words.
    while (QLayoutItem* item = recentLines_->takeAt(0)) {
        if (QWidget* w = item->widget())
            w->deleteLater();
        delete item;
    }
    const auto lines = host_.recent ? host_.recent() : std::vector<Line>();
    recentEmpty_->setVisible(lines.empty());
    for (size_t i = 0; i < lines.size() && i < 12; ++i) {
        const Line& l = lines[i];
        auto* w = new QWidget(recentBox_);
        w->setObjectName(QStringLiteral("recentLine"));
        auto* h = new QHBoxLayout(w);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(10);
        auto* icon = new QLabel(w);
        icon->setFixedWidth(18);
        icon->setPixmap(symbolIcon(l.spoken ? QStringLiteral("speaker.wave.2.fill") : QStringLiteral("speaker.slash"))
                            .pixmap(16, 16));
        icon->setProperty("spoken", l.spoken);
        auto* name = new QLabel(lineName(l), w);
        name->setObjectName(QStringLiteral("lineName"));
        name->setFont(Theme::font(Theme::TextStyle::callout));
        auto* outcome = secondaryLabel(qs(l.outcome), w, Theme::TextStyle::callout);
        outcome->setObjectName(QStringLiteral("lineOutcome"));
        outcome->setWordWrap(false);
        auto* time = secondaryLabel(
            QLocale::system().toString(QDateTime::fromMSecsSinceEpoch(l.timeMs).time(), QLocale::ShortFormat), w,
            Theme::TextStyle::caption);
        time->setWordWrap(false);
        h->addWidget(icon);
        h->addWidget(name);
        h->addStretch();
        h->addWidget(outcome);
        h->addWidget(time);
        recentLines_->addWidget(w);
    }
}

void AssistantScreen::hookButton(bool claude) {
    try {
        if (claude) {
            auto& f = claudeOn_ ? host_.disconnectClaude : host_.connectClaude;
            if (f)
                f();
        } else {
            auto& f = shellOn_ ? host_.disconnectShell : host_.connectShell;
            if (f)
                f();
        }
    } catch (const std::exception& e) {
        showProblem((claude ? QStringLiteral("Claude Code's settings could not be changed: ")
                            : QStringLiteral("The shell's start-up file could not be changed: ")) +
                    QString::fromUtf8(e.what()));
        return;
    }
    refresh();
}

void AssistantScreen::showProblem(const QString& text) {
    problem_ = text;
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Lumora"), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("problemAlert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // OK and any other way of closing it clear the problem.
    connect(box, &QMessageBox::finished, this, [this] { problem_.reset(); });
    box->open();
}

}  // namespace tovan
