#include "Assistant.h"

#include "Announcer.h"
#include "Expression.h"
#include "Machine.h"
#include "TovanEvents.h"
#include "Voices.h"

#include <QUuid>

#include <chrono>
#include <map>

namespace tovan {

namespace {

constexpr double kAwayIdleSeconds = 300.0;

const std::pair<Assistant::Event::Kind, const char16_t*> kKinds[] = {
    {Assistant::Event::Kind::message, u"message"},   {Assistant::Event::Kind::call, u"call"},
    {Assistant::Event::Kind::claude, u"claude"},     {Assistant::Event::Kind::command, u"command"},
    {Assistant::Event::Kind::download, u"download"}, {Assistant::Event::Kind::meeting, u"meeting"},
    {Assistant::Event::Kind::battery, u"battery"},   {Assistant::Event::Kind::device, u"device"},
    {Assistant::Event::Kind::system, u"system"},     {Assistant::Event::Kind::say, u"say"},
};

std::u16string decimal(int64_t n) { return QString::number(n).toStdU16String(); }

}  // namespace

std::u16string Assistant::Event::kindName(Kind kind) {
    for (const auto& [k, name] : kKinds)
        if (k == kind) return name;
    return u"system";
}

std::optional<Assistant::Event::Kind> Assistant::Event::kindNamed(const std::u16string& name) {
    for (const auto& [k, n] : kKinds)
        if (name == n) return k;
    return std::nullopt;
}

Assistant::Assistant(Host host, QObject* parent) : QObject(parent), host_(std::move(host)) {
    if (!host_.nowMs)
        host_.nowMs = [] {
            return int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count());
        };
    schedule();
}

Assistant::~Assistant() {
    host_.clock->cancel(awayTimer_);
    host_.clock->cancel(backTimer_);
}

int64_t Assistant::now() const { return host_.nowMs(); }

void Assistant::schedule() {
    awayTimer_ = host_.clock->callAt(host_.clock->now() + kAwayTick, [this] {
        awayTick();
        schedule();
    });
}

void Assistant::screenLocked() {
    Machine::locked = true;
    wasAway_ = true;
}

void Assistant::screenUnlocked() {
    Machine::locked = false;
    back(2.0);
}

void Assistant::eventText(const QString& json) { TovanEvents::handle(json.toStdString(), *this); }

void Assistant::awayTick() {
    if (Machine::locked) {
        wasAway_ = true;
        return;
    }
    if (Machine::idleSeconds() > kAwayIdleSeconds)
        wasAway_ = true;
    else if (wasAway_)
        back(0.5);
}

void Assistant::back(double delay) {
    if (!wasAway_) return;
    wasAway_ = false;
    if (waiting_.empty() || !host_.prefs->welcomeBack()) return;
    host_.clock->cancel(backTimer_);
    backTimer_ = host_.clock->callAt(host_.clock->now() + delay, [this] {
        backTimer_ = 0;
        catchUp(true);
    });
}

void Assistant::handle(const Event& event) {
    const std::optional<std::u16string> reason = host_.prefs->whyNotNow(event.urgent);
    if (!reason) {
        host_.announcer->say(event.speech, event.bundleID ? *event.bundleID : Event::kindName(event.kind),
                             event.kind == Event::Kind::call);
        log(event, u"spoken", true);
        return;
    }
    const bool later = *reason == u"you're away" || *reason == u"quiet hours";
    if (later && (event.away || event.kind == Event::Kind::message) && host_.prefs->welcomeBack()) {
        waiting_.push_back(event);
        log(event, u"kept for when you're back", false);
        return;
    }
    log(event, u"not read: " + *reason, false);
}

void Assistant::log(const Event& event, const std::u16string& outcome, bool spoken) {
    Heard row;
    row.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    row.timeMs = now();
    row.app = event.app;
    row.who = event.who;
    row.outcome = outcome;
    row.spoken = spoken;
    recent_.insert(recent_.begin(), std::move(row));
    if (recent_.size() > kRecent) recent_.resize(kRecent);
    emit changed();
}

void Assistant::catchUp(bool greeting) {
    if (waiting_.empty()) {
        if (!greeting) host_.announcer->say(Speech::of(std::u16string(u"Nothing new while you were away.")),
                                            std::nullopt, false);
        return;
    }
    if (greeting && host_.prefs->whyNotNow(false)) return;  // kept for the next return

    const std::vector<Event> events = std::move(waiting_);
    waiting_.clear();
    Speech s;
    s.add(std::u16string(greeting ? u"Welcome back. While you were away:" : u"While you were away:"),
          Expression::CALM());
    s.pause(250);

    struct Count {
        std::u16string who, app;
        int n = 0;
    };
    std::vector<std::u16string> order;
    std::map<std::u16string, Count> counts;
    for (const Event& e : events) {
        if (e.kind != Event::Kind::message) continue;
        const std::u16string key = e.who + u"|" + e.app;
        auto [it, fresh] = counts.try_emplace(key, Count{e.who, e.app, 0});
        if (fresh) order.push_back(key);
        it->second.n++;
    }
    for (const std::u16string& key : order) {
        const Count& c = counts[key];
        const std::u16string name = c.who.empty() ? u"Someone" : c.who;
        const std::u16string line = c.n == 1 ? name + u" sent a message on " + c.app + u"."
                                              : name + u" sent " + decimal(c.n) + u" messages on " + c.app + u".";
        s.add(line, Expression::NEUTRAL());
        s.pause(150);
    }
    for (const Event& e : events) {
        if (e.kind == Event::Kind::message || !e.away) continue;
        s.add(*e.away);
        s.pause(150);
    }
    if (!s.isEmpty()) host_.announcer->say(s, std::u16string(u"catch-up"), false);

    Heard row;
    row.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    row.timeMs = now();
    row.app = u"Lumora";
    row.outcome = u"caught up on " + decimal(int64_t(events.size()));
    row.spoken = true;
    // Not trimmed here: the next logged decision brings the log back to size.
    recent_.insert(recent_.begin(), std::move(row));
    emit changed();
}

void Assistant::sample() {
    const Style style = host_.style ? host_.style() : Style();
    const std::u16string late = u"Running ten minutes late, so sorry!";
    std::optional<std::u16string> voice;
    if (host_.prefs->personVoices()) voice = Voices::forPerson(u"Zenna", style.voice);
    Speech s;
    s.add(std::u16string(u"Zenna on WhatsApp."), Expression::NEUTRAL(), std::nullopt, 150);
    s.add(late, Expression::of(late), voice, 400);
    s.add(std::u16string(u"Claude is done in tovan-tts."), Expression::NEUTRAL(), std::nullopt, 120);
    s.add(std::u16string(u"The app builds and all tests pass."), Expression::HAPPY());
    host_.announcer->say(s, std::u16string(u"sample"), false);
}

}  // namespace tovan
