#include "SystemEvents.h"

#include "Clock.h"
#include "Regex.h"
#include "LinuxPowerSource.h"
#include "MountinfoVolumes.h"
#include "QtClock.h"
#include "QtOutputDevices.h"
#include "Readout.h"

#include <QFileSystemWatcher>
#include <QStandardPaths>
#include <QString>

#include <cctype>
#include <map>

namespace tovan {
namespace fs = std::filesystem;

namespace {

std::u16string lower(const std::u16string& s) { return QString::fromStdU16String(s).toLower().toStdU16String(); }

// Where the last extension starts, or npos when the name has none.
size_t extensionAt(const std::u16string& name) {
    const size_t dot = name.rfind(u'.');
    return dot == std::u16string::npos || dot == 0 || dot + 1 == name.size() ? std::u16string::npos : dot;
}

}  // namespace

SystemEvents::SystemEvents(IntakeLinks links, Clock& clock, fs::path downloads, PowerSource& power, Volumes& volumes,
                           OutputDevices& output, QObject* parent)
    : QObject(parent),
      links_(std::move(links)),
      clock_(clock),
      downloads_(std::move(downloads)),
      power_(power),
      volumes_(volumes),
      output_(output) {}

SystemEvents& SystemEvents::shared() {
    static QtClock* clock = new QtClock();
    static LinuxPowerSource* power = new LinuxPowerSource();
    static MountinfoVolumes* volumes = new MountinfoVolumes();
    static QtOutputDevices* output = new QtOutputDevices();
    static SystemEvents* one =
        new SystemEvents(IntakeLinks::standard(), *clock,
                         QStandardPaths::writableLocation(QStandardPaths::DownloadLocation).toStdString(), *power,
                         *volumes, *output);
    return *one;
}

std::u16string SystemEvents::kindName(const std::u16string& ext) {
    static const std::map<std::u16string, std::u16string> kinds = {
        {u"pdf", u"a PDF"},         {u"zip", u"a zip file"},      {u"dmg", u"a disk image"},
        {u"pkg", u"an installer"},  {u"png", u"an image"},        {u"jpg", u"a photo"},
        {u"jpeg", u"a photo"},      {u"heic", u"a photo"},        {u"mp4", u"a video"},
        {u"mov", u"a video"},       {u"mp3", u"audio"},           {u"m4a", u"audio"},
        {u"csv", u"a spreadsheet"}, {u"xlsx", u"a spreadsheet"},  {u"docx", u"a Word document"},
        {u"pptx", u"a presentation"}, {u"epub", u"a book"},       {u"txt", u"text"},
    };
    auto it = kinds.find(lower(ext));
    return it == kinds.end() ? std::u16string() : it->second;
}

std::u16string SystemEvents::spokenName(const std::u16string& file) {
    const size_t dot = extensionAt(file);
    std::u16string name = dot == std::u16string::npos ? file : file.substr(0, dot);
    name = replaceAll(name, u"[-_]+", u" ");
    return replaceAll(name, u"\\s*\\(\\d+\\)", u"");
}

std::optional<std::set<std::string>> SystemEvents::listing() const {
    std::set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(downloads_, ec), end; !ec && it != end; it.increment(ec))
        names.insert(it->path().filename().string());
    if (ec)
        return std::nullopt;
    return names;
}

bool SystemEvents::unfinished(const fs::path& file, uintmax_t size) const {
    if (size == 0)
        return true;
    const std::string name = file.filename().string();
    static const char* const partial[] = {".crdownload", ".download", ".part", ".partial", ".tmp", ".opdownload"};
    std::error_code ec;
    for (fs::directory_iterator it(file.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string other = it->path().filename().string();
        if (other.size() <= name.size() || other.compare(0, name.size(), name) != 0)
            continue;
        std::string rest = other.substr(name.size());
        for (char& c : rest)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        for (const char* p : partial)
            if (rest == p)
                return true;
    }
    return false;
}

void SystemEvents::announce(Assistant::Event::Kind kind, const std::u16string& app, const std::u16string& who,
                            Speech speech, bool urgent, std::optional<std::u16string> away) {
    if (!links_.handle)
        return;
    Assistant::Event e;
    e.kind = kind;
    e.app = app;
    e.who = who;
    e.speech = std::move(speech);
    e.urgent = urgent;
    e.away = std::move(away);
    links_.handle(e);
}

// ---- downloads ----

void SystemEvents::watchDownloads() {
    known_ = listing();
    if (watcher_ || downloads_.empty())
        return;
    watcher_ = new QFileSystemWatcher(this);
    if (!watcher_->addPath(QString::fromStdString(downloads_.string()))) {
        delete watcher_;
        watcher_ = nullptr;  // no announcements of downloads for this run
        return;
    }
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { downloadsChanged(); });
}

