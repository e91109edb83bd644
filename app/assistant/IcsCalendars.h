#pragma once
// Calendars kept as iCalendar files, read with libical: every ".ics" file in
// the assistant's own calendars folder (the files the user picked, linked
// there) and the local calendars of Evolution and GNOME Calendar
// (~/.local/share/evolution/calendar/*/calendar.ics). There is no
// permission to ask for: access is granted when at least one calendar file
// can be read. The current user among the attendees is the one whose address
// is listed in $EMAIL (several may be separated by commas).

#include "Calendars.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tovan {

class IcsCalendars final : public Calendars {
public:
    // files: explicit calendar files or folders of them; empty gives standardSources().
    explicit IcsCalendars(std::vector<std::filesystem::path> sources = {});
    static std::vector<std::filesystem::path> standardSources();
    // The folder that linked calendars live in.
    static std::filesystem::path ownFolder();
    // Links a calendar file into ownFolder(); false with a message when it
    // cannot be read as a calendar or the link cannot be made.
    static bool add(const std::filesystem::path& file, std::string* error = nullptr);

    bool authorized() override;
    void requestAccess(std::function<void(bool)> done) override;
    std::vector<Event> events(double from, double to) override;

    // The events of one calendar text overlapping [from, to].
    static std::vector<Event> parse(const std::string& ics, double from, double to,
                                    const std::vector<std::u16string>& ownAddresses);

private:
    std::vector<std::filesystem::path> files() const;
    std::vector<std::filesystem::path> sources_;
};

}  // namespace tovan
