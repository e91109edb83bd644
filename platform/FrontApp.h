#pragma once
// The application in front: the one whose window has the focus.

#include <memory>
#include <optional>
#include <string>

namespace tovan {

class FrontApp {
public:
    virtual ~FrontApp() = default;
    // Its identifier, asked afresh; absent when there is no front window or
    // it names no application.
    virtual std::optional<std::u16string> id() = 0;

    // The desktop's answer: X11FrontApp.
    static std::shared_ptr<FrontApp> system();
};

}  // namespace tovan
