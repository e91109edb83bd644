#include "KeySender.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace tovan {
namespace {

constexpr uint32_t kControlL = 0xffe3;
constexpr uint32_t kLetterC = 'c';

struct Conn {
    xcb_connection_t* c = nullptr;
    ~Conn() {
        if (c) xcb_disconnect(c);
    }
};

xcb_keycode_t firstCode(xcb_key_symbols_t* syms, uint32_t keysym) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(syms, keysym);
    const xcb_keycode_t code = codes ? codes[0] : 0;
    free(codes);
    return code == XCB_NO_SYMBOL ? 0 : code;
}

void fake(xcb_connection_t* c, uint8_t type, xcb_keycode_t code) {
    xcb_test_fake_input(c, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

}  // namespace

bool XcbKeySender::sendCopy() {
    Conn conn;
    conn.c = xcb_connect(display_.empty() ? nullptr : display_.c_str(), nullptr);
    xcb_connection_t* c = conn.c;
    if (!c || xcb_connection_has_error(c)) return false;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_test_id);
    if (!ext || !ext->present) return false;

    std::unique_ptr<xcb_key_symbols_t, void (*)(xcb_key_symbols_t*)> syms(xcb_key_symbols_alloc(c),
                                                                          xcb_key_symbols_free);
    const xcb_keycode_t ctrl = firstCode(syms.get(), kControlL);
    const xcb_keycode_t letter = firstCode(syms.get(), kLetterC);
    if (!ctrl || !letter) return false;

    // Which keys are down now, and which of them are modifiers other than Control.
    std::unique_ptr<xcb_query_keymap_reply_t, void (*)(void*)> keymap(
        xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr), free);
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, void (*)(void*)> mods(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr), free);
    auto down = [&](xcb_keycode_t k) { return keymap && (keymap->keys[k / 8] >> (k % 8)) & 1; };
    std::vector<xcb_keycode_t> controlCodes, others;
    if (mods) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods.get());
        const int per = mods->keycodes_per_modifier;
        for (int m = 0; m < 8; m++)
            for (int k = 0; k < per; k++) {
                const xcb_keycode_t code = codes[m * per + k];
                if (!code) continue;
                if (m == 2) controlCodes.push_back(code);
                else if (m != 1 && m != 4 && down(code)) others.push_back(code);  // not Lock, not Num Lock
            }
    }
    bool controlDown = false;
    for (xcb_keycode_t k : controlCodes) controlDown = controlDown || down(k);

    for (xcb_keycode_t k : others) fake(c, XCB_KEY_RELEASE, k);
    if (!controlDown) fake(c, XCB_KEY_PRESS, ctrl);
    fake(c, XCB_KEY_PRESS, letter);
    fake(c, XCB_KEY_RELEASE, letter);
    if (!controlDown) fake(c, XCB_KEY_RELEASE, ctrl);
    // A round trip makes sure the server has taken every event before we disconnect.
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return !xcb_connection_has_error(c);
}

}  // namespace tovan
