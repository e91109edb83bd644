#include "QuitSignals.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

#include "TestApp.h"

namespace {

using tovan::test::guiApp;

// A termination request ends the event loop as the Quit command does, and
// the process lives on to clean up.
TEST(QuitSignals, TerminationRequestsQuitTheEventLoop) {
    guiApp();
    ASSERT_TRUE(tovan::QuitSignals::install());
    EXPECT_TRUE(tovan::QuitSignals::install());  // a second call changes nothing
    for (int number : {SIGTERM, SIGINT}) {
        bool raised = false;
        QTimer::singleShot(0, [&] {
            raised = true;
            ::raise(number);
        });
        // Should the signal not quit it, the loop ends after 10 s and fails.
        QTimer guard;
        guard.setSingleShot(true);
        bool timedOut = false;
        QObject::connect(&guard, &QTimer::timeout, [&] {
            timedOut = true;
            QCoreApplication::exit(1);
        });
        guard.start(10000);
        EXPECT_EQ(QCoreApplication::exec(), 0) << number;
        EXPECT_TRUE(raised);
        EXPECT_FALSE(timedOut) << number;
    }
}

}  // namespace
