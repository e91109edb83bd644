// The assistant's developer commands, sent over a private session bus the
// way a developer's script sends them to the running program.
#include "AnnouncerRig.h"
#include "Assistant.h"
#include "AssistantDevHooks.h"
#include "FakeIntake.h"
#include "FakeMachine.h"
#include "Notifications.h"

#include "../../core/tests/ModelTestUtil.h"
#include "Bus.h"
#include "PrivateBus.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tovan {
namespace {

struct DevCommands : ::testing::Test {
    test::PrivateBus bus;
    FakeMachine machine;
    AnnouncerRig rig;
    std::shared_ptr<MemorySettingsStore> store = std::make_shared<MemorySettingsStore>();
    AssistantPrefs prefs{store, [] { return 12; }};
    std::unique_ptr<Assistant> assistant;
    test::FakeIntake intake;
    std::unique_ptr<Notifications> notes;
    std::unique_ptr<modeltest::Model> model;
    std::optional<std::string> savedDev;
    QList<float> readerVolumes;
    QStringList out;
    std::unique_ptr<Bus> listener, sender;

    void SetUp() override {
        test::coreApp();
        if (!bus.ok())
            GTEST_SKIP() << "no dbus-daemon";
        if (const char* v = std::getenv("TOVANTTS_DEV"))
            savedDev = v;
        ::setenv("TOVANTTS_DEV", "1", 1);
        assistant = std::make_unique<Assistant>(rig.assistantHost(prefs));
        notes = std::make_unique<Notifications>(intake.links(), "/nonexistent/db2",
                                                std::vector<std::string>{"/nonexistent"});
        model = std::make_unique<modeltest::Model>();

        // As at start-up: the reader's side first, then the assistant's.
        DevHooks::Hooks& h = DevHooks::hooks();
        h = {};
        h.setVolume = [this](float v) { readerVolumes << v; };
        AssistantDevHooks::bind(h, *assistant, *notes, *rig.announcer);
        listener = std::make_unique<Bus>(bus.connect());
        ASSERT_TRUE(DevHooks::install(*listener, model->model.get(), [this](const QString& l) { out << l; }));
        sender = std::make_unique<Bus>(bus.connect());
    }
    void TearDown() override {
        DevHooks::hooks() = {};
        if (savedDev)
            ::setenv("TOVANTTS_DEV", savedDev->c_str(), 1);
        else
            ::unsetenv("TOVANTTS_DEV");
    }

    // Sends the command and returns what it printed: a second, unknown
    // command marks where its output ends.
    QStringList run(const QString& command) {
        const qsizetype from = out.size();
        sender->sendDev(command);
        sender->sendDev(QStringLiteral("end-of-command"));
        const QString end = QStringLiteral("unknown dev command end-of-command");
        if (!test::spinUntil([&] { return out.size() > from && out.last() == end; }))
            return {QStringLiteral("(no answer)")};
        return out.mid(from, out.size() - from - 1);
    }
};

TEST_F(DevCommands, ReachTheAssistant) {
    assistant->handle([] {
        Assistant::Event e;
        e.kind = Assistant::Event::Kind::message;
        e.app = u"WhatsApp";
        e.who = u"Ann";
        e.speech = Speech::of(u"Ann says hi.");
        return e;
    }());
    std::set<std::u16string> chosen = prefs.apps();
    chosen.insert(u"org.gnome.Evolution");
    auto stored = [&] {
        const auto list = store->getStrings("a.apps").value_or(std::vector<std::u16string>{});
        return std::set<std::u16string>(list.begin(), list.end());
    };
    struct Case {
        const char* command;
        QStringList printed;
        std::function<bool()> holds;
    };
    const Case cases[] = {
        {"notes", {"notes: access=true lastID=-1 timer=false apps=0 polls=0 queries=0 error=-"}, {}},
        {"said", {"saying: Ann says hi."}, {}},
        {"recent", {"recent: WhatsApp | Ann | spoken"}, {}},
        {"allowapp:org.gnome.Evolution", {},
         [&] { return prefs.apps() == chosen && stored() == chosen; }},
        {"allowapp:", {}, [&] { return prefs.apps() == chosen; }},
        {"looking:1", {}, [&] { return prefs.whileLooking(); }},
        {"looking:yes", {}, [&] { return !prefs.whileLooking(); }},
        {"mute", {},
         [&] { return rig.announcer->player().volume() == 0.0f && readerVolumes == QList<float>{0.0f}; }},
        {"unmute", {},
         [&] { return rig.announcer->player().volume() == 1.0f && readerVolumes == QList<float>{0.0f, 1.0f}; }},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(QString::fromUtf8(c.command)), c.printed) << c.command;
        if (c.holds) {
            EXPECT_TRUE(c.holds()) << c.command;
        }
    }

    rig.playOut();
    EXPECT_EQ(run(QStringLiteral("said")), QStringList{"saying: -"});
    EXPECT_EQ(run(QStringLiteral("sample")), QStringList{});
    EXPECT_NE(rig.speaking(), "(idle)");
}

}  // namespace
}  // namespace tovan
