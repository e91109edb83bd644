#pragma once
// Whether the desktop's do-not-disturb mode is on right now.

#include <memory>

namespace tovan {

class DoNotDisturb {
public:
    virtual ~DoNotDisturb() = default;
    // Asked afresh on every call; false whenever the desktop cannot tell.
    virtual bool on() = 0;

    // The desktop's setting: LinuxDoNotDisturb.
    static std::shared_ptr<DoNotDisturb> system();
};

}  // namespace tovan
