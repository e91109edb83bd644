#pragma once
// The default audio output device and a call when it changes.

#include <functional>
#include <optional>
#include <string>

namespace tovan {

class OutputDevices {
public:
    struct Device {
        std::u16string name;
        bool bluetooth = false;
        bool operator==(const Device&) const = default;
    };
    virtual ~OutputDevices() = default;
    // The default output now; nothing when it cannot be read.
    virtual std::optional<Device> current() = 0;
    // Calls `changed` on the main thread when the default output may have changed.
    virtual void watch(std::function<void()> changed) = 0;
};

}  // namespace tovan
