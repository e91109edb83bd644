// The program TovanTTS: one instance per session. A second start hands its
// files, links and service switches to the running one over the session bus
// and ends; the first builds the model, the windows and the tray, starts the
// launch-time services and then owns the bus name.
#include <QApplication>
#include <QDBusInterface>
#include <QDir>

#include <cstdio>
#include <cstdlib>

#include "AppDelegate.h"
#include "AppModel.h"
#include "Bus.h"
#include "ColorScheme.h"
#include "CommandLine.h"
#include "Controls.h"
#include "SettingsStore.h"
#include "DesktopEntry.h"
#include "Drops.h"
#include "Hotkey.h"
#include "HotkeyBackend.h"
#include "LoginItem.h"
#include "Install.h"
#include "Panels.h"
#include "QuitSignals.h"
#include "QtPasteboard.h"
#include "ReadAnywhere.h"
#include "SelectedText.h"
#include "ServiceProvider.h"
#include "Shell.h"
#include "Sheets.h"
#include "TovanTTSApp.h"
#include "ViewHooks.h"
#include "XcbGlobalKeys.h"
#include "assistant/Announcer.h"
#include "assistant/Assistant.h"
#include "assistant/AssistantDevHooks.h"
#include "assistant/Integrations.h"
#include "assistant/Meetings.h"
#include "assistant/Notifications.h"
#include "assistant/SystemEvents.h"
#include "views/AssistantScreen.h"
#include "views/DesktopLook.h"
#include "views/ScreenHooks.h"
#include "views/SymbolIcon.h"

#if __has_include("DevHooks.h")
#include "DevHooks.h"
#define TOVAN_HAS_DEVHOOKS 1
#endif
#if __has_include("views/MainView.h") && __has_include("views/NarratorReading.h") && __has_include("Narrator.h")
#include "Exporter.h"
#include "Narrator.h"
#include "views/MainView.h"
#include "views/NarratorReading.h"
#define TOVAN_HAS_MAINVIEW 1
#endif

using namespace tovan;

