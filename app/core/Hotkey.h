#pragma once
// System-wide keyboard shortcuts: one Hotkey object stands for one registered
// key combination; a process-wide table maps hot-key ids to actions. The
// desktop side (key grabs on the X11 root window) is a Backend that the shell
// installs; a press reaches the table through Hotkey::pressed(id) from any
// thread, and the action always runs later on the main thread.
//
// Main thread only, except pressed().

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tovan {

class Hotkey {
public:
    using Action = std::function<void()>;

    // What registers key combinations with the desktop.
    class Backend {
    public:
        virtual ~Backend() = default;
        // Called once, on first use: from then on presses are reported
        // through Hotkey::pressed(id).
        virtual void install() = 0;
        // A reference to the registration, or none when the desktop refuses.
        virtual std::optional<std::uint64_t> registerKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                         std::uint32_t id) = 0;
        virtual void unregisterKey(std::uint64_t ref) = 0;
    };
    // The backend used from now on (not owned; null: no desktop, every
    // registration is refused). Set it before the first hot key is made.
    static void setBackend(Backend* backend);

    // Registers the combination and stores the action under id (replacing
    // one there). Null when the backend refuses; then id has no action.
    static std::unique_ptr<Hotkey> create(std::uint32_t keyCode, std::uint32_t modifiers, std::uint32_t id,
                                          Action action);
    // Unregisters the combination and removes whatever action id holds now.
    ~Hotkey();
    Hotkey(const Hotkey&) = delete;
    Hotkey& operator=(const Hotkey&) = delete;

    const std::optional<std::uint64_t>& ref() const { return ref_; }
    std::uint32_t id() const { return id_; }

    // The table from id to action; empty at start.
    static std::map<std::uint32_t, Action>& handlers();
    // Whether the backend's install() has run (once per process).
    static bool installed();
    static void install();
    // A press of id, from any thread: the action of id at the time the main
    // thread gets to it runs there; an id without an action does nothing.
    static void pressed(std::uint32_t id);

private:
    Hotkey(std::uint32_t id) : id_(id) {}
    std::optional<std::uint64_t> ref_;
    std::uint32_t id_;
};

}  // namespace tovan
