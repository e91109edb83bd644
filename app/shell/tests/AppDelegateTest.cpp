#include "AppDelegate.h"
#include "SettingsStore.h"
#include "GlobalKeys.h"
#include "Hotkey.h"
#include "HotkeyBackend.h"
#include "TestApp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tovan;
using namespace tovan::test;

namespace {

constexpr uint32_t kCtrlAlt = GlobalKeys::Control | GlobalKeys::Alt;

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        widgetApp();
        backend = std::make_unique<HotkeyBackend>(keys);
        Hotkey::setBackend(backend.get());
        AppDelegate::Launch launch;
        auto step = [this](std::string name) { return [this, name] { steps.push_back(name); }; };
        launch.installServices = step("services");
        launch.devHooks = step("dev");
        launch.assistant = step("assistant");
        launch.notifications = step("notifications");
        launch.watchDownloads = step("downloads");
        launch.watchBattery = step("battery");
        launch.watchDrives = step("drives");
        launch.watchOutput = step("output");
        launch.meetings = step("meetings");
        launch.repairPaths = step("repair");
        AppDelegate::Intake intake;
        intake.openFile = [this](const std::filesystem::path& f, bool play) {
            opened.push_back("file " + f.string() + (play ? " play" : ""));
        };
        intake.openLink = [this](const QUrl& u, bool play) {
            opened.push_back("link " + u.toString().toStdString() + (play ? " play" : ""));
        };
        AppDelegate::KeyActions actions{[this] { steps.push_back("R"); }, [this] { steps.push_back("V"); },
                                        [this] { steps.push_back("Space"); }};
        delegate = std::make_unique<AppDelegate>(defaults, launch, intake, actions);
    }
    void TearDown() override {
        delegate.reset();
        Hotkey::setBackend(nullptr);
    }
    void press(uint32_t keysym) {
        keys.press(keysym, kCtrlAlt);
        spinEvents();
    }

    std::shared_ptr<MemorySettingsStore> defaults = std::make_shared<MemorySettingsStore>();
    FakeGlobalKeys keys;
    std::unique_ptr<HotkeyBackend> backend;
    std::unique_ptr<AppDelegate> delegate;
    std::vector<std::string> steps, opened;
};

TEST_F(AppDelegateTest, LaunchStartsTheServicesInTheirOrderWithTheKeysAfterTheBusObject) {
    delegate->applicationDidFinishLaunching();
    EXPECT_EQ(steps, (std::vector<std::string>{"services", "dev", "assistant", "notifications", "downloads",
                                               "battery", "drives", "output", "meetings", "repair"}));
    EXPECT_EQ(delegate->hotkeys().size(), 3u);
    steps.clear();
    press('r');
    press('v');
    press(' ');
    EXPECT_EQ(steps, (std::vector<std::string>{"R", "V", "Space"}));
}

TEST_F(AppDelegateTest, ShortcutsSettingDecidesWhetherTheKeysAreHeld) {
    struct Case {
        std::optional<nlohmann::json> value;
        size_t held;
    };
    const Case cases[] = {
        {std::nullopt, 3}, {true, 3}, {false, 0}, {"no", 3}, {0, 3}, {true, 3}, {false, 0},
    };
    for (const auto& c : cases) {
        if (c.value) defaults->setValue("shortcuts", *c.value);
        else defaults->remove("shortcuts");
        delegate->registerHotkeys();
        EXPECT_EQ(delegate->hotkeys().size(), c.held) << (c.value ? c.value->dump() : "absent");
        EXPECT_EQ(keys.grabCount(), c.held);
        EXPECT_EQ(Hotkey::handlers().size(), c.held);
    }
    // Off, then on again without a restart: one action per press, no stale ones.
    defaults->setBool("shortcuts", false);
    delegate->registerHotkeys();
    press('r');
    EXPECT_TRUE(steps.empty());
    defaults->setBool("shortcuts", true);
    delegate->registerHotkeys();
    delegate->registerHotkeys();
    press('r');
    EXPECT_EQ(steps, std::vector<std::string>{"R"});
}

TEST_F(AppDelegateTest, AKeyTakenByAnotherProgramIsMissingAndLeavesNoAction) {
    keys.refuse = [](uint32_t keysym) { return keysym == 'v'; };
    delegate->registerHotkeys();
    ASSERT_EQ(delegate->hotkeys().size(), 2u);
    EXPECT_EQ(Hotkey::handlers().count(2), 0u);
    EXPECT_EQ(keys.grabbed(1)->keysym, uint32_t('r'));
    EXPECT_EQ(keys.grabbed(1)->modifiers, kCtrlAlt);
    EXPECT_EQ(keys.grabbed(3)->keysym, uint32_t(' '));
    press('v');
    press(' ');
    EXPECT_EQ(steps, std::vector<std::string>{"Space"});
}

TEST_F(AppDelegateTest, HandedOverUrlsOpenInOrderWithPlayOn) {
    delegate->open({QUrl::fromLocalFile("/home/u/Book one.epub"), QUrl("https://example.org/a"),
                    QUrl::fromLocalFile("/tmp/b.pdf"), QUrl("http://example.org/b")});
    EXPECT_EQ(opened, (std::vector<std::string>{"file /home/u/Book one.epub play", "link https://example.org/a play",
                                                "file /tmp/b.pdf play", "link http://example.org/b play"}));
}

TEST(AppDelegateRules, TheLastWindowClosingDoesNotEndTheProgram) {
    EXPECT_FALSE(AppDelegate::applicationShouldTerminateAfterLastWindowClosed());
}

}  // namespace
