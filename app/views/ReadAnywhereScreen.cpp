#include "ReadAnywhereScreen.h"

#include "SettingsStore.h"
#include "Theme.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace tovan {

namespace {

struct RowText {
    const char* icon;
    const char* title;
    const char* keys;  // null: none
    const char* detail;
};

// Key hints and key names as this desktop writes them (Ctrl+Alt for the
// global keys).
constexpr RowText texts[7] = {
    {"text.cursor", "Read what you select", "Ctrl+Alt+R",
     "Select text in any app (a web page, a mail, a document) and press Ctrl+Alt+R."},
    {"contextualmenu.and.cursorarrow", "Launcher actions", nullptr,
     "Right-click Lumora in the applications menu, dock or panel and choose Read with Lumora, Add Selection to "
     "Lumora or Read Clipboard with Lumora. Other programs reach the same actions over D-Bus. Works everywhere, "
     "no permission needed. You can give them your own shortcut in Keyboard settings."},
    {"doc.on.clipboard", "Read what you copied", "Ctrl+Alt+V",
     "Copy text or a link anywhere and press Ctrl+Alt+V. A link is read as its article."},
    {"playpause", "Play and pause from anywhere", "Ctrl+Alt+Space",
     "Or use the play key, the buttons of your headphones and the desktop's media controls: Lumora shows there "
     "like any player."},
    {"menubar.rectangle", "Panel icon", nullptr,
     "What is playing, the controls and Read Selection, from Lumora's icon in the panel, with the window closed."},
    {"hifispeaker.2", "Speakers and headphones", nullptr,
     "Send the voice to any speaker, headphones or TV in the desktop's sound settings, with the speaker button "
     "in the player."},
    {"waveform.badge.plus", "Save as audio", "Shift+Ctrl+E",
     "Turn any book or article into an audio file for your phone, the car or a walk, read in your voice and "
     "style."},
};

QCheckBox* toggle(const QString& name, const QString& spoken, bool on, QWidget* parent) {
    auto* c = new QCheckBox(parent);
    c->setObjectName(name);
    c->setAccessibleName(spoken);  // the label itself stays hidden
    c->setChecked(on);
    return c;
}

}  // namespace

AnywhereView::AnywhereView(Host host, QWidget* parent)
    : QWidget(parent), host_(std::move(host)), trusted_(host_.trusted && host_.trusted()) {
    setObjectName("anywhereScreen");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    outer->addWidget(scroll);
    auto* page = new QWidget(scroll);
    auto* centre = new QHBoxLayout(page);
    centre->setContentsMargins(0, 0, 0, 0);
    auto* column = new QWidget(page);
    column->setObjectName("column");
    column->setMaximumWidth(760);
    centre->addStretch(1);
    centre->addWidget(column, 100);
    centre->addStretch(1);
    auto* v = new QVBoxLayout(column);
    v->setContentsMargins(28, 28, 28, 28);
    v->setSpacing(16);

    auto* header = new QVBoxLayout;
    header->setSpacing(6);
    header->setContentsMargins(0, 0, 0, 4);
    auto* title = new QLabel("Read Anywhere", column);
    title->setObjectName("heading");
    title->setFont(Theme::font(Theme::TextStyle::title2));
    header->addWidget(title);
    auto* blurb = new QLabel(
        "Hear text from any app on this computer, in your voice. Everything is read on this computer; nothing is "
        "sent anywhere.",
        column);
    blurb->setWordWrap(true);
    QPalette bp = blurb->palette();
    bp.setColor(QPalette::WindowText, Theme::secondary(bp));
    blurb->setPalette(bp);
    header->addWidget(blurb);
    v->addLayout(header);

    allow_ = new QPushButton("Learn More…", column);
    allow_->setObjectName("allow");
    connect(allow_, &QPushButton::clicked, this, [this] {
        if (host_.requestTrust) host_.requestTrust();
    });
    auto* keyboard = new QPushButton("Keyboard Shortcuts…", column);
    keyboard->setObjectName("keyboardShortcuts");
    connect(keyboard, &QPushButton::clicked, this, [this] {
        if (host_.openShortcutSettings) host_.openShortcutSettings();
    });
    auto* clip = new QPushButton("Read Clipboard Now", column);
    clip->setObjectName("readClipboard");
    connect(clip, &QPushButton::clicked, this, [this] {
        if (host_.readClipboard) host_.readClipboard();
    });
    shortcutsSwitch_ = toggle("Shortcuts", "Shortcuts", shortcuts(), column);
    menuBarSwitch_ = toggle("menuBarItem", "Panel icon", menuBarItem(), column);
    // Connected after the initial state: opening the screen registers nothing.
    connect(shortcutsSwitch_, &QCheckBox::toggled, this, [this](bool on) {
        if (host_.defaults) host_.defaults->setBool("shortcuts", on);
        if (host_.registerHotkeys) host_.registerHotkeys();
        refresh();
    });
    connect(menuBarSwitch_, &QCheckBox::toggled, this, [this](bool on) {
        if (host_.defaults) host_.defaults->setBool("menuBarItem", on);
        refresh();
    });
    QWidget* picker = host_.routePicker ? host_.routePicker(column) : nullptr;
    if (picker) picker->setFixedSize(28, 24);
    export_ = new QPushButton("Export…", column);
    export_->setObjectName("export");
    connect(export_, &QPushButton::clicked, this, [this] {
        if (host_.hasDoc && host_.hasDoc() && host_.exportDoc) host_.exportDoc();
    });

    QWidget* trailing[7] = {allow_, keyboard, clip, shortcutsSwitch_, menuBarSwitch_, picker, export_};
    for (int i = 0; i < 7; ++i) {
        const RowText& t = texts[i];
        rows_[i] = new Feature(t.icon, t.title, t.keys ? std::optional<QString>(t.keys) : std::nullopt, t.detail,
                               Feature::State::ready(), trailing[i], nullptr, column);
        rows_[i]->setObjectName("row" + QString::number(i + 1));
        v->addWidget(rows_[i]);
    }
    v->addStretch(1);
    scroll->setWidget(page);

    timer_ = new QTimer(this);
    timer_->setInterval(tickMs);
    connect(timer_, &QTimer::timeout, this, &AnywhereView::tick);
    refresh();
}

bool AnywhereView::shortcuts() const {
    return !host_.defaults || host_.defaults->getBool("shortcuts").value_or(true);
}

bool AnywhereView::menuBarItem() const {
    return !host_.defaults || host_.defaults->getBool("menuBarItem").value_or(true);
}

void AnywhereView::refresh() {
    using S = Feature::State;
    const bool keys = shortcuts();
    const S keysOff = S::off("Shortcuts are off");
    rows_[0]->setState(!keys ? keysOff : trusted_ ? S::ready() : S::needs("Needs an X11 session"));
    rows_[1]->setState(S::ready());
    rows_[2]->setState(keys ? S::ready() : keysOff);
    rows_[3]->setState(keys ? S::ready() : keysOff);
    rows_[4]->setState(menuBarItem() ? S::ready() : S::off("Hidden"));
    rows_[5]->setState(S::ready());
    rows_[6]->setState(S::ready());
    allow_->setVisible(!trusted_);
    export_->setEnabled(host_.hasDoc && host_.hasDoc());
}

void AnywhereView::docChanged() {
    refresh();
}

void AnywhereView::tick() {
    trusted_ = host_.trusted && host_.trusted();
    refresh();
}

void AnywhereView::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    timer_->start();
}

void AnywhereView::hideEvent(QHideEvent* e) {
    timer_->stop();
    QWidget::hideEvent(e);
}

}  // namespace tovan
