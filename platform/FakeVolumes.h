#pragma once
// Mounts and ejections that a test plays by hand.

#include "Volumes.h"

namespace tovan {

class FakeVolumes final : public Volumes {
public:
    bool watch(std::function<void(const Volume&)> mounted, std::function<void(const Volume&)> unmounted) override {
        mounted_ = std::move(mounted);
        unmounted_ = std::move(unmounted);
        return true;
    }
    void mount(const Volume& v) { if (mounted_) mounted_(v); }
    void unmount(const Volume& v) { if (unmounted_) unmounted_(v); }

private:
    std::function<void(const Volume&)> mounted_, unmounted_;
};

}  // namespace tovan
