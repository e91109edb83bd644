#pragma once
// A front application set by hand.

#include "FrontApp.h"

namespace tovan {

class FakeFrontApp final : public FrontApp {
public:
    std::optional<std::u16string> value;
    std::optional<std::u16string> id() override { return value; }
};

}  // namespace tovan
