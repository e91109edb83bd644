// The one Qt application object of a test program, made by whichever test
// asks first and kept for the whole run, and waits that keep its event loop
// turning. Windows are drawn offscreen unless QT_QPA_PLATFORM names another
// platform, and closing the last window never quits.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPoint>

#include <functional>

class QWidget;

namespace tovan::test {

// A QCoreApplication, or the application object already there.
QCoreApplication& coreApp();
// A QGuiApplication; fails the program when a plain QCoreApplication came first.
QGuiApplication& guiApp();
// A QApplication; fails the program when a lesser application object came first.
QApplication& widgetApp();

// A first member for fixtures whose other members are widgets: the
// application object exists before they are made.
struct WidgetAppFirst {
    WidgetAppFirst() { widgetApp(); }
};

// Runs the event loop until done() holds or limitMs passed; the last done().
bool spinUntil(const std::function<bool()>& done, int limitMs = 10000);
// Runs the event loop for ms milliseconds (animations and deferred work go on).
void spin(int ms);
// Delivers what is queued now, a few rounds deep.
void spinEvents();

// A left-button press and release at a point of the widget.
void click(QWidget* widget, QPoint at);

}  // namespace tovan::test
