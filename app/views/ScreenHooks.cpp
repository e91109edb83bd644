#include "ScreenHooks.h"

#include "BookCatalog.h"
#include "FreeBooksScreen.h"
#include "ReadAnywhereScreen.h"
#include "RoutePicker.h"
#include "ViewHooks.h"
#include "VoicePreview.h"
#include "VoicesScreen.h"
#include "core/AppModel.h"
#include "core/Library.h"

#include "AudioOutput.h"
#include "QtClock.h"
#include "SentencePlayer.h"

#if __has_include("core/Narrator.h")
#include "core/Narrator.h"
#define TOVAN_HAVE_NARRATOR 1
#endif
#if __has_include("core/Exporter.h")
#include "core/Exporter.h"
#define TOVAN_HAVE_EXPORTER 1
#endif

#include <QGuiApplication>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

namespace tovan {

namespace {

QNetworkAccessManager* catalogueNetwork() {
    static QNetworkAccessManager* network = new QNetworkAccessManager(qApp);
    return network;
}

Gutenberg catalogueOf(const AppModel& app) {
    return Gutenberg(app.catalogue + u"/ebooks/", catalogueNetwork());
}

Speaker& speakerOf(AppModel& app) {
    if (!Speaker::hasShared()) {
        // Lives as long as the process, as the preview does.
        static QtClock* clock = new QtClock;
        Speaker::Host host;
#ifdef TOVAN_HAVE_NARRATOR
        host.readerPlaying = [&app] { return app.narrator && app.narrator->playing(); };
        host.pauseReader = [&app] {
            if (app.narrator) app.narrator->pause();
        };
#endif
        host.onEngine = [&app](std::function<void(Engine&)> work) { app.onEngine(std::move(work)); };
        Speaker::setShared(std::make_unique<Speaker>(
            std::move(host), std::make_shared<SentencePlayer>(AudioOutput::system(*clock), *clock)));
    }
    return Speaker::shared();
}

QWidget* freeBooks(AppModel& app, QWidget* parent) {
    installCatalogue(app);
    const Gutenberg g = catalogueOf(app);
    FreeBooksView::Host host;
    host.page = [g](const std::u16string& q, int64_t start, Gutenberg::Books done, Gutenberg::Failed failed) {
        g.page(q, start, std::move(done), std::move(failed));
    };
    host.docs = [&app] { return app.library.docs(); };
    host.open = [&app](const Gutenberg::Book& b) { app.open(AppModel::Book{b.id, b.title, b.author}); };
    host.root = g.root();
    auto* view = new FreeBooksView(std::move(host), parent);
    QObject::connect(&app.library, &Library::docsChanged, view, [view] { view->libraryChanged(); });
    return view;
}

QWidget* voices(AppModel& app, QWidget* parent) {
    VoicesView::Host host;
    host.style = [&app] { return app.style(); };
    host.setStyle = [&app](const Style& s) { app.setStyle(s); };
    host.voices = &app.voices;
#ifdef TOVAN_HAVE_NARRATOR
    host.readerPlaying = [&app] { return app.narrator && app.narrator->playing(); };
    host.heard = [&app] { return app.narrator ? app.narrator->heard() : int64_t(0); };
    host.renderFrom = [&app](int64_t i) {
        if (app.narrator) app.narrator->renderFrom(i);
    };
    host.readerSpeed = [&app] { return app.narrator ? app.narrator->speed() : 1.0f; };
#endif
    host.say = [&app](const std::u16string& text, const Style& style) { speakerOf(app).say(text, style); };
    auto* view = new VoicesView(std::move(host), parent);
    QObject::connect(&app, &AppModel::styleChanged, view, [view] { view->styleChanged(); });
#ifdef TOVAN_HAVE_NARRATOR
    if (app.narrator) QObject::connect(app.narrator, &Narrator::speedChanged, view, [view] { view->styleChanged(); });
#endif
    return view;
}

void explainSelection(QWidget* parent) {
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Lumora"),
                                QStringLiteral("Reading the selection of other apps needs an X11 session "
                                               "(Xorg, or XWayland for the app you read from). Sign in with "
                                               "an X11 session to use it."),
                                QMessageBox::Ok, parent);
    box->setObjectName("selectionHelp");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void openKeyboardSettings() {
    // The desktops' own keyboard-shortcut pages, the first one installed.
    const std::pair<const char*, QStringList> tools[] = {
        {"gnome-control-center", {"keyboard"}},
        {"systemsettings", {"kcm_keys"}},
        {"xfce4-keyboard-settings", {}},
    };
    for (const auto& [tool, args] : tools)
        if (!QStandardPaths::findExecutable(tool).isEmpty() && QProcess::startDetached(tool, args)) return;
}

QWidget* anywhere(AppModel& app, const AnywhereActions& actions, QWidget* parent) {
    AnywhereView::Host host;
    host.defaults = app.defaults;
    host.trusted = actions.trusted ? actions.trusted : [] { return QGuiApplication::platformName() == "xcb"; };
    host.registerHotkeys = actions.registerHotkeys;
    host.openShortcutSettings = actions.openShortcutSettings ? actions.openShortcutSettings : openKeyboardSettings;
    host.readClipboard = [] {
        if (ViewHooks::shared().readClipboard) ViewHooks::shared().readClipboard();
    };
#ifdef TOVAN_HAVE_NARRATOR
    host.hasDoc = [&app] { return app.narrator && app.narrator->doc() != nullptr; };
    host.routePicker = [&app](QWidget* p) -> QWidget* {
        if (!app.narrator) return nullptr;
        auto* picker = new RoutePicker(&app.narrator->player().output(), p);
        picker->onChoose = [&app](const std::string& device) {
            if (app.narrator) app.narrator->chooseOutput(device);
        };
        return picker;
    };
#ifdef TOVAN_HAVE_EXPORTER
    host.exportDoc = [&app] {
        if (app.narrator && app.narrator->doc()) Exporter::shared().exportDoc(app.narrator->doc());
    };
#endif
#endif
    auto* view = new AnywhereView(std::move(host), parent);
    const auto request = actions.requestTrust ? actions.requestTrust : explainSelection;
    // "Allow…" needs the view as the dialog's parent, so it is wired here.
    if (auto* allow = view->findChild<QPushButton*>("allow"))
        QObject::connect(allow, &QPushButton::clicked, view, [request, view] { request(view); });
#ifdef TOVAN_HAVE_NARRATOR
    if (app.narrator)
        QObject::connect(app.narrator, &Narrator::docChanged, view, [view] { view->docChanged(); });
#endif
    return view;
}

}  // namespace

void installCatalogue(AppModel& app) {
    app.setBookFetch([&app](const AppModel::Book& book, std::function<void(std::string)> done,
                            std::function<void(std::u16string)> failed) {
        catalogueOf(app).epub(
            Gutenberg::Book{book.id, book.title, book.author},
            [done = std::move(done)](QByteArray bytes) { done(bytes.toStdString()); }, std::move(failed));
    });
}

void installScreens(ViewHooks& hooks, AnywhereActions actions) {
    hooks.screens[AppModel::Section::freeBooks] = freeBooks;
    hooks.screens[AppModel::Section::voices] = voices;
    hooks.screens[AppModel::Section::anywhere] = [actions](AppModel& app, QWidget* parent) {
        return anywhere(app, actions, parent);
    };
}

}  // namespace tovan
