#include "TovanTTSApp.h"

#include <QApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "AppCommands.h"
#include "AppDelegate.h"
#include "AppModel.h"
#include "Controls.h"
#include "DesktopEntry.h"
#include "SettingsStore.h"
#include "LoginItem.h"
#include "MenuBarView.h"
#include "Panels.h"
#include "SettingsView.h"
#include "SymbolIcon.h"
#include "ViewHooks.h"

namespace tovan {

namespace {

// The window's content: never smaller than 820 × 520, and never smaller
// than what the screen it shows needs (a split view's two panes at their
// least), so nothing inside is squeezed on top of its neighbour.
class Floor : public QWidget {
public:
    explicit Floor(QWidget* content) {
        setObjectName("content");
        auto* v = new QVBoxLayout(this);
        v->setContentsMargins(0, 0, 0, 0);
        v->addWidget(content);
    }
    QSize minimumSizeHint() const override { return QWidget::minimumSizeHint().expandedTo(QSize(820, 520)); }
};

}  // namespace

MainWindow::MainWindow(QWidget* content, QWidget* parent) : QMainWindow(parent) {
    setObjectName("main");
    setWindowTitle(DesktopEntry::kName);
    setWindowIcon(applicationIcon());
    setAcceptDrops(true);
    if (!content) {
        auto* label = new QLabel(tr("Lumora"), this);
        label->setAlignment(Qt::AlignCenter);
        content = label;
    }
    setCentralWidget(new Floor(content));
    resize(1120, 740);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (data && (data->hasUrls() || data->hasText())) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (const QMimeData* data = event->mimeData(); data && ViewHooks::shared().drop) ViewHooks::shared().drop(*data);
    event->acceptProposedAction();  // accepted whatever it held
}

TovanTTSApp::TovanTTSApp(AppModel& app, Controls& controls, std::shared_ptr<SettingsStore> defaults,
                         std::shared_ptr<LoginItem> login, Roads roads)
    : app_(app), controls_(controls), defaults_(std::move(defaults)), login_(std::move(login)), roads_(std::move(roads)) {
    // The program lives on in the tray when its last window closes.
    QApplication::setQuitOnLastWindowClosed(AppDelegate::applicationShouldTerminateAfterLastWindowClosed());
    main_ = new MainWindow(roads_.mainContent ? roads_.mainContent(nullptr) : nullptr);
    main_->setAttribute(Qt::WA_DeleteOnClose, false);
    AppCommands::Roads commandRoads{roads_.openFiles, roads_.openLink, roads_.readClipboard, roads_.fromText,
                                    roads_.readSelection};
    commands_ = new AppCommands(controls_, commandRoads, main_->menuBar());
    QMenu* file = commands_->fileMenu();
    file->addSeparator();
    QAction* settings = file->addAction(tr("Settings…"));
    settings->setObjectName("settingsAction");
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, [this] { showSettings(); });
    QAction* quit = file->addAction(tr("Quit Lumora"));
    quit->setObjectName("quitAction");
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, [this] {
        if (roads_.quit) roads_.quit();
    });
    refreshMenuBarItem();
    // The read-anywhere screen's switch writes the setting; the tray follows.
    connect(&app_, &AppModel::settingChanged, this, [this](const QString& key) {
        if (key == QLatin1String("menuBarItem")) refreshMenuBarItem();
    });
}

TovanTTSApp::~TovanTTSApp() {
    delete popup_;
    delete settings_;
    delete tray_;
    delete main_;
}

QString TovanTTSApp::version() {
#ifdef TOVANTTS_VERSION
    return QStringLiteral(TOVANTTS_VERSION);
#else
    return QCoreApplication::applicationVersion();
#endif
}

void TovanTTSApp::showSettings() {
    if (!settings_) {
        settings_ = new QWidget;
        settings_->setObjectName("settings");
        settings_->setWindowTitle(tr("Lumora Settings"));
        auto* v = new QVBoxLayout(settings_);
        v->setContentsMargins(0, 0, 0, 0);
        auto* view = new SettingsView(controls_, defaults_, *login_, version(), settings_);
        connect(&app_, &AppModel::settingChanged, view, &SettingsView::settingChanged);
        v->addWidget(view);
        // Escape closes it, as it does a dialog.
        auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), settings_);
        close->setObjectName("settingsEscape");
        connect(close, &QShortcut::activated, settings_, &QWidget::close);
    }
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

bool TovanTTSApp::menuBarItemShown() const { return tray_ && tray_->isVisible(); }

void TovanTTSApp::refreshMenuBarItem() {
    const bool want = defaults_->getBool("menuBarItem").value_or(true);
    if (!want) {
        if (tray_) tray_->hide();
        if (popup_) popup_->hide();
        return;
    }
    if (!tray_) {
        tray_ = new QSystemTrayIcon(trayIcon());
        tray_->setObjectName("menuBarItem");
        tray_->setToolTip("Lumora");
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
            if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::Context) toggleMenuBarWindow();
        });
    }
    tray_->show();
}

QWidget* TovanTTSApp::menuBarWindow() {
    if (!popup_) {
        popup_ = new QWidget(nullptr, Qt::Popup);
        popup_->setObjectName("menuBarWindow");
        auto* v = new QVBoxLayout(popup_);
        v->setContentsMargins(0, 0, 0, 0);
        MenuBarView::Roads r;
        r.readSelection = roads_.readSelection;
        r.readClipboard = roads_.readClipboard;
        r.openMain = [] { Panels::showMain(); };
        r.quit = roads_.quit;
        v->addWidget(new MenuBarView(app_, controls_, r, popup_));
    }
    return popup_;
}

void TovanTTSApp::toggleMenuBarWindow() {
    QWidget* w = menuBarWindow();
    if (w->isVisible()) {
        w->hide();
        return;
    }
    w->adjustSize();
    // Under the tray icon when the panel tells where it is, else at the pointer.
    QPoint at = QCursor::pos();
    if (tray_ && !tray_->geometry().isEmpty()) at = tray_->geometry().bottomLeft();
    if (QScreen* screen = QGuiApplication::screenAt(at)) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - w->width())));
        at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - w->height())));
    }
    w->move(at);
    w->show();
}

}  // namespace tovan
