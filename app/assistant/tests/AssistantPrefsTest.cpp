// Settings as stored, and the quiet rules in their order.
#include "AssistantPrefs.h"
#include "FakeMachine.h"

#include <gtest/gtest.h>

#include <QString>

using tovan::AssistantPrefs;
using tovan::MemorySettingsStore;

namespace {

struct Prefs : ::testing::Test {
    FakeMachine machine;
    std::shared_ptr<MemorySettingsStore> store = std::make_shared<MemorySettingsStore>();
    int hour = 12;
    std::unique_ptr<AssistantPrefs> make() {
        return std::make_unique<AssistantPrefs>(store, [this] { return hour; });
    }
};

std::string why(const AssistantPrefs& p, bool urgent) {
    auto r = p.whyNotNow(urgent);
    return r ? std::string(r->begin(), r->end()) : "speak";
}

}  // namespace

TEST_F(Prefs, FreshUserGetsTheDefaults) {
    auto p = make();
    EXPECT_TRUE(p->on() && p->readText() && p->personVoices() && p->claude() && p->commands() && p->meetings() &&
                p->downloads() && p->battery() && p->devices() && p->welcomeBack() && p->quietInCalls() &&
                p->respectFocus());
    EXPECT_FALSE(p->whileLooking());
    EXPECT_FALSE(p->quietHours());
    EXPECT_EQ(p->commandSeconds(), 20.0);
    EXPECT_EQ(p->quietFrom(), 22);
    EXPECT_EQ(p->quietTo(), 7);
    EXPECT_GE(p->apps().size(), 13u) << "at least as many kinds of apps as on a Mac";
    EXPECT_EQ(p->apps(), AssistantPrefs::defaultApps());
    EXPECT_FALSE(store->value("a.apps")) << "the default list is not written until it changes";
}

TEST_F(Prefs, StoredValuesLoadAndWrongTypesReadAsDefaults) {
    store->setValue("a.on", false);
    store->setValue("a.claude", "no");  // wrong type
    store->setValue("a.commandSeconds", 45);
    store->setValue("a.quietFrom", 9.0);  // a whole number with a fraction part
    store->setValue("a.quietTo", "17");   // wrong type
    store->setValue("a.apps", nlohmann::json::array());
    store->setValue("a.whileLooking", 1);  // a number is not a Boolean
    auto p = make();
    EXPECT_FALSE(p->on());
    EXPECT_TRUE(p->claude());
    EXPECT_EQ(p->commandSeconds(), 45.0);
    EXPECT_EQ(p->quietFrom(), 9);
    EXPECT_EQ(p->quietTo(), 7);
    EXPECT_TRUE(p->apps().empty()) << "an empty stored list is not the defaults";
    EXPECT_FALSE(p->whileLooking());
    EXPECT_EQ(*store->value("a.claude"), "no") << "nothing is rewritten";

    store->setValue("a.apps", nlohmann::json::array({"a", 3}));
    EXPECT_EQ(make()->apps(), AssistantPrefs::defaultApps()) << "a list with a non-text is no list of texts";
}

