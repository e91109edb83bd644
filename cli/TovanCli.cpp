#include "TovanCli.h"

#include "Bus.h"
#include "Launcher.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>

namespace tovan::TovanCli {

using json = nlohmann::json;

const std::string& usage() {
    static const std::string text =
        "usage: tovan say TEXT [--mood happy|sad|urgent|calm|excited]\n"
        "       tovan hook                      (Claude Code hooks: JSON on stdin)\n"
        "       tovan command --status N --seconds S -- COMMAND\n";
    return text;
}

std::optional<std::string> value(const std::vector<std::string>& args, const std::string& flag) {
    for (size_t i = 0; i < args.size(); i++)
        if (args[i] == flag) return i + 1 < args.size() ? std::optional<std::string>(args[i + 1]) : std::nullopt;
    return std::nullopt;
}

std::optional<int64_t> integer(const std::string& text) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') {
        b++;
        if (b != e && *b == '-') return std::nullopt;  // one sign only
    }
    if (b == e || *b == '+') return std::nullopt;
    int64_t v = 0;
    auto [p, ec] = std::from_chars(b, e, v);
    if (ec != std::errc() || p != e) return std::nullopt;
    return v;
}

std::optional<double> number(const std::string& text) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') {
        b++;
        if (b != e && *b == '-') return std::nullopt;  // one sign only
    }
    if (b == e || *b == '+') return std::nullopt;
    double v = 0;
    auto [p, ec] = std::from_chars(b, e, v);
    if (p != e) return std::nullopt;
    if (ec == std::errc::result_out_of_range) return std::nullopt;
    if (ec != std::errc()) return std::nullopt;
    return v;
}

Plan plan(const Inputs& in) {
    Plan out;
    const auto& args = in.args;
    if (args.empty()) {
        out.usage = true;
        return out;
    }
    json event = json::object();
    event["cwd"] = in.cwd;
    event["time"] = in.now;
    const std::string& sub = args[0];
    if (sub == "say") {
        event["kind"] = "say";
        std::string text;
        for (size_t i = 1; i < args.size(); i++)
            if (args[i].rfind("--", 0) != 0) {
                text = args[i];
                break;
            }
        event["text"] = text;
        if (auto mood = value(args, "--mood")) event["mood"] = *mood;
    } else if (sub == "hook") {
        event["kind"] = "claude";
        const std::string input = in.readStdin ? in.readStdin() : std::string();
        json hook = json::parse(input, nullptr, false);
        event["hook"] = hook.is_object() || hook.is_array() ? std::move(hook) : json::object();
        event["terminal"] = in.termProgram.value_or("");
    } else if (sub == "command") {
        event["kind"] = "command";
        // A flag that is absent counts as 0; one whose value is missing or
        // wrong is refused rather than reported as a success after 0 s.
        auto given = [&](const char* flag) -> std::optional<std::string> {
            if (std::find(args.begin(), args.end(), flag) == args.end()) return "0";
            return value(args, flag);
        };
        const auto statusText = given("--status");
        const auto status = statusText ? integer(*statusText) : std::nullopt;
        if (!status) {
            out.status = 2;
            out.problem = statusText ? "--status wants a whole number, not \"" + *statusText + "\""
                                     : std::string("--status wants a whole number after it");
            return out;
        }
        const auto secondsText = given("--seconds");
        // Infinity and not-a-number cannot be written as JSON.
        const auto seconds = secondsText ? number(*secondsText) : std::nullopt;
        if (!seconds || !std::isfinite(*seconds)) {
            out.status = 2;
            out.problem = secondsText ? "--seconds wants a number of seconds, not \"" + *secondsText + "\""
                                      : std::string("--seconds wants a number of seconds after it");
            return out;
        }
        event["status"] = *status;
        event["seconds"] = *seconds;
        for (size_t i = 0; i < args.size(); i++) {
            if (args[i] != "--") continue;
            std::string line;
            for (size_t j = i + 1; j < args.size(); j++) line += (j > i + 1 ? " " : "") + args[j];
            event["command"] = line;
            break;
        }
        event["terminal"] = in.termProgram.value_or("");
    } else {
        out.usage = true;
        out.status = 2;
        return out;
    }
    out.event = std::move(event);
    return out;
}

std::string encode(const json& event) { return event.dump(-1, ' ', false, json::error_handler_t::replace); }

int run(int argc, char** argv) {
    Inputs in;
    for (int i = 1; i < argc; i++) in.args.emplace_back(argv[i]);
    in.readStdin = [] { return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()); };
    if (const char* t = std::getenv("TERM_PROGRAM")) in.termProgram = t;
    std::error_code ec;
    in.cwd = std::filesystem::current_path(ec).string();
    in.now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();

    const Plan p = plan(in);
    if (p.usage) {
        std::cerr << usage();
        return p.status;
    }
    if (!p.problem.empty()) {
        std::cerr << "tovan: " << p.problem << "\n";
        return p.status;
    }
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::cerr << "tovan: there is no session bus to reach TovanTTS (" << bus.lastError().message().toStdString()
                  << ")\n";
        return 1;
    }
    // An application that could not be started may still be on its way:
    // the event is sent all the same, and the failure reported.
    const QString problem = Launcher(bus, argc > 0 ? argv[0] : "tovan").ensureRunning();
    const std::string text = encode(*p.event);
    if (!Bus::send(bus, QStringLiteral("event"), QString::fromStdString(text))) {
        std::cerr << "tovan: the event could not be sent (" << bus.lastError().message().toStdString() << ")\n";
        return 1;
    }
    // Messages leave in order: once the daemon answers this call, the signal
    // has gone out, and the tool may exit.
    QDBusMessage ping = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("/org/freedesktop/DBus"),
                                                       QStringLiteral("org.freedesktop.DBus.Peer"),
                                                       QStringLiteral("Ping"));
    bus.call(ping, QDBus::Block, 2000);
    if (!problem.isEmpty()) {
        std::cerr << "tovan: " << problem.toStdString() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace tovan::TovanCli
