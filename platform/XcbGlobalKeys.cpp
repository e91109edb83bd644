#include "XcbGlobalKeys.h"

#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace tovan {
namespace {

constexpr uint32_t kNumLockSym = 0xff7f;
constexpr uint16_t kUsedModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

// The modifier bit Num Lock is mapped to on this server (Mod2 on most).
uint16_t numLockMask(xcb_connection_t* c, xcb_key_symbols_t* syms) {
    uint16_t mask = 0;
    xcb_keycode_t* nl = xcb_key_symbols_get_keycode(syms, kNumLockSym);
    xcb_get_modifier_mapping_reply_t* map = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    if (nl && map) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map);
        const int per = map->keycodes_per_modifier;
        for (int m = 0; m < 8 && !mask; m++)
            for (int k = 0; k < per && !mask; k++)
                for (xcb_keycode_t* n = nl; *n != XCB_NO_SYMBOL; n++)
                    if (codes[m * per + k] == *n) mask = uint16_t(1u << m);
    }
    free(map);
    free(nl);
    return mask;
}

}  // namespace

XcbGlobalKeys::XcbGlobalKeys(const std::string& display) {
    int screenIndex = 0;
    xcb_connection_t* c = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenIndex);
    if (!c || xcb_connection_has_error(c)) {
        if (c) xcb_disconnect(c);
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenIndex && it.rem; i++) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return;
    }
    conn_ = c;
    root_ = it.data->root;
    symbols_ = xcb_key_symbols_alloc(conn_);
    numLock_ = numLockMask(conn_, symbols_);
    notifier_ = new QSocketNotifier(xcb_get_file_descriptor(conn_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });
}

XcbGlobalKeys::~XcbGlobalKeys() {
    if (!conn_) return;
    for (const auto& [id, held] : held_) ungrab(held);
    xcb_flush(conn_);
    delete notifier_;
    xcb_key_symbols_free(symbols_);
    xcb_disconnect(conn_);
}

std::vector<uint16_t> XcbGlobalKeys::lockVariants() const {
    std::vector<uint16_t> v = {0, XCB_MOD_MASK_LOCK};
    if (numLock_) {
        v.push_back(numLock_);
        v.push_back(uint16_t(numLock_ | XCB_MOD_MASK_LOCK));
    }
    return v;
}

bool XcbGlobalKeys::grab(uint32_t id, uint32_t keysym, uint32_t modifiers) {
    release(id);
    if (!conn_ || xcb_connection_has_error(conn_)) return false;
    Held held{{}, modifiers & kUsedModifiers};
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_, keysym);
    for (xcb_keycode_t* k = codes; k && *k != XCB_NO_SYMBOL; k++) held.keycodes.push_back(*k);
    free(codes);
    if (held.keycodes.empty()) return false;

    std::vector<xcb_void_cookie_t> cookies;
    for (uint8_t code : held.keycodes)
        for (uint16_t lock : lockVariants())
            cookies.push_back(xcb_grab_key_checked(conn_, 1, root_, uint16_t(held.modifiers | lock), code,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool ok = true;
    for (auto cookie : cookies)
        if (xcb_generic_error_t* e = xcb_request_check(conn_, cookie)) {
            ok = false;  // BadAccess: another client holds this combination
            free(e);
        }
    if (!ok) {
        // Give back the variants that did succeed; the X server ignores
        // ungrabs of combinations we never held.
        ungrab(held);
        xcb_flush(conn_);
        return false;
    }
    held_[id] = std::move(held);
    // Checking the requests may have queued events the socket will not signal again.
    QTimer::singleShot(0, this, [this] { readEvents(); });
    return true;
}

void XcbGlobalKeys::ungrab(const Held& held) {
    for (uint8_t code : held.keycodes)
        for (uint16_t lock : lockVariants())
            xcb_ungrab_key(conn_, code, root_, uint16_t(held.modifiers | lock));
}

void XcbGlobalKeys::release(uint32_t id) {
    auto it = held_.find(id);
    if (it == held_.end()) return;
    if (conn_) {
        ungrab(it->second);
        xcb_flush(conn_);
    }
    held_.erase(it);
}

void XcbGlobalKeys::readEvents() {
    if (!conn_) return;
    while (xcb_generic_event_t* ev = xcb_poll_for_event(conn_)) {
        if ((ev->response_type & 0x7f) == XCB_KEY_PRESS) {
            auto* key = reinterpret_cast<xcb_key_press_event_t*>(ev);
            const uint32_t mods = key->state & kUsedModifiers;
            for (const auto& [id, held] : held_) {
                bool hit = held.modifiers == mods;
                if (hit) {
                    hit = false;
                    for (uint8_t code : held.keycodes) hit = hit || code == key->detail;
                }
                if (hit) {
                    // Run the action after this read has finished, as a posted event.
                    const uint32_t which = id;
                    QTimer::singleShot(0, this, [this, which] {
                        if (pressed_ && held_.count(which)) pressed_(which);
                    });
                    break;
                }
            }
        }
        free(ev);
    }
}

}  // namespace tovan
