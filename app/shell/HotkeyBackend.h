#pragma once
// The hot-key table's desktop side over GlobalKeys: combinations written as
// Mac key codes and modifier masks are grabbed as the matching X keys (the
// Control-Option of the table becomes Ctrl+Alt), and every press goes to
// Hotkey::pressed.
#include "GlobalKeys.h"
#include "Hotkey.h"

namespace tovan {

class HotkeyBackend final : public Hotkey::Backend {
public:
    // Presses of `keys` go to the table from now on (not only after the
    // table's one-time install, which may have run for an earlier backend).
    explicit HotkeyBackend(GlobalKeys& keys);
    void install() override {}
    // The reference is the id: GlobalKeys keeps one combination per id.
    std::optional<std::uint64_t> registerKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                             std::uint32_t id) override;
    void unregisterKey(std::uint64_t ref) override;

private:
    GlobalKeys& keys_;
};

}  // namespace tovan
