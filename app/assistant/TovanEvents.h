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
#include <optional>
#include <string>

namespace tovan {
namespace TovanEvents {

using Sink = std::function<void(const Assistant::Event&)>;

// Parses one event text and hands at most one event to the assistant.
void handle(const std::string& json, Assistant& assistant);
void handle(const std::string& json);  // to Assistant::shared()
// The same with the settings read from `prefs` and the event handed to `sink`.
void handle(const std::string& json, const AssistantPrefs& prefs, const Sink& sink);

// Claude's last words in a transcript (only its last 400000 bytes are read),
// already reduced by summary(); none when there are none.
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
