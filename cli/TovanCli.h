#pragma once
// The command-line tool's logic: its arguments, standard input and
// environment into one event, the application made to run, the event
// posted on the session bus. main.cpp only calls run().
//
//   tovan say TEXT [--mood NAME]
//   tovan hook                       (Claude Code hook input, JSON on stdin)
//   tovan command --status N --seconds S -- COMMAND

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tovan::TovanCli {

// The three usage lines, each ending with a newline.
const std::string& usage();

// The argument after the first one equal to `flag`, anywhere in args;
// none when the flag is missing or last.
std::optional<std::string> value(const std::vector<std::string>& args, const std::string& flag);
// A decimal 64-bit integer with an optional sign, the whole text; else none.
std::optional<int64_t> integer(const std::string& text);
// A floating-point number, the whole text; else none.
std::optional<double> number(const std::string& text);

// What one run reads.
struct Inputs {
    std::vector<std::string> args;  // without the program path
    std::function<std::string()> readStdin;
    std::optional<std::string> termProgram;  // $TERM_PROGRAM
    std::string cwd;
    double now = 0;  // seconds since 1970
};

// What one run does: show the usage or refuse with `problem` and exit with
// `status`, or post `event`.
struct Plan {
    int status = 0;
    bool usage = false;
    std::string problem;  // a bad option value, in words
    std::optional<nlohmann::json> event;
};
Plan plan(const Inputs& in);

// The event as the compact JSON text that is posted; invalid UTF-8 in the
// arguments is replaced rather than losing the event.
std::string encode(const nlohmann::json& event);

// The whole program. Every failure says why on standard error: status 2 for
// a bad command line, 1 when the event cannot reach the application.
int run(int argc, char** argv);

}  // namespace tovan::TovanCli
