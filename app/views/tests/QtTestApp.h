#pragma once
// The one QApplication of the views tests: widget tests in several files share
// it, so it is made on first use and never torn down.

#include <QApplication>

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

}  // namespace tovan::test
