#include "GlobalKeys.h"

#include <algorithm>

namespace tovan {

std::optional<std::pair<uint32_t, uint32_t>> GlobalKeys::fromCarbon(uint32_t keyCode, uint32_t carbonModifiers) {
    uint32_t keysym = 0;
    switch (keyCode) {
    case 15: keysym = 'r'; break;
    case 9: keysym = 'v'; break;
    case 8: keysym = 'c'; break;
    case 49: keysym = ' '; break;
    default: return std::nullopt;
    }
    uint32_t mods = 0;
    if (carbonModifiers & 0x1000) mods |= Control;
    if (carbonModifiers & 0x0800) mods |= Alt;
    if (carbonModifiers & 0x0100) mods |= Super;
    if (carbonModifiers & 0x0200) mods |= Shift;
    return std::make_pair(keysym, mods);
}

bool FakeGlobalKeys::grab(uint32_t id, uint32_t keysym, uint32_t modifiers) {
    release(id);
    if (refuse && refuse(keysym)) return false;
    for (const auto& g : grabs_)
        if (g.second.keysym == keysym && g.second.modifiers == modifiers) return false;  // X refuses a second grab
    grabs_.push_back({id, {keysym, modifiers}});
    return true;
}

void FakeGlobalKeys::release(uint32_t id) {
    grabs_.erase(std::remove_if(grabs_.begin(), grabs_.end(), [&](const auto& g) { return g.first == id; }),
                 grabs_.end());
}

void FakeGlobalKeys::press(uint32_t keysym, uint32_t modifiers) {
    for (const auto& g : grabs_)
        if (g.second.keysym == keysym && g.second.modifiers == modifiers && pressed_) {
            pressed_(g.first);
            return;
        }
}

std::optional<FakeGlobalKeys::Grab> FakeGlobalKeys::grabbed(uint32_t id) const {
    for (const auto& g : grabs_)
        if (g.first == id) return g.second;
    return std::nullopt;
}

}  // namespace tovan
