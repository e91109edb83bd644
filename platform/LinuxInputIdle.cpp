#include "LinuxInputIdle.h"

#include <QDBusMessage>

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace tovan {

namespace {

// The bus is asked on the main thread: never wait long, never start a service.
constexpr int kCallTimeoutMs = 500;

double callMs(QDBusConnection& bus, const char* service, const char* path, const char* iface,
              const char* method) {
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, iface, method);
    m.setAutoStartService(false);
    QDBusMessage r = bus.call(m, QDBus::Block, kCallTimeoutMs);
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) return -1;
    bool ok = false;
    const qulonglong ms = r.arguments().first().toULongLong(&ok);
    return ok ? double(ms) / 1000.0 : -1;
}

}  // namespace

std::shared_ptr<InputIdle> InputIdle::system() { return std::make_shared<LinuxInputIdle>(); }

LinuxInputIdle::LinuxInputIdle(QDBusConnection bus) : bus_(std::move(bus)) {}

LinuxInputIdle::~LinuxInputIdle() {
    if (x_) xcb_disconnect(x_);
}

double LinuxInputIdle::fromX11() {
    if (!xTried_) {
        xTried_ = true;
        const char* display = std::getenv("DISPLAY");
        if (display && *display) {
            x_ = xcb_connect(display, &screen_);
            if (xcb_connection_has_error(x_)) {
                xcb_disconnect(x_);
                x_ = nullptr;
            }
        }
    }
    if (!x_) return -1;
    const xcb_setup_t* setup = xcb_get_setup(x_);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screen_ && it.rem; i++) xcb_screen_next(&it);
    if (!it.rem) return -1;
    xcb_screensaver_query_info_cookie_t c = xcb_screensaver_query_info(x_, it.data->root);
    xcb_screensaver_query_info_reply_t* r = xcb_screensaver_query_info_reply(x_, c, nullptr);
    if (!r) return -1;
    const double s = double(r->ms_since_user_input) / 1000.0;
    std::free(r);
    return s;
}

double LinuxInputIdle::fromBus() {
    if (!bus_.isConnected()) return -1;
    double s = callMs(bus_, "org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                      "org.gnome.Mutter.IdleMonitor", "GetIdletime");
    if (s >= 0) return s;
    return callMs(bus_, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
                  "GetSessionIdleTime");
}

double LinuxInputIdle::seconds() {
    // Under Wayland the X server only sees input sent to X clients, so the
    // compositor's own monitor comes first there.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool busFirst = wayland && *wayland;
    double s = busFirst ? fromBus() : fromX11();
    if (s < 0) s = busFirst ? fromX11() : fromBus();
    return s < 0 ? 0 : s;
}

}  // namespace tovan
