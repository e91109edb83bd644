#pragma once
// Recording programs set by hand.

#include "AudioInputUsers.h"

namespace tovan {

class FakeAudioInputUsers final : public AudioInputUsers {
public:
    std::vector<std::u16string> value;
    std::vector<std::u16string> apps() override { return value; }
};

}  // namespace tovan
