// Global keys and the Copy keystroke against a private X server: a second
// connection types through XTEST as a user would.
#include "KeySender.h"
#include "TestApp.h"
#include "XServer.h"
#include "XcbGlobalKeys.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <memory>
#include <vector>

using namespace tovan;
using namespace tovan::test;

namespace {

constexpr uint32_t kCtrl = 0xffe3, kAlt = 0xffe9, kNumLock = 0xff7f, kShift = 0xffe1;

// Types on the X server as a keyboard would.
class Typist {
public:
    explicit Typist(const std::string& display) {
        c_ = xcb_connect(display.c_str(), nullptr);
        syms_ = xcb_key_symbols_alloc(c_);
    }
    ~Typist() {
        xcb_key_symbols_free(syms_);
        xcb_disconnect(c_);
    }
    void down(uint32_t sym) { send(XCB_KEY_PRESS, sym); }
    void up(uint32_t sym) { send(XCB_KEY_RELEASE, sym); }
    // Presses the keys in order, then lets them go in reverse.
    void chord(std::vector<uint32_t> syms) {
        for (uint32_t s : syms) down(s);
        for (auto it = syms.rbegin(); it != syms.rend(); ++it) up(*it);
    }

private:
    void send(uint8_t type, uint32_t sym) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(syms_, sym);
        xcb_test_fake_input(c_, type, codes[0], XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        free(codes);
        free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }
    xcb_connection_t* c_;
    xcb_key_symbols_t* syms_;
};

class XcbKeys : public ::testing::Test {
protected:
    static inline std::unique_ptr<XServer> server;
    static void SetUpTestSuite() { server = std::make_unique<XServer>(); }
    static void TearDownTestSuite() { server.reset(); }
    void SetUp() override {
        if (!server->up()) GTEST_SKIP() << "no Xvfb";
        guiApp();
        keys = std::make_unique<XcbGlobalKeys>(server->display());
        ASSERT_TRUE(keys->connected());
        keys->setPressed([this](uint32_t id) { pressed.push_back(id); });
        typist = std::make_unique<Typist>(server->display());
    }
    void TearDown() override {
        keys.reset();
        typist.reset();
    }
    std::unique_ptr<XcbGlobalKeys> keys;
    std::unique_ptr<Typist> typist;
    std::vector<uint32_t> pressed;
};

TEST_F(XcbKeys, ReportsGrabbedCombinationsByIdWhateverTheLocks) {
    ASSERT_TRUE(keys->grab(1, 'r', GlobalKeys::Control | GlobalKeys::Alt));
    ASSERT_TRUE(keys->grab(3, ' ', GlobalKeys::Control | GlobalKeys::Alt));

    typist->chord({kCtrl, kAlt, 'r'});
    ASSERT_TRUE(spinUntil([&] { return pressed.size() == 1; }));
    EXPECT_EQ(pressed[0], 1u);

    // Num Lock on (a toggle: press and release once), then the space chord.
    typist->chord({kNumLock});
    typist->chord({kCtrl, kAlt, ' '});
    ASSERT_TRUE(spinUntil([&] { return pressed.size() == 2; }));
    EXPECT_EQ(pressed[1], 3u);
    typist->chord({kNumLock});

    // Another modifier set is another combination.
    typist->chord({kCtrl, kShift, kAlt, 'r'});
    typist->chord({kCtrl, 'r'});
    spinUntil([] { return false; }, 200);
    EXPECT_EQ(pressed.size(), 2u);
}

TEST_F(XcbKeys, ReleasedCombinationIsNoLongerReportedAndCanBeGrabbedAgain) {
    ASSERT_TRUE(keys->grab(2, 'v', GlobalKeys::Control | GlobalKeys::Alt));
    keys->release(2);
    typist->chord({kCtrl, kAlt, 'v'});
    spinUntil([] { return false; }, 200);
    EXPECT_TRUE(pressed.empty());

    // Grabbing the same id twice keeps one grab, not two.
    ASSERT_TRUE(keys->grab(2, 'v', GlobalKeys::Control | GlobalKeys::Alt));
    ASSERT_TRUE(keys->grab(2, 'v', GlobalKeys::Control | GlobalKeys::Alt));
    typist->chord({kCtrl, kAlt, 'v'});
    ASSERT_TRUE(spinUntil([&] { return !pressed.empty(); }));
    spinUntil([] { return false; }, 100);
    EXPECT_EQ(pressed, std::vector<uint32_t>{2});
}

TEST_F(XcbKeys, CombinationHeldByAnotherProgramIsRefusedAndLeavesNothingBehind) {
    XcbGlobalKeys other(server->display());
    ASSERT_TRUE(other.grab(9, 'r', GlobalKeys::Control | GlobalKeys::Alt));
    EXPECT_FALSE(keys->grab(1, 'r', GlobalKeys::Control | GlobalKeys::Alt));
    // The other program keeps its key; ours gets nothing.
    std::vector<uint32_t> theirs;
    other.setPressed([&](uint32_t id) { theirs.push_back(id); });
    typist->chord({kCtrl, kAlt, 'r'});
    ASSERT_TRUE(spinUntil([&] { return !theirs.empty(); }));
    EXPECT_TRUE(pressed.empty());
}

TEST_F(XcbKeys, CopyKeystrokeArrivesAsControlCEvenWithAltHeld) {
    ASSERT_TRUE(keys->grab(7, 'c', GlobalKeys::Control));
    XcbKeySender sender(server->display());
    ASSERT_TRUE(sender.sendCopy());
    ASSERT_TRUE(spinUntil([&] { return pressed.size() == 1; }));

    // As after Ctrl+Alt+R: both still held when the keystroke is sent.
    typist->down(kCtrl);
    typist->down(kAlt);
    ASSERT_TRUE(sender.sendCopy());
    ASSERT_TRUE(spinUntil([&] { return pressed.size() == 2; }));
    typist->up(kAlt);
    typist->up(kCtrl);
}

TEST(XcbKeysNoServer, EveryGrabFailsWithoutADisplay) {
    guiApp();
    XcbGlobalKeys keys(":9999");
    EXPECT_FALSE(keys.connected());
    EXPECT_FALSE(keys.grab(1, 'r', GlobalKeys::Control));
    EXPECT_FALSE(XcbKeySender(":9999").sendCopy());
}

}  // namespace