TEST_F(Prefs, WritesPublishThenStore) {
    auto p = make();
    int published = 0;
    bool storedWhenPublished = true;
    QObject::connect(p.get(), &AssistantPrefs::changed, [&] {
        published++;
        storedWhenPublished = store->getBool("a.quietHours").has_value();
    });
    p->setQuietHours(true);
    EXPECT_EQ(published, 1);
    EXPECT_FALSE(storedWhenPublished);
    EXPECT_EQ(store->getBool("a.quietHours"), true);
    p->setCommandSeconds(30.5);
    p->setQuietFrom(23);
    p->setApps({u"x.y"});
    EXPECT_EQ(store->getDouble("a.commandSeconds"), 30.5);
    EXPECT_EQ(store->getInt("a.quietFrom"), 23);
    EXPECT_EQ(store->getStrings("a.apps"), std::vector<std::u16string>{u"x.y"});
    p->setCommandSeconds(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(p->commandSeconds(), 30.5);
    EXPECT_EQ(published, 4);

    auto again = make();
    EXPECT_TRUE(again->quietHours());
    EXPECT_EQ(again->quietFrom(), 23);
    EXPECT_EQ(again->apps(), std::set<std::u16string>{u"x.y"});
}

TEST_F(Prefs, AppOnIgnoresCase) {
    auto p = make();
    EXPECT_TRUE(p->appOn(u"org.telegram.desktop"));
    EXPECT_TRUE(p->appOn(u"ORG.TELEGRAM.DESKTOP"));
    EXPECT_FALSE(p->appOn(u"org.gnome.Nautilus"));
    p->setApps({});
    EXPECT_FALSE(p->appOn(u"org.telegram.desktop"));
    p->setApps(AssistantPrefs::macDefaultApps());
    EXPECT_TRUE(p->appOn(u"COM.APPLE.MOBILESMS"));
}

// A fresh Linux user hears the usual messaging, call, mail and calendar apps
// without picking them first, whichever way they were installed.
TEST_F(Prefs, FreshStoreHearsLinuxAppsAsPackagesAndFlatpaks) {
    auto p = make();
    const char16_t* heard[] = {u"org.telegram.desktop", u"signal-desktop", u"org.signal.Signal", u"slack",
                               u"com.slack.Slack",      u"thunderbird",    u"org.mozilla.Thunderbird",
                               u"org.gnome.Calendar",   u"org.gnome.Calls", u"us.zoom.Zoom"};
    for (const char16_t* id : heard) EXPECT_TRUE(p->appOn(id)) << std::string(QString::fromStdU16String(id).toUtf8());
    for (const auto& id : p->apps()) {
        EXPECT_FALSE(id.starts_with(u"com.apple.")) << "a Mac identifier in the Linux defaults";
        EXPECT_EQ(id.find_first_of(u" /"), std::u16string::npos) << "a desktop id, not a path or a name";
    }
    EXPECT_EQ(AssistantPrefs::macDefaultApps().size(), 13u);
}

TEST_F(Prefs, QuietHoursSpanAndWrap) {
    struct Case {
        int from, to, hour;
        bool quiet;
    };
    const Case cases[] = {
        {22, 7, 22, true}, {22, 7, 23, true}, {22, 7, 0, true},   {22, 7, 6, true},
        {22, 7, 7, false}, {22, 7, 21, false}, {9, 17, 9, true},  {9, 17, 16, true},
        {9, 17, 17, false}, {9, 17, 8, false}, {8, 8, 8, false},  {8, 8, 3, false},
    };
    auto p = make();
    for (const Case& c : cases) {
        p->setQuietFrom(c.from);
        p->setQuietTo(c.to);
        hour = c.hour;
        EXPECT_EQ(p->inQuietHours(), c.quiet) << c.from << "-" << c.to << " at " << c.hour;
    }
}

TEST_F(Prefs, QuietRulesInOrder) {
    struct Case {
        const char* name;
        bool on = true, inCall = false, focus = false, respectFocus = true, quietHours = false, locked = false;
        double idle = 0;
        bool urgent = false;
        const char* expected;
    };
    const Case cases[] = {
        {.name = "present", .expected = "speak"},
        {.name = "off beats all", .on = false, .inCall = true, .urgent = true, .expected = "the assistant is off"},
        {.name = "urgent yields to a call", .inCall = true, .focus = true, .urgent = true,
         .expected = "you're in a call"},
        {.name = "urgent yields to Focus", .focus = true, .urgent = true, .expected = "Do not disturb is on"},
        {.name = "urgent in quiet hours, away", .quietHours = true, .locked = true, .urgent = true,
         .expected = "speak"},
        {.name = "urgent with Focus ignored", .focus = true, .respectFocus = false, .quietHours = true,
         .locked = true, .urgent = true, .expected = "speak"},
        {.name = "Focus ignored, not urgent", .focus = true, .respectFocus = false, .expected = "speak"},
        {.name = "quiet hours before away", .quietHours = true, .locked = true, .expected = "quiet hours"},
        {.name = "locked", .locked = true, .expected = "you're away"},
        {.name = "idle exactly 300 s", .idle = 300.0, .expected = "speak"},
        {.name = "idle 300.5 s", .idle = 300.5, .expected = "you're away"},
    };
    hour = 23;  // inside the default quiet hours
    for (const Case& c : cases) {
        auto p = make();
        p->setOn(c.on);
        p->setRespectFocus(c.respectFocus);
        p->setQuietHours(c.quietHours);
        machine.audio->value = c.inCall ? std::vector<std::u16string>{u"us.zoom.Zoom"} : std::vector<std::u16string>{};
        machine.focus->value = c.focus;
        tovan::Machine::locked = c.locked;
        machine.idle->value = c.idle;
        EXPECT_EQ(why(*p, c.urgent), c.expected) << c.name;
    }
}

TEST_F(Prefs, CallsCountOnlyWhenQuietInCalls) {
    auto p = make();
    machine.audio->value = {u"com.microsoft.teams2", u"audacity"};
    EXPECT_EQ(why(*p, false), "you're in a call");
    p->setQuietInCalls(false);
    EXPECT_EQ(why(*p, false), "speak");
    machine.audio->value = {u"audacity"};
    p->setQuietInCalls(true);
    EXPECT_EQ(why(*p, false), "speak") << "a recorder that is no call app";
}
