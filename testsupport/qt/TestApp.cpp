#include "TestApp.h"

#include <errno.h>

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWidget>

namespace tovan::test {
namespace {

int argc = 1;
char* argv[] = {program_invocation_short_name, nullptr};

// The application object of a windowing kind, made offscreen unless the
// environment names a platform; a lesser object made earlier is fatal.
template <class App>
App& windowingApp(const char* kind) {
    if (!QCoreApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        new App(argc, argv);  // lives for the whole run
        App::setQuitOnLastWindowClosed(false);
    }
    auto* app = qobject_cast<App*>(QCoreApplication::instance());
    if (!app) qFatal("a test asked for a %s after a lesser application object was made", kind);
    return *app;
}

}  // namespace

QCoreApplication& coreApp() {
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);  // lives for the whole run
    return *QCoreApplication::instance();
}

QGuiApplication& guiApp() { return windowingApp<QGuiApplication>("QGuiApplication"); }

QApplication& widgetApp() { return windowingApp<QApplication>("QApplication"); }

bool spinUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void spinEvents() {
    for (int i = 0; i < 5; i++) QCoreApplication::processEvents();
}

void click(QWidget* widget, QPoint at) {
    const QPointF local(at), global(widget->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

}  // namespace tovan::test
