#pragma once
// A do-not-disturb switch set by hand.

#include "DoNotDisturb.h"

namespace tovan {

class FakeDoNotDisturb final : public DoNotDisturb {
public:
    bool value = false;
    bool on() override { return value; }
};

}  // namespace tovan
