#pragma once
// The user's calendars, as far as meeting announcements need them: whether
// they may be read, asking for that, and the events that overlap a span of
// time, recurring ones expanded into their occurrences.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tovan {

class Calendars {
public:
    struct Attendee {
        bool currentUser = false;
        bool declined = false;
        std::optional<std::u16string> name;
    };
    struct Event {
        std::optional<std::u16string> identifier;
        std::optional<std::u16string> title;
        double start = 0;  // seconds since 1970
        bool allDay = false;
        bool canceled = false;
        std::vector<Attendee> attendees;
        std::optional<std::u16string> location, url, notes;
    };
    virtual ~Calendars() = default;
    virtual bool authorized() = 0;
    // Calls done on the main thread with whether access is granted.
    virtual void requestAccess(std::function<void(bool)> done) = 0;
    virtual std::vector<Event> events(double from, double to) = 0;
};

}  // namespace tovan
