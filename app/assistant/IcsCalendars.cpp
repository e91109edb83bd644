#include "IcsCalendars.h"

#include "AtomicFile.h"
#include "Regex.h"
#include "Paths.h"

#include <QString>
#include <QTimer>

#include <libical/ical.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <sstream>

namespace tovan {
namespace fs = std::filesystem;

namespace {

std::optional<std::u16string> opt(const char* s) {
    if (!s || !*s)
        return std::nullopt;
    return u16(s);
}

std::u16string lower(const std::u16string& s) { return QString::fromStdU16String(s).toLower().toStdU16String(); }

std::vector<std::u16string> ownAddresses() {
    std::vector<std::u16string> out;
    const char* e = std::getenv("EMAIL");
    if (!e)
        return out;
    std::stringstream in(e);
    for (std::string a; std::getline(in, a, ',');) {
        auto t = trimmed(u16(a));
        if (!t.empty())
            out.push_back(lower(t));
    }
    return out;
}

// Seconds since 1970 of a calendar time: zoned and UTC times as they say,
// floating times (no zone) in the machine's local time.
double seconds(icaltimetype t) {
    if (t.zone || icaltime_is_utc(t))
        return static_cast<double>(icaltime_as_timet_with_zone(t, t.zone ? t.zone : icaltimezone_get_utc_timezone()));
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.is_date ? 0 : t.hour;
    tm.tm_min = t.is_date ? 0 : t.minute;
    tm.tm_sec = t.is_date ? 0 : t.second;
    tm.tm_isdst = -1;
    return static_cast<double>(std::mktime(&tm));
}

struct Collect {
    std::vector<Calendars::Event>* out;
    Calendars::Event base;
    icaltimetype dtstart;
};

void occurrence(icalcomponent* /*comp*/, struct icaltime_span* span, void* data) {
    auto* c = static_cast<Collect*>(data);
    Calendars::Event e = c->base;
    e.start = static_cast<double>(span->start);
    c->out->push_back(std::move(e));
}

}  // namespace

IcsCalendars::IcsCalendars(std::vector<fs::path> sources)
    : sources_(sources.empty() ? standardSources() : std::move(sources)) {}

fs::path IcsCalendars::ownFolder() { return fs::path(Paths::support()) / "calendars"; }

std::vector<fs::path> IcsCalendars::standardSources() {
    std::vector<fs::path> out{ownFolder()};
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    fs::path base = data && *data == '/' ? fs::path(data) : fs::path(home && *home ? home : "/tmp") / ".local/share";
    std::error_code ec;
    for (fs::directory_iterator it(base / "evolution/calendar", ec), end; !ec && it != end; it.increment(ec))
        out.push_back(it->path() / "calendar.ics");
    return out;
}

std::vector<fs::path> IcsCalendars::files() const {
    std::vector<fs::path> out;
    for (const auto& s : sources_) {
        std::error_code ec;
        if (fs::is_directory(s, ec)) {
            for (fs::directory_iterator it(s, ec), end; !ec && it != end; it.increment(ec))
                if (it->path().extension() == ".ics" && fs::is_regular_file(it->path(), ec))
                    out.push_back(it->path());
        } else if (fs::is_regular_file(s, ec)) {
            out.push_back(s);
        }
    }
    return out;
}

bool IcsCalendars::add(const fs::path& file, std::string* error) {
    std::string bytes;
    if (!AtomicFile::read(file, bytes) || bytes.find("BEGIN:VCALENDAR") == std::string::npos) {
        if (error)
            *error = "This file is not a calendar.";
        return false;
    }
    std::error_code ec;
    fs::create_directories(ownFolder(), ec);
    fs::path link = ownFolder() / file.filename();
    if (link.extension() != ".ics")
        link += ".ics";
    if (fs::equivalent(link, file, ec))
        return true;
    fs::remove(link, ec);
    fs::create_symlink(fs::absolute(file), link, ec);
    if (ec) {
        if (error)
            *error = "The calendar could not be linked: " + ec.message();
        return false;
    }
    return true;
}

bool IcsCalendars::authorized() {
    for (const auto& f : files()) {
        std::string bytes;
        if (AtomicFile::read(f, bytes))
            return true;
    }
    return false;
}

void IcsCalendars::requestAccess(std::function<void(bool)> done) {
    const bool ok = authorized();
    QTimer::singleShot(0, [done = std::move(done), ok] { done(ok); });
}

std::vector<Calendars::Event> IcsCalendars::events(double from, double to) {
    std::vector<Event> out;
    const auto own = ownAddresses();
    for (const auto& f : files()) {
        std::string bytes;
        if (!AtomicFile::read(f, bytes))
            continue;
        auto more = parse(bytes, from, to, own);
        out.insert(out.end(), more.begin(), more.end());
    }
    return out;
}

std::vector<Calendars::Event> IcsCalendars::parse(const std::string& ics, double from, double to,
                                                  const std::vector<std::u16string>& ownAddresses) {
    std::vector<Event> out;
    icalcomponent* root = icalparser_parse_string(ics.c_str());
    if (!root)
        return out;
    std::vector<icalcomponent*> events;
    if (icalcomponent_isa(root) == ICAL_VEVENT_COMPONENT)
        events.push_back(root);
    for (auto* c = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT); c;
         c = icalcomponent_get_next_component(root, ICAL_VEVENT_COMPONENT))
        events.push_back(c);
    const icaltimetype start = icaltime_from_timet_with_zone(static_cast<time_t>(std::floor(from)), 0,
                                                             icaltimezone_get_utc_timezone());
    const icaltimetype end = icaltime_from_timet_with_zone(static_cast<time_t>(std::ceil(to)), 0,
                                                           icaltimezone_get_utc_timezone());
    for (auto* c : events) {
        const icaltimetype dtstart = icalcomponent_get_dtstart(c);
        if (icaltime_is_null_time(dtstart))
            continue;
        Event base;
        base.identifier = opt(icalcomponent_get_uid(c));
        base.title = opt(icalcomponent_get_summary(c));
        base.allDay = dtstart.is_date;
        base.canceled = icalcomponent_get_status(c) == ICAL_STATUS_CANCELLED;
        base.location = opt(icalcomponent_get_location(c));
        base.notes = opt(icalcomponent_get_description(c));
        if (auto* p = icalcomponent_get_first_property(c, ICAL_URL_PROPERTY))
            base.url = opt(icalproperty_get_url(p));
        for (auto* p = icalcomponent_get_first_property(c, ICAL_ATTENDEE_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_ATTENDEE_PROPERTY)) {
            Attendee a;
            if (auto* cn = icalproperty_get_first_parameter(p, ICAL_CN_PARAMETER))
                a.name = opt(icalparameter_get_cn(cn));
            if (auto* ps = icalproperty_get_first_parameter(p, ICAL_PARTSTAT_PARAMETER))
                a.declined = icalparameter_get_partstat(ps) == ICAL_PARTSTAT_DECLINED;
            std::u16string address = lower(u16(icalproperty_get_attendee(p) ? icalproperty_get_attendee(p) : ""));
            if (address.starts_with(u"mailto:"))
                address = address.substr(7);
            for (const auto& own : ownAddresses)
                a.currentUser = a.currentUser || (!address.empty() && address == own);
            base.attendees.push_back(std::move(a));
        }
        if (!icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY) && !dtstart.zone && !icaltime_is_utc(dtstart)) {
            // A single floating time: local time, which libical's spans do not know.
            const double s = seconds(dtstart);
            double e = s;
            const icaltimetype dtend = icalcomponent_get_dtend(c);
            if (!icaltime_is_null_time(dtend))
                e = seconds(dtend);
            if (e >= from && s <= to) {
                base.start = s;
                out.push_back(base);
            }
            continue;
        }
        Collect collect{&out, base, dtstart};
        icalcomponent_foreach_recurrence(c, start, end, occurrence, &collect);
    }
    icalcomponent_free(root);
    return out;
}

}  // namespace tovan
