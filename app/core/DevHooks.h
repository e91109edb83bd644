#pragma once
// Developer automation: a running instance driven from outside through the
// "dev" signal on the session bus (platform/Bus.h). Off unless the process was
// started with TOVANTTS_DEV set to exactly "1". A command is a word, or
// "word:argument"; results are printed as single lines on standard output,
// which is flushed after every command.
//
// Words: section, open, link, text, play, pause, seek, snapshot, sample,
// natural, notes, allowapp, looking, mute, unmute, recent, said, export,
// progress, log. Anything else prints "unknown dev command <text>".
//
// The model's own commands act on AppModel directly. What lives in other
// parts (the reading controller, the assistant, the exporter, the main
// window) is reached through Hooks that those parts fill in at start-up; a
// hook left empty makes its command do nothing (and print what it would print
// with nothing to report).

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace tovan {

class AppModel;
class Bus;

class DevHooks {
public:
    struct Command {
        QString word;
        QString argument;
        bool operator==(const Command&) const = default;
    };
    // Colons at the start are skipped; the word runs to the next colon and
    // the argument is everything after it (further colons included).
    static Command parse(const QString& text);

    // What the reading controller reports for "log".
    struct Reading {
        std::optional<QString> title;  // of the current document
        std::int64_t heard = 0;
        bool playing = false;
        bool preparing = false;
        std::optional<QString> problem;
    };
    // One entry of the assistant's recent list.
    struct Heard {
        QString app, who, outcome;
    };

    struct Hooks {
        // The reading controller.
        std::function<bool()> playing;
        std::function<void()> toggle;
        std::function<void()> pause;
        std::function<void(std::int64_t)> seek;
        std::function<void(bool)> setNatural;
        std::function<Reading()> reading;
        // Volume of the narrator's and the announcer's players (0 or 1).
        std::function<void(float)> setVolume;
        // The assistant.
        std::function<void()> sample;
        std::function<bool()> notificationAccess;
        std::function<QString()> notificationState;
        std::function<void(const QString&)> allowApp;
        std::function<void(bool)> setWhileLooking;
        std::function<QList<Heard>()> recent;
        std::function<std::optional<QString>()> saying;
        // The exporter: export the current document; its title and fraction.
        std::function<void(const QString& path)> exportTo;
        std::function<std::optional<QString>()> exportTitle;
        std::function<double()> exportFraction;
        // A PNG of the main window at path; false when there is no window
        // (empty: the first visible top-level window wider than 400).
        std::function<bool(const QString& path)> snapshot;
    };
    // The process-wide hooks (main thread).
    static Hooks& hooks();
    // Fills the reading controller's hooks from the model's narrator (when
    // it has one); the other parts fill theirs.
    static void bindNarrator(AppModel& app);

    // Whether TOVANTTS_DEV is exactly "1" in the environment.
    static bool enabled();
    using Out = std::function<void(const QString& line)>;
    // When enabled: runs every "dev" signal the bus receives, on the given
    // model (null: the shared one) with the process-wide hooks, printing to
    // out (empty: standard output), and prints "dev hooks on" there.
    // Otherwise does nothing. True when installed.
    static bool install(Bus& bus, AppModel* app = nullptr, Out out = {});

    // Carries out one command on the shared model, printing to standard output.
    static void run(const QString& command);
    // The same on a given model and hooks, each printed line handed to out.
    static void run(const QString& command, AppModel& app, const Hooks& hooks, const Out& out);

    static bool snapshotOfFirstWindow(const QString& path);
};

}  // namespace tovan
