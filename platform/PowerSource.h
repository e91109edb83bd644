#pragma once
// The machine's own battery: its charge in percent and whether the machine is
// on mains power, and a call when either may have changed.

#include <functional>
#include <optional>

namespace tovan {

class PowerSource {
public:
    struct Reading {
        int level = 0;          // percent, the remainder dropped
        bool charging = false;  // on mains power, whether or not the battery takes charge
        bool operator==(const Reading&) const = default;
    };
    virtual ~PowerSource() = default;
    // The internal battery now; nothing when the machine has none.
    virtual std::optional<Reading> battery() = 0;
    // Calls `changed` on the main thread whenever the power state may have
    // changed. False when changes cannot be watched.
    virtual bool watch(std::function<void()> changed) = 0;
};

}  // namespace tovan
