#include "Hotkey.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "ModelTestUtil.h"

using tovan::Hotkey;
using tovan::test::coreApp;

namespace {

// A desktop that refuses the key codes it is told to and records the rest.
struct FakeDesktop : Hotkey::Backend {
    int installs = 0;
    std::set<std::uint32_t> refuse;
    std::map<std::uint64_t, std::uint32_t> registered;  // ref -> id
    std::uint64_t next = 1;
    void install() override { ++installs; }
    std::optional<std::uint64_t> registerKey(std::uint32_t keyCode, std::uint32_t, std::uint32_t id) override {
        if (refuse.count(keyCode)) return std::nullopt;
        registered[next] = id;
        return next++;
    }
    void unregisterKey(std::uint64_t ref) override { registered.erase(ref); }
};

struct HotkeyTest : ::testing::Test {
    FakeDesktop desktop;
    void SetUp() override {
        coreApp();
        Hotkey::setBackend(&desktop);
        Hotkey::handlers().clear();
    }
    void TearDown() override {
        Hotkey::handlers().clear();
        Hotkey::setBackend(nullptr);
    }
    static void drain() { QCoreApplication::processEvents(); }
};

}  // namespace

TEST_F(HotkeyTest, APressRunsTheActionLaterOnTheMainThread) {
    std::vector<std::thread::id> ran;
    auto key = Hotkey::create(27, 0x900, 1, [&] { ran.push_back(std::this_thread::get_id()); });
    ASSERT_TRUE(key);
    EXPECT_TRUE(Hotkey::installed());
    EXPECT_EQ(key->id(), 1u);
    EXPECT_TRUE(key->ref().has_value());
    std::thread([] { Hotkey::pressed(1); }).join();
    EXPECT_TRUE(ran.empty());  // never inside the press itself
    drain();
    ASSERT_EQ(ran.size(), 1u);
    EXPECT_EQ(ran[0], std::this_thread::get_id());
    Hotkey::pressed(99);  // unknown id: nothing
    drain();
    EXPECT_EQ(ran.size(), 1u);
}

TEST_F(HotkeyTest, ARefusedRegistrationLeavesNoKeyAndNoAction) {
    desktop.refuse = {40};
    bool ran = false;
    auto key = Hotkey::create(40, 0, 2, [&] { ran = true; });
    EXPECT_FALSE(key);
    EXPECT_EQ(Hotkey::handlers().count(2), 0u);
    Hotkey::pressed(2);
    drain();
    EXPECT_FALSE(ran);
}

TEST_F(HotkeyTest, ReleaseRemovesWhateverTheIdHoldsAndUnregisters) {
    int older = 0, newer = 0;
    auto first = Hotkey::create(27, 0, 3, [&] { ++older; });
    auto second = Hotkey::create(28, 0, 3, [&] { ++newer; });
    ASSERT_TRUE(first && second);
    EXPECT_EQ(desktop.registered.size(), 2u);
    first.reset();  // takes the newer action with it
    EXPECT_EQ(desktop.registered.size(), 1u);
    Hotkey::pressed(3);
    drain();
    EXPECT_EQ(older + newer, 0);
    // Registering again restores it.
    auto again = Hotkey::create(27, 0, 3, [&] { ++newer; });
    Hotkey::pressed(3);
    drain();
    EXPECT_EQ(newer, 1);
}

TEST_F(HotkeyTest, APressQueuedBeforeReleaseFindsNoAction) {
    int ran = 0;
    auto key = Hotkey::create(27, 0, 4, [&] { ++ran; });
    Hotkey::pressed(4);
    key.reset();
    drain();
    EXPECT_EQ(ran, 0);
}

TEST_F(HotkeyTest, AnActionMayReleaseItsOwnKey) {
    std::unique_ptr<Hotkey> key;
    int ran = 0;
    key = Hotkey::create(27, 0, 5, [&] {
        ++ran;
        key.reset();
    });
    Hotkey::pressed(5);
    drain();
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(key);
    EXPECT_EQ(Hotkey::handlers().count(5), 0u);
}

TEST_F(HotkeyTest, InstallsTheDesktopHandlerOnce) {
    // The process may have installed it in an earlier test; it never runs twice.
    const int before = desktop.installs;
    auto a = Hotkey::create(1, 0, 6, [] {});
    auto b = Hotkey::create(2, 0, 7, [] {});
    Hotkey::install();
    EXPECT_LE(desktop.installs - before, 1);
    EXPECT_TRUE(Hotkey::installed());
}
