#include "PulseAudioInputUsers.h"

#include "BackgroundProbe.h"
#include "Regex.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <nlohmann/json.hpp>

namespace tovan {

namespace {

std::string runPactl(const std::vector<std::string>& args) {
    const QString exe = QStandardPaths::findExecutable("pactl");
    if (exe.isEmpty()) return {};
    QStringList list;
    for (const auto& a : args) list << QString::fromStdString(a);
    QProcess p;
    p.start(exe, list);
    if (!p.waitForFinished(1500)) {
        p.kill();
        p.waitForFinished(200);
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    return p.readAllStandardOutput().toStdString();
}

// The streams as last listed on a thread of its own: pactl is a child
// process that may take its whole time-out.
class SampledInputUsers final : public AudioInputUsers {
public:
    explicit SampledInputUsers(std::shared_ptr<AudioInputUsers> real)
        : probe_([real] { return real->apps(); }, std::chrono::seconds(2)) {}
    std::vector<std::u16string> apps() override { return probe_.get(); }

private:
    BackgroundProbe<std::vector<std::u16string>> probe_;
};

}  // namespace

std::shared_ptr<AudioInputUsers> AudioInputUsers::system() {
    return std::make_shared<SampledInputUsers>(std::make_shared<PulseAudioInputUsers>());
}

PulseAudioInputUsers::PulseAudioInputUsers(Runner pactl) : pactl_(pactl ? std::move(pactl) : Runner(runPactl)) {}

std::vector<std::u16string> PulseAudioInputUsers::apps() {
    return parse(pactl_({"--format=json", "list", "source-outputs"}));
}

std::vector<std::u16string> PulseAudioInputUsers::parse(const std::string& text) {
    std::vector<std::u16string> out;
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    if (!doc.is_array()) return out;
    static const char* const keys[] = {"pipewire.access.portal.app_id", "application.id",
                                       "application.process.binary", "application.name"};
    for (const auto& stream : doc) {
        if (!stream.is_object()) continue;
        auto corked = stream.find("corked");
        if (corked != stream.end() && corked->is_boolean() && corked->get<bool>()) continue;
        auto props = stream.find("properties");
        if (props == stream.end() || !props->is_object()) continue;
        for (const char* k : keys) {
            auto v = props->find(k);
            if (v != props->end() && v->is_string() && !v->get_ref<const std::string&>().empty()) {
                out.push_back(u16(v->get_ref<const std::string&>()));
                break;
            }
        }
    }
    return out;
}

}  // namespace tovan
