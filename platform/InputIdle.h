#pragma once
// How long the user has left keyboard and mouse alone, in seconds.

#include <memory>

namespace tovan {

class InputIdle {
public:
    virtual ~InputIdle() = default;
    // Seconds since the last input event of any kind in this session; 0 when
    // the desktop cannot tell, so an unknown state never counts as away.
    virtual double seconds() = 0;

    // The desktop's answer: LinuxInputIdle.
    static std::shared_ptr<InputIdle> system();
};

}  // namespace tovan
