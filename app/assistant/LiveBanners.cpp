#include "LiveBanners.h"

#include "Clock.h"
#include "InstalledApp.h"
#include "Regex.h"
#include "QtClock.h"

#include <QCoreApplication>
#include <QPointer>
#include <QString>

#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

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

std::string text(const nlohmann::json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Set once the application has quit: no monitor starts after that.
bool applicationQuit = false;

const char* const kServer = "org.freedesktop.Notifications";

}  // namespace

LiveBanners::LiveBanners(Notifications& notes, IntakeLinks links, Clock& clock, QString program,
                         QStringList arguments, QObject* parent)
    : QObject(parent),
      notes_(notes),
      links_(std::move(links)),
      clock_(clock),
      program_(std::move(program)),
      arguments_(std::move(arguments)) {
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            applicationQuit = true;
            stop();
        });
}

LiveBanners::~LiveBanners() { stop(); }

LiveBanners& LiveBanners::shared() {
    static QtClock* clock = new QtClock();
    static QPointer<LiveBanners> one;
    if (!one) {
        one = new LiveBanners(Notifications::shared(), IntakeLinks::standard(), *clock, standardProgram(),
                              standardArguments());
        deleteOnQuit(one);
    }
    return *one;
}

void LiveBanners::deleteOnQuit(LiveBanners* live) {
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, live, [live] { delete live; });
}

QString LiveBanners::standardProgram() { return QStringLiteral("busctl"); }

QStringList LiveBanners::standardArguments() {
    // The calls, and the server's answers to them: a sender match on the
    // well-known name selects whichever connection owns it.
    return {QStringLiteral("--user"),
            QStringLiteral("monitor"),
            QStringLiteral("--json=short"),
            QStringLiteral("--match"),
            QStringLiteral("type='method_call',interface='org.freedesktop.Notifications',member='Notify'"),
            QStringLiteral("--match"),
            QStringLiteral("type='method_return',sender='org.freedesktop.Notifications'"),
            QStringLiteral("--match"),
            QStringLiteral("type='error',sender='org.freedesktop.Notifications'")};
}

void LiveBanners::start() {
    if (process_ || applicationQuit)
        return;
    if (restart_) {
        clock_.cancel(restart_);
        restart_ = 0;
    }
    process_ = new QProcess(this);
    process_->setProgram(program_);
    process_->setArguments(arguments_);
    process_->setStandardErrorFile(QProcess::nullDevice());
    // Runs in the child before the program: it is killed when this process
    // dies, however it dies, and ends at once when that already happened.
    const pid_t parent = ::getpid();
    process_->setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1);
    });
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

void LiveBanners::stop() {
    if (restart_) {
        clock_.cancel(restart_);
        restart_ = 0;
    }
    QProcess* p = process_;
    process_ = nullptr;
    if (!p)
        return;
    p->disconnect(this);
    if (p->state() != QProcess::NotRunning) {
        p->terminate();
        if (!p->waitForFinished(1000)) {
            p->kill();
            p->waitForFinished(1000);
        }
    }
    delete p;
}

qint64 LiveBanners::monitorPid() const { return process_ ? process_->processId() : 0; }

void LiveBanners::readOutput() {
    if (!process_)
        return;
    const QByteArray chunk = process_->readAllStandardOutput();
    if (chunk.isEmpty())
        return;
    for (const auto& line : buffer_.lines(std::string_view(chunk.constData(), static_cast<size_t>(chunk.size())))) {
        if (auto r = parse(line))
            requested(*r);
        else if (auto a = parseReply(line))
            answered(*a);
    }
}

void LiveBanners::ended() {
    readOutput();
    QProcess* p = process_;
    restart_ = clock_.callAt(clock_.now() + 5.0, [this, p] {
        restart_ = 0;
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
    auto str = [&](const char* key) { return text(j, key); };
    if (str("type") != "method_call" || str("interface") != kServer || str("member") != "Notify")
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

std::optional<LiveBanners::Reply> LiveBanners::parseReply(const std::string& line) {
    const auto j = nlohmann::json::parse(line, nullptr, false);
    if (!j.is_object())
        return std::nullopt;
    const std::string type = text(j, "type");
    if (type != "method_return" && type != "error")
        return std::nullopt;
    // The answer goes back to the caller, naming the call's serial.
    const std::string caller = text(j, "destination");
    auto serial = j.find("reply_cookie");
    if (caller.empty() || serial == j.end() || !serial->is_number_integer())
        return std::nullopt;
    return Reply{u16(caller + "/" + std::to_string(serial->get<int64_t>())), type == "method_return"};
}

void LiveBanners::requested(const Request& request) {
    const double now = clock_.now();
    // Calls that were never answered (no server, or a caller that wanted
    // no reply) are forgotten after a while, and all at once when too many.
    for (auto it = pending_.begin(); it != pending_.end();)
        it = now - it->second.at >= kAnswerWait ? pending_.erase(it) : std::next(it);
    if (pending_.size() >= 500)
        pending_.clear();
    pending_[request.id] = {request, now};
}

void LiveBanners::answered(const Reply& reply) {
    auto it = pending_.find(reply.id);
    if (it == pending_.end())
        return;
    const Request request = it->second.request;
    pending_.erase(it);
    if (reply.shown)
        created(request);
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
