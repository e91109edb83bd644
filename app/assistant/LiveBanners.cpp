#include "LiveBanners.h"

#include "Clock.h"
#include "InstalledApp.h"
#include "Regex.h"
#include "QtClock.h"

#include <QString>

#include <nlohmann/json.hpp>

namespace tovan {

namespace {

std::u16string lower(const std::u16string& s) { return QString::fromStdU16String(s).toLower().toStdU16String(); }

// Notification bodies may carry the little markup the protocol allows
// (<b>, <i>, <u>, <a href>, <img>) and its entities; neither is read aloud.
std::u16string plain(const std::u16string& body) {
    std::u16string s = replaceAll(body, u"(?i)</?(b|i|u|a|img)\\b[^>]*>", u"");
    s = replaceAll(s, u"&lt;", u"<");
    s = replaceAll(s, u"&gt;", u">");
    s = replaceAll(s, u"&quot;", u"\"");
    s = replaceAll(s, u"&apos;", u"'");
    return replaceAll(s, u"&amp;", u"&");  // last, so "&amp;lt;" stays "&lt;"
}

// A hint's value: busctl prints variants as {"type": "s", "data": …}.
std::u16string hint(const nlohmann::json& hints, const char* key) {
    auto it = hints.find(key);
    if (it == hints.end() || !it->is_object())
        return {};
    auto d = it->find("data");
    return d != it->end() && d->is_string() ? u16(d->get<std::string>()) : std::u16string();
}

}  // namespace

LiveBanners::LiveBanners(Notifications& notes, IntakeLinks links, Clock& clock, QString program,
                         QStringList arguments, QObject* parent)
    : QObject(parent),
      notes_(notes),
      links_(std::move(links)),
      clock_(clock),
      program_(std::move(program)),
      arguments_(std::move(arguments)) {}

LiveBanners& LiveBanners::shared() {
    static QtClock* clock = new QtClock();
    static LiveBanners* one = new LiveBanners(Notifications::shared(), IntakeLinks::standard(), *clock,
                                              standardProgram(), standardArguments());
    return *one;
}

QString LiveBanners::standardProgram() { return QStringLiteral("busctl"); }

QStringList LiveBanners::standardArguments() {
    return {QStringLiteral("--user"), QStringLiteral("monitor"), QStringLiteral("--json=short"),
            QStringLiteral("--match"),
            QStringLiteral("type='method_call',interface='org.freedesktop.Notifications',member='Notify'")};
}

void LiveBanners::start() {
    if (process_)
        return;
    process_ = new QProcess(this);
    process_->setProgram(program_);
    process_->setArguments(arguments_);
    process_->setStandardErrorFile(QProcess::nullDevice());
    buffer_ = LineBuffer();
    QProcess* p = process_;
    connect(p, &QProcess::readyReadStandardOutput, this, &LiveBanners::readOutput);
    connect(p, &QProcess::finished, this, &LiveBanners::ended);
    connect(p, &QProcess::errorOccurred, this, [this, p](QProcess::ProcessError error) {
        // A monitor that cannot start is not retried; the other road goes on.
        if (error == QProcess::FailedToStart && process_ == p) {
            process_ = nullptr;
            p->deleteLater();
        }
    });
    ++starts_;
    p->start();
}

void LiveBanners::readOutput() {
    if (!process_)
        return;
    const QByteArray chunk = process_->readAllStandardOutput();
    if (chunk.isEmpty())
        return;
    for (const auto& line : buffer_.lines(std::string_view(chunk.constData(), static_cast<size_t>(chunk.size()))))
        if (auto r = parse(line))
            created(*r);
}

void LiveBanners::ended() {
    readOutput();
    QProcess* p = process_;
    clock_.callAt(clock_.now() + 5.0, [this, p] {
        if (process_ == p) {
            process_ = nullptr;
            if (p)
                p->deleteLater();
        }
        start();
    });
}

std::optional<LiveBanners::Request> LiveBanners::parse(const std::string& line) {
    const auto j = nlohmann::json::parse(line, nullptr, false);
    if (!j.is_object())
        return std::nullopt;
    auto str = [&](const char* key) {
        auto it = j.find(key);
        return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    if (str("type") != "method_call" || str("interface") != "org.freedesktop.Notifications" ||
        str("member") != "Notify")
        return std::nullopt;
    auto payload = j.find("payload");
    if (payload == j.end() || !payload->is_object())
        return std::nullopt;
    auto data = payload->find("data");
    if (data == payload->end() || !data->is_array() || data->size() < 7)
        return std::nullopt;
    const auto& d = *data;
    if (!d[0].is_string() || !d[3].is_string() || !d[4].is_string() || !d[6].is_object())
        return std::nullopt;
    auto cookie = j.find("cookie");
    if (cookie == j.end() || !cookie->is_number_integer())
        return std::nullopt;
    Request r;
    r.id = u16(str("sender") + "/" + std::to_string(cookie->get<int64_t>()));
    r.bundle = hint(d[6], "desktop-entry");
    if (r.bundle.empty())
        r.bundle = u16(d[0].get<std::string>());
    r.title = plain(u16(d[3].get<std::string>()));
    r.body = plain(u16(d[4].get<std::string>()));
    r.category = hint(d[6], "category");
    if (r.bundle.empty())
        return std::nullopt;
    return r;
}

bool LiveBanners::isCallApp(const std::u16string& bundle) {
    const std::u16string b = lower(bundle);
    return b.find(u"facetime") != std::u16string::npos || b.find(u"telephonyutilities") != std::u16string::npos;
}

void LiveBanners::created(const Request& request) {
    if (seen_.count(request.id))
        return;
    seen_.insert(request.id);
    if (seen_.size() >= 501)
        seen_.clear();
    if (request.bundle == InstalledApp::ownID())
        return;
    if (!links_.appOn || !links_.appOn(request.bundle))
        return;
    Notifications::Record r{-1, request.bundle, request.title, u"", request.body, request.category};
    if (trimmed(r.title).empty() && trimmed(r.body).empty()) {
        // A call whose notification says nothing is still a call.
        if (!isCallApp(request.bundle))
            return;
        r.body = u"Incoming call";
        r.category = u"call";
    }
    notes_.arrived(r, true);
}

}  // namespace tovan
