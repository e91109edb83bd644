#include "Meetings.h"

#include "IcsCalendars.h"
#include "Regex.h"

#include <QString>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace tovan {

namespace {

std::u16string lower(const std::u16string& s) { return QString::fromStdU16String(s).toLower().toStdU16String(); }

bool contains(const std::u16string& s, const char16_t* part) { return s.find(part) != std::u16string::npos; }

}  // namespace

Meetings::Meetings(IntakeLinks links, Calendars& calendars, QObject* parent)
    : QObject(parent), links_(std::move(links)), calendars_(calendars) {}

Meetings& Meetings::shared() {
    static IcsCalendars* calendars = new IcsCalendars();
    static Meetings* one = new Meetings(IntakeLinks::standard(), *calendars);
    return *one;
}

void Meetings::start() {
    if (timer_)
        return;
    timer_ = new QTimer(this);
    timer_->setInterval(30000);
    connect(timer_, &QTimer::timeout, this, &Meetings::check);
    timer_->start();
}

std::u16string Meetings::key(const Calendars::Event& event) {
    char start[64];
    std::snprintf(start, sizeof start, "%.3f", event.start);
    return event.identifier.value_or(event.title.value_or(u"")) + u16(start);
}

void Meetings::check() {
    if (links_.meetings && !links_.meetings())
        return;
    if (!calendars_.authorized())
        return;
    const double now = links_.now ? links_.now() : 0;
    for (const auto& event : calendars_.events(now, now + 360.0)) {
        if (event.allDay)
            continue;
        const std::u16string k = key(event);
        const int minutes = static_cast<int>(std::round((event.start - now) / 60.0));
        if (said_.count(k) || minutes > 5 || minutes < 0)
            continue;
        bool declined = false;
        for (const auto& a : event.attendees)
            if (a.currentUser) {
                declined = a.declined;
                break;
            }
        if (declined || event.canceled)
            continue;
        said_.insert(k);
        Assistant::Event e;
        e.kind = Assistant::Event::Kind::meeting;
        e.app = u"Calendar";
        e.who = event.title.value_or(u"");
        e.speech.add(phrase(event, minutes), minutes <= 1 ? Expression::URGENT() : links_.attentive);
        e.urgent = minutes < 2;
        if (links_.handle)
            links_.handle(e);
    }
}

std::u16string Meetings::phrase(const Calendars::Event& event, int minutes) {
    std::u16string s = minutes <= 0   ? u"Starting now"
                       : minutes == 1 ? u"In a minute"
                                      : u"In " + u16(std::to_string(minutes)) + u" minutes";
    s += u": " + (event.title && !event.title->empty() ? *event.title : std::u16string(u"an event"));
    std::vector<std::u16string> names;
    for (const auto& a : event.attendees) {
        if (a.currentUser || !a.name || a.name->empty())
            continue;
        auto words = split(*a.name, u" ");
        std::erase_if(words, [](const std::u16string& w) { return w.empty(); });
        if (!words.empty())
            names.push_back(words[0]);
    }
    if (names.size() == 1)
        s += u" with " + names[0];
    else if (names.size() == 2)
        s += u" with " + names[0] + u" and " + names[1];
    const std::u16string where =
        lower(event.location.value_or(u"") + u" " + event.url.value_or(u"") + u" " + event.notes.value_or(u""));
    if (contains(where, u"zoom.us"))
        s += u", on Zoom";
    else if (contains(where, u"meet.google"))
        s += u", on Google Meet";
    else if (contains(where, u"teams.microsoft"))
        s += u", on Teams";
    else if (event.location && !event.location->empty() && !contains(*event.location, u"http"))
        s += u", at " + *event.location;
    return s + u".";
}

}  // namespace tovan
