#pragma once
// An output device the test switches by hand.

#include "OutputDevices.h"

namespace tovan {

class FakeOutputDevices final : public OutputDevices {
public:
    std::optional<Device> device;
    std::optional<Device> current() override { return device; }
    void watch(std::function<void()> changed) override { changed_ = std::move(changed); }
    void change(std::optional<Device> d) {
        device = std::move(d);
        if (changed_)
            changed_();
    }

private:
    std::function<void()> changed_;
};

}  // namespace tovan
