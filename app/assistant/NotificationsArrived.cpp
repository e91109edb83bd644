// From one notification record to at most one assistant event: which records
// are admitted, what kind of occasion each is, who it is from and which
// words are said.

#include "InstalledApp.h"
#include "Regex.h"
#include "Notifications.h"
#include "Readout.h"

#include <QString>

#include <array>
#include <cmath>

namespace tovan {
namespace {

const char16_t* const CALL_TEXT =
    u"(?i)\\b(incoming (voice |video |audio )?call|is calling|calling you|wants to (facetime|call)|"
    u"facetime (audio|video)|video call|voice call|ringing)\\b";
const char16_t* const CALLER = u"(?i)^(.+?)\\s+(is calling|wants to|calling)";
const char16_t* const CALL_PREFIX = u"(?i)^(incoming )?(facetime )?(voice |video |audio )?call( from)?:?\\s*";
const char16_t* const GROUP_TITLE = u"^(.+?)\\s*[:@]\\s*(.+)$";
const char16_t* const SENDER_BODY = u"^(.{1,40}?):\\s";

std::u16string lower(const std::u16string& s) { return QString::fromStdU16String(s).toLower().toStdU16String(); }

bool containsAny(const std::u16string& s, std::initializer_list<const char16_t*> fragments) {
    for (const char16_t* f : fragments)
        if (s.find(f) != std::u16string::npos)
            return true;
    return false;
}

bool contains(const std::u16string& s, const char16_t* fragment) { return s.find(fragment) != std::u16string::npos; }

}  // namespace

std::u16string Notifications::callerName(const std::u16string& title, const std::u16string& body,
                                         const std::u16string& /*app*/) {
    for (const auto* t : {&title, &body})
        if (auto m = rx(CALLER).find(*t, 0))
            if (auto g = m->group(1))
                return *g;
    std::u16string name = rx(CALL_PREFIX).replaceFirst(title, u"");
    return name.empty() ? u"Someone" : name;
}

bool Notifications::messaging(const std::u16string& app) {
    return containsAny(app, {u"whatsapp", u"mobilesms", u"ichat", u"slack", u"telegram", u"signal", u"discord",
                             u"teams", u"messenger", u"wechat", u"line", u"skype", u"viber"});
}

std::pair<std::u16string, std::optional<std::u16string>> Notifications::split(const std::u16string& title,
                                                                              const std::u16string& subtitle,
                                                                              const std::u16string& body,
                                                                              const std::u16string& app) {
    // A conversation without a name is no conversation: "Bob in , on …" would be said otherwise.
    auto group = [](const std::u16string& g) -> std::optional<std::u16string> {
        if (g.empty())
            return std::nullopt;
        return g;
    };
    if (!subtitle.empty())
        return {subtitle, group(title)};
    if (contains(app, u"whatsapp"))
        if (auto m = rx(GROUP_TITLE).find(title, 0); m && m->group(1) && m->group(2))
            return {*m->group(2), group(*m->group(1))};
    if (title.starts_with(u"#") || contains(app, u"slack"))
        if (auto m = rx(SENDER_BODY).find(body, 0); m && m->group(1))
            return {*m->group(1), group(title)};
    return {title.empty() ? u"Someone" : title, std::nullopt};
}

void Notifications::arrived(const Record& record, bool live) {
    if (record.app == InstalledApp::ownID())
        return;
    if (!links_.appOn || !links_.appOn(record.app))
        return;
    if (!admit(record, live))
        return;

    const std::u16string appName = name(record.app);
    const std::u16string app = lower(record.app);
    const std::u16string title = trimmed(record.title);
    std::u16string body = trimmed(record.body);
    const bool readText = links_.readText ? links_.readText() : true;
    const std::u16string text = title + u" " + record.subtitle + u" " + body + u" " + record.category;

    Assistant::Event e;
    e.app = appName;
    e.bundleID = record.app;
    const bool call = containsAny(app, {u"facetime", u"telephonyutilities"}) || rx(CALL_TEXT).find(text, 0) ||
                      contains(lower(record.category), u"call");
    if (call) {
        e.kind = Assistant::Event::Kind::call;
        e.who = callerName(title, body, app);
        const double now = links_.now ? links_.now() : 0;
        const int rings = Readout::ringCount(e.who, static_cast<int64_t>(std::trunc(now * 1000.0)));
        const std::optional<std::u16string> label =
            appName == u"FaceTime" ? std::nullopt : std::optional<std::u16string>(appName);
        e.speech = Readout::call(e.who, label, rings);
        e.urgent = true;
        e.away = e.who + u" called on " + appName + u".";
    } else if (contains(app, u"claudefordesktop")) {
        e.kind = Assistant::Event::Kind::claude;
        e.app = u"Claude";
        e.speech.add(title.empty() ? std::u16string(u"Claude needs you.") : Readout::sentence(title), links_.attentive,
                     std::nullopt, 120);
        if (readText)
            e.speech.add(Readout::sentence(body));
        e.away = u"Claude asked for you.";
    } else if (containsAny(app, {u"mail", u"outlook", u"spark", u"superhuman"})) {
        e.kind = Assistant::Event::Kind::message;
        e.speech = readText ? Readout::email(title, record.subtitle, body)
                            : Readout::email(title, std::nullopt, std::nullopt);
        e.who = Readout::senderName(title);
        e.away = u"an email from " + Readout::senderName(title) + u".";
    } else if (containsAny(app, {u"reminders", u"ical", u"calendar"})) {
        e.kind = Assistant::Event::Kind::system;
        e.speech = Readout::reminder(title, body, appName);
        e.away = u"a reminder: " + title + u".";
    } else if (messaging(app)) {
        e.kind = Assistant::Event::Kind::message;
        auto [who, group] = split(title, record.subtitle, body, app);
        if (group && body.starts_with(who + u": "))
            body = body.substr(who.size() + 2);
        if (readText) {
            e.speech = Readout::message(who, group, appName, {body}, links_.personVoices ? links_.personVoices() : true,
                                        links_.ownVoice ? links_.ownVoice() : std::nullopt);
        } else {
            e.speech = Speech::of(group ? who + u" in " + *group + u", on " + appName + u"."
                                        : who + u" on " + appName + u".");
        }
        e.who = who;
    } else {
        e.kind = Assistant::Event::Kind::system;
        e.speech = readText ? Readout::notice(title, body, appName) : Speech::of(appName + u": " + title);
        e.who = title;
        e.away = appName + u": " + title + u".";
    }
    if (links_.handle)
        links_.handle(e);
}

}  // namespace tovan
