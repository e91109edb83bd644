#pragma once
// System-wide key combinations: a grabbed combination reaches this program
// whichever window has the keyboard focus. Ids are the caller's; a press is
// reported with its id on the main thread, after the event was read.
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace tovan {

class GlobalKeys {
public:
    // Modifier bits as X11 numbers them.
    enum Modifier : uint32_t { Shift = 1u, Control = 4u, Alt = 8u, Super = 64u };
    using Pressed = std::function<void(uint32_t id)>;

    virtual ~GlobalKeys() = default;

    // True when the combination (an X keysym and Modifier bits) is now grabbed
    // under `id`; false when another program holds it or there is no display.
    // Grabbing an id again replaces its earlier combination.
    virtual bool grab(uint32_t id, uint32_t keysym, uint32_t modifiers) = 0;
    // Gives the combination of `id` back; an unknown id is ignored.
    virtual void release(uint32_t id) = 0;
    virtual void setPressed(Pressed pressed) = 0;

    // The keysym and Modifier bits for a combination written in the
    // classic Mac form (virtual key code, Carbon modifier mask), so key tables
    // written that way map to X keys: control 0x1000, option 0x0800 (Alt),
    // command 0x0100 (Super), shift 0x0200. Nothing for a key code this
    // program has no use for.
    static std::optional<std::pair<uint32_t, uint32_t>> fromCarbon(uint32_t keyCode, uint32_t carbonModifiers);
};

// Records grabs and lets a test press them; `refuse` makes grabs of a keysym fail.
class FakeGlobalKeys final : public GlobalKeys {
public:
    struct Grab {
        uint32_t keysym;
        uint32_t modifiers;
    };
    bool grab(uint32_t id, uint32_t keysym, uint32_t modifiers) override;
    void release(uint32_t id) override;
    void setPressed(Pressed pressed) override { pressed_ = std::move(pressed); }

    // Presses a combination as a user would: only a grabbed one is reported.
    void press(uint32_t keysym, uint32_t modifiers);
    std::optional<Grab> grabbed(uint32_t id) const;
    size_t grabCount() const { return grabs_.size(); }
    std::function<bool(uint32_t keysym)> refuse;

private:
    std::vector<std::pair<uint32_t, Grab>> grabs_;
    Pressed pressed_;
};

}  // namespace tovan
