#pragma once
// Volumes from the kernel's table of mounts (/proc/self/mountinfo), which
// signals every change as an exceptional condition on its file. Removable
// drives are those mounted where desktops put them (/media, /run/media,
// /mnt); a loop device is a disk image. Only real block devices count:
// pseudo file systems and bind mounts are never announced.

#include "Volumes.h"

#include <QObject>

#include <map>
#include <string>
#include <vector>

class QSocketNotifier;

namespace tovan {

class MountinfoVolumes final : public QObject, public Volumes {
    Q_OBJECT
public:
    explicit MountinfoVolumes(std::string table = "/proc/self/mountinfo", QObject* parent = nullptr);
    ~MountinfoVolumes() override;
    bool watch(std::function<void(const Volume&)> mounted, std::function<void(const Volume&)> unmounted) override;

    // The drives of one table's text, by mount point.
    static std::map<std::string, Volume> parse(const std::string& text);
    // Reads the table again and reports the differences.
    void rescan();

private:
    std::string table_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::map<std::string, Volume> known_;
    std::function<void(const Volume&)> mounted_, unmounted_;
};

}  // namespace tovan
