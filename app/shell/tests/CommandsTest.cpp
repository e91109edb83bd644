#include "AppCommands.h"
#include "FakeControls.h"
#include "TestApp.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>

using namespace tovan;
using tovan::test::widgetApp;

namespace {

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        widgetApp();
        AppCommands::Roads roads;
        auto rec = [this](std::string n) { return [this, n] { roadCalls.push_back(n); }; };
        roads.openFiles = rec("openFiles");
        roads.openLink = rec("openLink");
        roads.fromClipboard = rec("clipboard");
        roads.fromText = rec("text");
        roads.readSelection = rec("selection");
        window = std::make_unique<QMainWindow>();
        commands = new AppCommands(controls, roads, window->menuBar());
    }
    void trigger(const char* name) {
        QAction* a = commands->action(name);
        ASSERT_NE(a, nullptr) << name;
        a->trigger();
    }
    FakeControls controls;
    std::unique_ptr<QMainWindow> window;  // made after the application
    AppCommands* commands = nullptr;
    std::vector<std::string> roadCalls;
};

TEST_F(CommandsTest, PlayTitleAndExportFollowTheReading) {
    QAction* play = commands->action("playAction");
    QAction* exp = commands->action("exportAction");
    EXPECT_EQ(play->text(), "Play");
    EXPECT_FALSE(exp->isEnabled());
    controls.set(true, true);
    EXPECT_EQ(play->text(), "Pause");
    EXPECT_TRUE(exp->isEnabled());
    controls.set(true, false);
    EXPECT_EQ(play->text(), "Play");
    trigger("exportAction");
    trigger("stopAction");
    EXPECT_FALSE(exp->isEnabled());
    exp->trigger();  // disabled: nothing
    EXPECT_EQ(controls.calls, (std::vector<std::string>{"export", "stop"}));
}

TEST_F(CommandsTest, EntriesCallTheirRoadsAndMoveBySentenceFromTheHeardOne) {
    controls.heardAt = 7;
    for (const char* n : {"openAction", "openLinkAction", "fromClipboardAction", "fromTextAction", "readSelectionAction",
                          "playAction", "nextParagraphAction", "previousParagraphAction", "nextSentenceAction",
                          "previousSentenceAction"})
        trigger(n);
    EXPECT_EQ(roadCalls, (std::vector<std::string>{"openFiles", "openLink", "clipboard", "text", "selection"}));
    EXPECT_EQ(controls.calls, (std::vector<std::string>{"toggle", "next", "previous", "seek 8", "seek 6"}));
}

TEST_F(CommandsTest, SpeedStepsStayWithinTheirBoundsInSinglePrecision) {
    struct Case {
        float from;
        const char* action;
        float to;
    };
    const Case cases[] = {
        {1.0f, "fasterAction", 1.0f + 0.1f},    {2.45f, "fasterAction", 2.5f}, {2.5f, "fasterAction", 2.5f},
        {1.0f, "slowerAction", 1.0f - 0.1f},    {0.65f, "slowerAction", 0.6f}, {0.6f, "slowerAction", 0.6f},
        {2.3f, "normalSpeedAction", 1.0f},
    };
    for (const auto& c : cases) {
        controls.spd = c.from;
        trigger(c.action);
        EXPECT_EQ(controls.spd, c.to) << c.from << " " << c.action;
    }
    // Ten steps up from 1.0 carry float rounding yet never pass 2.5.
    controls.spd = 1.0f;
    for (int i = 0; i < 20; i++) trigger("fasterAction");
    EXPECT_EQ(controls.spd, 2.5f);
}

TEST_F(CommandsTest, KeyEquivalentsAreTheLinuxForms) {
    struct Case {
        const char* action;
        QKeySequence keys;
    };
    const Case cases[] = {
        {"openAction", QKeySequence("Ctrl+O")},          {"openLinkAction", QKeySequence("Ctrl+L")},
        {"fromClipboardAction", QKeySequence("Ctrl+Shift+V")}, {"fromTextAction", QKeySequence("Ctrl+N")},
        {"exportAction", QKeySequence("Ctrl+Shift+E")},  {"playAction", QKeySequence("Space")},
        {"nextSentenceAction", QKeySequence("Ctrl+Alt+Right")}, {"fasterAction", QKeySequence("Ctrl+]")},
        {"slowerAction", QKeySequence("Ctrl+[")},         {"stopAction", QKeySequence("Ctrl+.")},
        {"readSelectionAction", QKeySequence()},
    };
    for (const auto& c : cases) EXPECT_EQ(commands->action(c.action)->shortcut(), c.keys) << c.action;
}

}  // namespace
