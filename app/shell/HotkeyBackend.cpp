#include "HotkeyBackend.h"

namespace tovan {

HotkeyBackend::HotkeyBackend(GlobalKeys& keys) : keys_(keys) {
    keys_.setPressed([](uint32_t id) { Hotkey::pressed(id); });
}

std::optional<std::uint64_t> HotkeyBackend::registerKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                        std::uint32_t id) {
    const auto key = GlobalKeys::fromCarbon(keyCode, modifiers);
    if (!key || !keys_.grab(id, key->first, key->second)) return std::nullopt;
    return id;
}

void HotkeyBackend::unregisterKey(std::uint64_t ref) { keys_.release(static_cast<uint32_t>(ref)); }

}  // namespace tovan
