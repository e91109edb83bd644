#pragma once
// What happens on the machine itself that is worth a sentence: a finished
// download, the battery falling through 20, 10 or 5 percent on battery or
// reaching 100 on mains, a drive connected or ejected, and the default output
// switching to headphones or a Bluetooth device. Each watcher takes a
// baseline when it starts, so nothing already there is announced, and reads
// its own switch at the moment of the change. Main thread only; failures only
// silence their occasion.

#include "IntakeLinks.h"
#include "OutputDevices.h"
#include "PowerSource.h"
#include "Volumes.h"

#include <QObject>

#include <filesystem>
#include <optional>
#include <set>
#include <string>

class QFileSystemWatcher;

namespace tovan {

class Clock;

class SystemEvents : public QObject {
    Q_OBJECT
public:
    SystemEvents(IntakeLinks links, Clock& clock, std::filesystem::path downloads, PowerSource& power,
                 Volumes& volumes, OutputDevices& output, QObject* parent = nullptr);

    // The user's Downloads folder, the kernel's power supplies and mounts,
    // and Qt's output devices.
    static SystemEvents& shared();

    void watchDownloads();
    void watchBattery();
    void watchDrives();
    void watchOutput();

    // The spoken kind of a file by its extension ("a PDF"), "" when unknown.
    static std::u16string kindName(const std::u16string& ext);
    // The spoken name of a downloaded file: no extension, "-" and "_" runs
    // as blanks, no copy number such as " (2)".
    static std::u16string spokenName(const std::u16string& file);

    // The steps, for the watchers and for tests.
    void downloadsChanged();
    void settle(const std::filesystem::path& file, int64_t last);
    void batteryChanged();
    void drive(const Volumes::Volume& volume, bool mounted);
    void outputChanged();

private:
    void announce(Assistant::Event::Kind kind, const std::u16string& app, const std::u16string& who,
                  Speech speech, bool urgent, std::optional<std::u16string> away);
    // The folder's entry names; none when it cannot be listed.
    std::optional<std::set<std::string>> listing() const;
    // A file a browser is still writing: empty (a placeholder under its
    // final name) or with a partial file beside it ("name.part").
    bool unfinished(const std::filesystem::path& file, uintmax_t size) const;

    IntakeLinks links_;
    Clock& clock_;
    std::filesystem::path downloads_;
    PowerSource& power_;
    Volumes& volumes_;
    OutputDevices& output_;
    QFileSystemWatcher* watcher_ = nullptr;
    // The last listing; none until one succeeded, which is then the baseline.
    std::optional<std::set<std::string>> known_;
    std::optional<PowerSource::Reading> lastBattery_;
    std::u16string outputName_;
};

}  // namespace tovan
