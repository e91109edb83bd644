#pragma once
// Meetings announced shortly before they start, once each: every 30 s the
// calendars are read six minutes ahead, and a meeting five minutes or less
// away (or that has only just begun) gets one sentence such as "In 5
// minutes: Design review with Zenna, on Zoom." Main thread only.

#include "Calendars.h"
#include "IntakeLinks.h"

#include <QObject>

#include <set>
#include <string>

class QTimer;

namespace tovan {

class Meetings : public QObject {
    Q_OBJECT
public:
    Meetings(IntakeLinks links, Calendars& calendars, QObject* parent = nullptr);
    // Over the iCalendar files of IcsCalendars.
    static Meetings& shared();

    // Checks every 30 s from now on (the first check 30 s later). Idempotent.
    void start();
    void requestAccess(std::function<void(bool)> done) { calendars_.requestAccess(std::move(done)); }
    Calendars& calendars() { return calendars_; }

    // One check at the links' current time.
    void check();
    static std::u16string phrase(const Calendars::Event& event, int minutes);
    // What tells one meeting at one start time from another.
    static std::u16string key(const Calendars::Event& event);

private:
    IntakeLinks links_;
    Calendars& calendars_;
    std::set<std::u16string> said_;
    QTimer* timer_ = nullptr;
};

}  // namespace tovan
