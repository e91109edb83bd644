#pragma once
// Events posted by the command-line tool, turned into assistant events:
// "say" (a text, optionally in a named mood), "claude" (a Claude Code hook:
// it needs the user, asks for a permission, or has finished) and "command"
// (a long shell command ended). Claude's last words come from the
// conversation transcript, reduced to one short sentence; commands are named
// in plain words ("the build", "the tests") with how long they took.
//
// Every problem ends the handling of that one event silently: the tool that
// posted it has long exited, and there is nobody to tell.

#include "Assistant.h"

#include <functional>

class QObject;
#include <optional>
#include <string>

namespace tovan {
namespace TovanEvents {

using Sink = std::function<void(const Assistant::Event&)>;
// Finds Claude's last words in the transcript at `path` and calls `done` with
// them, on the calling thread, now or later.
using WordsReader =
    std::function<void(const std::string& path, std::function<void(std::optional<std::u16string>)> done)>;

// Parses one event text and hands at most one event to the assistant. The
// transcript of a "Stop" hook is read on a worker thread; its event follows
// on the main thread once the words are found.
void handle(const std::string& json, Assistant& assistant);
void handle(const std::string& json);  // to Assistant::shared()
// The same with the settings read from `prefs` and the event handed to `sink`;
// `read` finds the last words (empty: lastWords on the calling thread).
void handle(const std::string& json, const AssistantPrefs& prefs, const Sink& sink, const WordsReader& read = {});
// Reads with lastWords on a pool thread and answers on `context`'s thread
// (nothing when `context` is gone by then).
WordsReader backgroundReader(QObject* context);

// Claude's last words in a transcript (only its last 400000 bytes are read),
// already reduced by summary(); none when there are none. Only a regular
// file is read, and opening it never waits: a FIFO, a device or a socket
// named by a hook is ignored with a line on standard error.
std::optional<std::u16string> lastWords(const std::string& path);
// One plain sentence from a piece of Markdown.
std::u16string summary(const std::u16string& text);
// "the build", "the tests", "the git clone", "rake command", ….
std::u16string name(const std::u16string& command);
// "45 seconds", "a minute", "an hour and 30 minutes"; a value that is not
// finite or too large to count reads as 0 seconds.
std::u16string duration(double seconds);

}  // namespace TovanEvents
}  // namespace tovan