namespace {

// The text a service switch hands over: the selection, or the clipboard.
QString serviceText(CommandLine::Service service) {
    if (service == CommandLine::Service::readClipboard) return {};
    if (auto text = PrimarySelection().selection(); text && !text->isEmpty()) return *text;
    return QtPasteboard().string().value_or(QString());
}

QStringList urlStrings(const std::vector<QUrl>& urls) {
    QStringList out;
    for (const QUrl& u : urls) out << u.toString();
    return out;
}

// Hands the command line to the running instance; false when it did not answer.
bool handOver(const Bus& bus, const CommandLine& cl) {
    QDBusInterface remote(Bus::service(), Bus::path(), Bus::interface(), bus.connection());
    if (!remote.isValid()) return false;
    bool ok = true;
    auto call = [&](const QString& method, const QList<QVariant>& args) {
        const QDBusMessage reply = remote.callWithArgumentList(QDBus::Block, method, args);
        ok = ok && reply.type() != QDBusMessage::ErrorMessage;
    };
    if (cl.service == CommandLine::Service::readClipboard) call("readClipboard", {});
    else if (cl.service == CommandLine::Service::readSelection) call("readSelection", {serviceText(*cl.service)});
    else if (cl.service == CommandLine::Service::addSelection) call("addSelection", {serviceText(*cl.service)});
    if (!cl.urls.empty()) call("open", {urlStrings(cl.urls)});
    if (!cl.service && cl.urls.empty() && !cl.hidden) call("show", {});
    return ok;
}

bool haveDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
    if (!haveDisplay()) {
        // Without a display the program still runs (the assistant speaks,
        // handed-over documents are read); only the windows stay unseen.
        std::fprintf(stderr, "TovanTTS: no display; running without windows\n");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("TovanTTS");
    QApplication::setApplicationDisplayName(DesktopEntry::kName);
    QApplication::setApplicationVersion(TovanTTSApp::version());
    // A session's end or a service manager's stop quits as the Quit command
    // does, so what owns child processes and unsaved state is destroyed.
    QuitSignals::install();
    QApplication::setDesktopFileName(DesktopEntry::kId);
    QApplication::setWindowIcon(applicationIcon());
    // Fusion in the desktop's light or dark palette, following a change.
    DesktopLook::apply(ColorScheme::read(QDBusConnection::sessionBus()) == ColorScheme::Scheme::dark);
    ColorScheme scheme(QDBusConnection::sessionBus());
    QObject::connect(&scheme, &ColorScheme::changed,
                     [](ColorScheme::Scheme s) { DesktopLook::apply(s == ColorScheme::Scheme::dark); });

    const CommandLine cl = CommandLine::parse(qapp.arguments().mid(1), QDir::currentPath());
    for (const QString& p : cl.problems) std::fprintf(stderr, "TovanTTS: %s\n", qPrintable(p));

    Bus bus;
    if (bus.isConnected() && bus.nameHasOwner()) return handOver(bus, cl) ? 0 : 1;

    AppModel& app = AppModel::shared();
#ifdef TOVAN_HAS_DEVHOOKS
    // Which copy's model and tool this start uses (checked by the install tests).
    if (DevHooks::enabled()) {
        std::printf("model: %s\ntool: %s\n", app.modelDir.c_str(), Integrations::tovan().c_str());
        std::fflush(stdout);
    }
#endif
    std::shared_ptr<SettingsStore> defaults = app.defaults ? app.defaults : SettingsStore::standard();
    std::unique_ptr<Controls> controls = makeControls();

    ReadAnywhere::Parts parts = ReadAnywhere::standardParts();
    parts.beep = [] { QApplication::beep(); };
    ReadAnywhere::install(std::move(parts));

    XcbGlobalKeys keys;
    HotkeyBackend hotkeyBackend(keys);
    Hotkey::setBackend(&hotkeyBackend);

    auto openFile = [&app](const std::filesystem::path& file, bool play) { app.open(file, play); };
    auto openLink = [&app](const QUrl& link, bool play) { app.open(link, play); };
    auto showLibrary = [&app] { app.setSection(AppModel::Section::library); };
    auto readText = [&app](const QString& text, bool play) { app.read(text.toStdU16String(), std::nullopt, play); };

    ViewHooks& hooks = ViewHooks::shared();
    hooks.drop = [=](const QMimeData& data) { Drops::handle(data, {showLibrary, openFile, openLink, readText}); };
    hooks.showMain = [] { Panels::showMain(); };
    hooks.readClipboard = [] { ReadAnywhere::readClipboard(); };
    hooks.sheets[AppModel::Sheet::link] = [=](AppModel&, std::function<void()> dismiss, QWidget* parent) -> QWidget* {
        return new LinkSheet(QtPasteboard().string(),
                             [=](const QUrl& url) {
                                 showLibrary();
                                 openLink(url, true);
                             },
                             dismiss, parent);
    };
    hooks.sheets[AppModel::Sheet::text] = [=](AppModel&, std::function<void()> dismiss, QWidget* parent) -> QWidget* {
        return new TextSheet(
            [=](const QString& text) {
                showLibrary();
                readText(text, true);
            },
            dismiss, parent);
    };

    // The section screens; the read-anywhere screen rebuilds the global keys
    // through the delegate, which exists only further down.
    AppDelegate* keysOwner = nullptr;
    installScreens(hooks, {[&keysOwner] {
                              if (keysOwner) keysOwner->registerHotkeys();
                          }, {}, {}, {}});
    AssistantScreen::install(hooks);

    TovanTTSApp::Roads roads;
#ifdef TOVAN_HAS_MAINVIEW
    std::unique_ptr<NarratorReading> reading;
    if (app.narrator) reading = std::make_unique<NarratorReading>(*app.narrator, Exporter::shared());
    roads.mainContent = [&](QWidget* parent) -> QWidget* {
        return reading ? new MainView(app, *reading, hooks, parent) : nullptr;
    };
#endif
    TovanTTSApp* windows = nullptr;
    roads.openFiles = [&] { Panels::openFiles(windows ? windows->mainWindow() : nullptr, openFile, showLibrary); };
    hooks.openFiles = roads.openFiles;
    roads.openLink = [&app] {
        Panels::showMain();
        app.setSheet(AppModel::Sheet::link);
    };
    roads.fromText = [&app] {
        Panels::showMain();
        app.setSheet(AppModel::Sheet::text);
    };
    roads.readSelection = [] { ReadAnywhere::readSelection(); };
    roads.readClipboard = [] { ReadAnywhere::readClipboard(); };
    roads.quit = [] { QApplication::quit(); };
    auto login = std::make_shared<XdgAutostart>(XdgAutostart::standardFile(),
                                                QApplication::applicationFilePath().toStdString());
    TovanTTSApp shell(app, *controls, defaults, login, roads);
    windows = &shell;

    AppDelegate* handedTo = nullptr;
    ServiceProvider provider({readText, [=](const QString& f, bool play) { openFile(f.toStdString(), play); },
                              [] { ReadAnywhere::readClipboard(); },
                              [&handedTo](const std::vector<QUrl>& urls) {
                                  if (handedTo) handedTo->open(urls);
                              },
                              [] { Panels::showMain(); }});

    AppDelegate::Launch launch;
    launch.installServices = [&] {
        bus.connection().registerObject(Bus::path(), Bus::interface(), &provider, QDBusConnection::ExportScriptableSlots);
        std::string error;
        if (!DesktopEntry::refresh(DesktopEntry::standardFile(), Install::self(), &error))
            std::fprintf(stderr, "TovanTTS: the desktop entry could not be written: %s\n", error.c_str());
    };
    // The assistant first: its bus listener must be up before the name is
    // claimed, or events sent by a tool that waits for the name are lost.
    launch.assistant = [] { Assistant::shared(); };
    launch.notifications = [] { Notifications::shared().start(); };
    launch.watchDownloads = [] { SystemEvents::shared().watchDownloads(); };
    launch.watchBattery = [] { SystemEvents::shared().watchBattery(); };
    launch.watchDrives = [] { SystemEvents::shared().watchDrives(); };
    launch.watchOutput = [] { SystemEvents::shared().watchOutput(); };
    launch.meetings = [] { Meetings::shared().start(); };
    launch.repairPaths = [] { Integrations::repairPaths(); };
#ifdef TOVAN_HAS_DEVHOOKS
    launch.devHooks = [&] {
        DevHooks::bindNarrator(app);
        // The assistant's and the exporter's commands, over their shared objects.
        DevHooks::Hooks& dev = DevHooks::hooks();
        AssistantDevHooks::bind(dev, Assistant::shared(), Notifications::shared(), Announcer::shared());
        dev.exportTo = [&app](const QString& path) {
            if (app.narrator && app.narrator->doc()) Exporter::shared().exportDoc(app.narrator->doc(), path.toStdString());
        };
        dev.exportTitle = [] { return Exporter::shared().title(); };
        dev.exportFraction = [] { return Exporter::shared().fraction(); };
        DevHooks::install(bus, &app);
    };
#endif
    AppDelegate delegate(defaults, launch, {openFile, openLink},
                         {[] { ReadAnywhere::readSelection(); }, [] { ReadAnywhere::readClipboard(); },
                          [&controls] { controls->toggle(); }});
    handedTo = &delegate;
    keysOwner = &delegate;
    Shell::setRegisterHotkeys([&delegate] { delegate.registerHotkeys(); });

    delegate.applicationDidFinishLaunching();
    // Another instance may have started at the same moment: the one that got
    // the name keeps running, this one hands over.
    if (bus.isConnected() && !bus.claimName() && bus.nameHasOwner()) return handOver(bus, cl) ? 0 : 1;

    QObject::connect(&qapp, &QCoreApplication::aboutToQuit, [&] {
        Shell::setRegisterHotkeys({});
        ReadAnywhere::uninstall();
    });
    if (!cl.hidden) shell.mainWindow()->show();
    delegate.open(cl.urls);
    if (cl.service == CommandLine::Service::readClipboard) ReadAnywhere::readClipboard();
    else if (cl.service) {
        const QString text = serviceText(*cl.service);
        if (cl.service == CommandLine::Service::readSelection) provider.readSelection(text);
        else provider.addSelection(text);
    }
    return qapp.exec();
}
