#pragma once
// The application's start-up and the ways in from the desktop: the services
// started once launching has finished, in a fixed order; files and links
// handed over on the command line or by a second start; the global keys.
// Main thread only.
#include <QStringList>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace tovan {

class Controls;
class SettingsStore;
class Hotkey;

class AppDelegate {
public:
    // The launch-time services, in the order they start. Services that are
    // not part of this program yet stay empty and are skipped.
    struct Launch {
        std::function<void()> installServices;  // the bus object and the desktop entry
        std::function<void()> devHooks;
        std::function<void()> assistant;
        std::function<void()> notifications;
        std::function<void()> watchDownloads, watchBattery, watchDrives, watchOutput;
        std::function<void()> meetings;
        std::function<void()> repairPaths;
    };
    // Where handed-over files and links go.
    struct Intake {
        std::function<void(const std::filesystem::path& file, bool play)> openFile;
        std::function<void(const QUrl& link, bool play)> openLink;
    };
    // The three global keys' actions, in key-table order (R, V, Space).
    struct KeyActions {
        std::function<void()> readSelection, readClipboard, toggle;
    };

    AppDelegate(std::shared_ptr<SettingsStore> defaults, Launch launch, Intake intake, KeyActions keys);
    ~AppDelegate();

    // Starts the services, the global keys among them.
    void applicationDidFinishLaunching();
    // Every URL in order with play on: a file URL to the file road, any other to the link road.
    void open(const std::vector<QUrl>& urls);
    // Drops the held keys, then grabs the three again unless "shortcuts" is false.
    void registerHotkeys();
    // The window closing is never the end of the program.
    static bool applicationShouldTerminateAfterLastWindowClosed() { return false; }

    const std::vector<std::unique_ptr<Hotkey>>& hotkeys() const { return hotkeys_; }

    // The key table: Mac key code, modifier mask 0x1800 (Control-Option,
    // here Ctrl+Alt), id 1 to 3.
    struct Key {
        std::uint32_t id, keyCode;
    };
    static constexpr std::uint32_t kModifiers = 0x1800;
    static const std::vector<Key>& keyTable();

private:
    std::shared_ptr<SettingsStore> defaults_;
    Launch launch_;
    Intake intake_;
    KeyActions keys_;
    std::vector<std::unique_ptr<Hotkey>> hotkeys_;
};

}  // namespace tovan
