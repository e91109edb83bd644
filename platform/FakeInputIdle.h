#pragma once
// An idle time set by hand.

#include "InputIdle.h"

namespace tovan {

class FakeInputIdle final : public InputIdle {
public:
    double value = 0;
    double seconds() override { return value; }
};

}  // namespace tovan
