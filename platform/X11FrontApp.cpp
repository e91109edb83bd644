#include "X11FrontApp.h"

#include "Regex.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace tovan {

namespace {

xcb_atom_t atom(xcb_connection_t* x, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 1, uint16_t(std::strlen(name)), name), nullptr);
    if (!r) return XCB_ATOM_NONE;
    const xcb_atom_t a = r->atom;
    std::free(r);
    return a;
}

// The property's bytes; empty when it is missing or not 8-bit data.
std::string bytes(xcb_connection_t* x, xcb_window_t w, xcb_atom_t prop) {
    if (prop == XCB_ATOM_NONE) return {};
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(x, xcb_get_property(x, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
    if (!r) return {};
    std::string out;
    if (r->format == 8) out.assign(static_cast<const char*>(xcb_get_property_value(r)), size_t(xcb_get_property_value_length(r)));
    std::free(r);
    return out;
}

}  // namespace

std::shared_ptr<FrontApp> FrontApp::system() { return std::make_shared<X11FrontApp>(); }

X11FrontApp::X11FrontApp(const char* display) {
    if (!display) display = std::getenv("DISPLAY");
    if (!display || !*display) return;
    int screen = 0;
    x_ = xcb_connect(display, &screen);
    if (xcb_connection_has_error(x_)) {
        xcb_disconnect(x_);
        x_ = nullptr;
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(x_));
    for (int i = 0; i < screen && it.rem; i++) xcb_screen_next(&it);
    if (it.rem) root_ = it.data->root;
}

X11FrontApp::~X11FrontApp() {
    if (x_) xcb_disconnect(x_);
}

std::optional<std::u16string> X11FrontApp::id() {
    if (!x_ || !root_) return std::nullopt;
    const xcb_atom_t active = atom(x_, "_NET_ACTIVE_WINDOW");
    if (active == XCB_ATOM_NONE) return std::nullopt;
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(x_, xcb_get_property(x_, 0, root_, active, XCB_ATOM_WINDOW, 0, 1), nullptr);
    if (!r) return std::nullopt;
    xcb_window_t w = XCB_WINDOW_NONE;
    if (r->format == 32 && xcb_get_property_value_length(r) >= 4)
        std::memcpy(&w, xcb_get_property_value(r), sizeof w);
    std::free(r);
    if (w == XCB_WINDOW_NONE) return std::nullopt;

    std::string gtk = bytes(x_, w, atom(x_, "_GTK_APPLICATION_ID"));
    while (!gtk.empty() && gtk.back() == '\0') gtk.pop_back();
    if (!gtk.empty()) return u16(gtk);
    // WM_CLASS: instance name, NUL, class name, NUL.
    const std::string cls = bytes(x_, w, XCB_ATOM_WM_CLASS);
    const size_t nul = cls.find('\0');
    if (nul == std::string::npos) return std::nullopt;
    std::string name = cls.substr(nul + 1);
    while (!name.empty() && name.back() == '\0') name.pop_back();
    if (name.empty()) return std::nullopt;
    return u16(name);
}

}  // namespace tovan
