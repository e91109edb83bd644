#pragma once
// Drives coming and going: a call for each volume mounted or unmounted after
// watching starts, with what the announcements need to know of it.

#include <functional>
#include <string>

namespace tovan {

class Volumes {
public:
    struct Volume {
        std::string path;        // the mount point
        std::u16string name;     // what the user calls it (its label, else the folder's name)
        bool internal = false;   // part of the machine itself, not a removable drive
        bool diskImage = false;  // a disk image file attached as a drive
        bool operator==(const Volume&) const = default;
    };
    virtual ~Volumes() = default;
    // Calls on the main thread; false when changes cannot be watched.
    virtual bool watch(std::function<void(const Volume&)> mounted, std::function<void(const Volume&)> unmounted) = 0;
};

}  // namespace tovan
