#pragma once
// The front application on X11: the window manager's _NET_ACTIVE_WINDOW,
// named by its _GTK_APPLICATION_ID (e.g. "org.gnome.Terminal") when it has
// one, else by the class part of its WM_CLASS (e.g. "kitty", "Code").
// Without a display, or with a window manager that keeps no active window,
// there is no front application.

#include "FrontApp.h"

struct xcb_connection_t;

namespace tovan {

class X11FrontApp final : public FrontApp {
public:
    // Null display: $DISPLAY.
    explicit X11FrontApp(const char* display = nullptr);
    ~X11FrontApp() override;
    X11FrontApp(const X11FrontApp&) = delete;
    X11FrontApp& operator=(const X11FrontApp&) = delete;

    std::optional<std::u16string> id() override;

private:
    xcb_connection_t* x_ = nullptr;
    unsigned root_ = 0;
};

}  // namespace tovan
