#pragma once
// A battery the test sets by hand; change() plays the system's notice.

#include "PowerSource.h"

namespace tovan {

class FakePowerSource final : public PowerSource {
public:
    std::optional<Reading> reading;
    bool watchable = true;

    std::optional<Reading> battery() override { return reading; }
    bool watch(std::function<void()> changed) override {
        changed_ = std::move(changed);
        return watchable;
    }
    void change(std::optional<Reading> r) {
        reading = r;
        if (changed_)
            changed_();
    }

private:
    std::function<void()> changed_;
};

}  // namespace tovan
