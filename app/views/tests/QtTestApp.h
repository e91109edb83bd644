#pragma once
// The one QApplication of the views tests: widget tests in several files share
// it, so it is made on first use and never torn down.

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWidget>

namespace tovan::test {

inline QApplication& qtApp() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
    // Widgets are tested offscreen, whatever display the run happens to have.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "app_views_tests";
    static char* argv[] = {name, nullptr};
    return *new QApplication(argc, argv);
}

// Runs the event loop for a while (animations and deferred work go on).
inline void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A left-button press and release at a point of the widget.
inline void click(QWidget* w, QPoint at) {
    const QPointF local(at), global(w->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

}  // namespace tovan::test