void SystemEvents::downloadsChanged() {
    auto now = listing();
    // A folder that cannot be listed for a moment has not lost its files:
    // keep the last listing, or everything would be new once it comes back.
    if (!now)
        return;
    if (!known_) {
        known_ = std::move(now);
        return;
    }
    std::vector<std::string> fresh;
    for (const auto& name : *now) {
        if (known_->count(name) || name.starts_with("."))
            continue;
        if (rx(u"(?i)\\.(crdownload|download|part|partial|tmp|opdownload)$").find(u16(name), 0))
            continue;
        fresh.push_back(name);
    }
    known_ = std::move(now);
    for (const auto& name : fresh)
        settle(downloads_ / name, -1);
}

void SystemEvents::settle(const fs::path& file, int64_t last) {
    clock_.callAt(clock_.now() + 1.5, [this, file, last] {
        if (links_.downloads && !links_.downloads())
            return;
        std::error_code ec;
        if (!fs::is_regular_file(file, ec))
            return;
        const auto size = fs::file_size(file, ec);
        if (ec)
            return;
        // Browsers put an empty placeholder under the final name, or write
        // beside it, long before the download ends: keep looking until the
        // file itself is whole, then wait for two equal readings.
        if (unfinished(file, size)) {
            settle(file, -1);
            return;
        }
        if (static_cast<int64_t>(size) != last) {
            settle(file, static_cast<int64_t>(size));
            return;
        }
        const std::u16string full = u16(file.filename().string());
        const size_t dot = extensionAt(full);
        const std::u16string kind = dot == std::u16string::npos ? std::u16string() : kindName(full.substr(dot + 1));
        const std::u16string name = spokenName(full);
        const std::u16string text = kind.empty() ? u"Downloaded " + name + u"." : u"Downloaded " + name + u", " + kind + u".";
        Speech s;
        s.add(text, Expression::CALM());
        announce(Assistant::Event::Kind::download, u"Downloads", full, std::move(s), false, text);
    });
}

// ---- battery ----

void SystemEvents::watchBattery() {
    if (!power_.watch([this] { batteryChanged(); }))
        return;
    lastBattery_ = power_.battery();
}

void SystemEvents::batteryChanged() {
    if (links_.battery && !links_.battery())
        return;
    const auto now = power_.battery();
    if (!now)
        return;
    if (!lastBattery_) {
        lastBattery_ = now;
        return;
    }
    const int prev = lastBattery_->level, level = now->level;
    if (now->charging) {
        if (prev < 100 && level >= 100) {
            Speech s;
            s.add(u"The battery is fully charged.", Expression::CALM());
            announce(Assistant::Event::Kind::battery, u"Battery", u"", std::move(s), false, std::nullopt);
        }
    } else {
        for (int t : {20, 10, 5}) {
            if (prev > t && level <= t) {
                const std::u16string digits = u16(std::to_string(level));
                announce(Assistant::Event::Kind::battery, u"Battery", u"", Readout::battery(level, false), t != 20,
                         u"The battery got down to " + digits + u" percent.");
                break;
            }
        }
    }
    lastBattery_ = now;
}

// ---- drives ----

void SystemEvents::watchDrives() {
    volumes_.watch([this](const Volumes::Volume& v) { drive(v, true); },
                   [this](const Volumes::Volume& v) { drive(v, false); });
}

void SystemEvents::drive(const Volumes::Volume& volume, bool mounted) {
    if (links_.devices && !links_.devices())
        return;
    if (volume.internal)
        return;
    std::u16string name = volume.name;
    if (name.empty())
        name = u16(fs::path(volume.path).filename().string());
    if (mounted && volume.diskImage)
        return;  // ejecting one is still said
    Speech s;
    s.add(name + (mounted ? u" is connected." : u" was ejected."), Expression::CALM());
    announce(Assistant::Event::Kind::device, u"Drives", u"", std::move(s), false, std::nullopt);
}

// ---- audio output ----

void SystemEvents::watchOutput() {
    const auto d = output_.current();
    outputName_ = d ? d->name : std::u16string();
    output_.watch([this] { outputChanged(); });
}

void SystemEvents::outputChanged() {
    const auto d = output_.current();
    if (!d || d->name == outputName_)
        return;
    outputName_ = d->name;
    if (links_.devices && !links_.devices())
        return;
    if (!d->bluetooth && lower(d->name).find(u"headphone") == std::u16string::npos)
        return;
    Speech s;
    s.add(d->name + u" connected.", Expression::CALM());
    announce(Assistant::Event::Kind::device, u"Sound", u"", std::move(s), false, std::nullopt);
    // Putting on headphones plays back what was kept.
    if (links_.hasWaiting && links_.hasWaiting())
        clock_.callAt(clock_.now() + 2.0, [this] {
            if (links_.catchUp)
                links_.catchUp();
        });
}

}  // namespace tovan
