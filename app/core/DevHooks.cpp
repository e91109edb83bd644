#include "DevHooks.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QWindow>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "AppModel.h"
#include "Bus.h"

#if __has_include("Narrator.h")
#include "Narrator.h"
#include "SentencePlayer.h"
#define TOVAN_HAS_NARRATOR 1
#endif

namespace tovan {

DevHooks::Command DevHooks::parse(const QString& text) {
    qsizetype start = 0;
    while (start < text.size() && text[start] == QLatin1Char(':')) ++start;
    const qsizetype colon = text.indexOf(QLatin1Char(':'), start);
    if (colon < 0) return {text.mid(start), QString()};
    return {text.mid(start, colon - start), text.mid(colon + 1)};
}

DevHooks::Hooks& DevHooks::hooks() {
    static Hooks h;
    return h;
}

void DevHooks::bindNarrator(AppModel& app) {
#ifdef TOVAN_HAS_NARRATOR
    Narrator* n = app.narrator;
    if (!n) return;
    Hooks& h = hooks();
    h.playing = [n] { return n->playing(); };
    h.toggle = [n] { n->toggle(); };
    h.pause = [n] { n->pause(); };
    h.seek = [n](std::int64_t i) { n->seek(i); };
    h.setNatural = [n](bool on) { n->setNatural(on); };
    h.reading = [n] {
        Reading r;
        if (n->doc()) r.title = QString::fromStdU16String(n->doc()->title);
        r.heard = n->heard();
        r.playing = n->playing();
        r.preparing = n->preparing();
        r.problem = n->problem();
        return r;
    };
    // The announcer's side adds its own player when it binds.
    auto announcer = h.setVolume;
    h.setVolume = [n, announcer](float v) {
        n->player().setVolume(v);
        if (announcer) announcer(v);
    };
#else
    (void)app;
#endif
}

bool DevHooks::enabled() {
    const char* v = std::getenv("TOVANTTS_DEV");
    return v && std::strcmp(v, "1") == 0;
}

namespace {
void printLine(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}
}  // namespace

bool DevHooks::install(Bus& bus, AppModel* app, Out out) {
    if (!enabled()) return false;
    if (!bus.listen()) return false;
    if (!out) out = printLine;
    QPointer<AppModel> model(app);
    const bool shared = app == nullptr;
    QObject::connect(&bus, &Bus::devReceived, &bus, [model, shared, out](const QString& command) {
        if (shared) {
            run(command, AppModel::shared(), hooks(), out);
        } else if (model) {
            run(command, *model, hooks(), out);
        }
        std::fflush(stdout);
    });
    out(QStringLiteral("dev hooks on"));
    std::fflush(stdout);
    return true;
}

void DevHooks::run(const QString& command) {
    run(command, AppModel::shared(), hooks(), printLine);
    std::fflush(stdout);
}

namespace {

// "+12", "-3", "7"; nothing else, and nothing beyond 64 bits.
std::int64_t seekTarget(const QString& text) {
    static const QRegularExpression integer(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    if (!integer.match(text).hasMatch()) return 0;
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    return ok ? n : 0;
}

QString orDash(const std::optional<QString>& s) { return s ? *s : QStringLiteral("-"); }
QString flag(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

}  // namespace

void DevHooks::run(const QString& text, AppModel& app, const Hooks& h, const Out& out) {
    const Command c = parse(text);
    const QString& w = c.word;
    const QString& arg = c.argument;
    if (w == QLatin1String("section")) {
        app.setSection(AppModel::sectionNamed(arg).value_or(AppModel::Section::library));
    } else if (w == QLatin1String("open")) {
        app.open(std::filesystem::path(arg.toStdString()), true);
    } else if (w == QLatin1String("link")) {
        QUrl url(arg, QUrl::StrictMode);
        if (!arg.isEmpty() && url.isValid()) app.open(url, true);
    } else if (w == QLatin1String("text")) {
        app.read(arg.toStdU16String(), std::nullopt, true);
    } else if (w == QLatin1String("play")) {
        if (h.toggle && !(h.playing && h.playing())) h.toggle();
    } else if (w == QLatin1String("pause")) {
        if (h.pause) h.pause();
    } else if (w == QLatin1String("seek")) {
        if (h.seek) h.seek(seekTarget(arg));
    } else if (w == QLatin1String("snapshot")) {
        const bool ok = h.snapshot ? h.snapshot(arg) : snapshotOfFirstWindow(arg);
        out(ok ? QStringLiteral("snapshot ") + arg : QStringLiteral("no window"));
    } else if (w == QLatin1String("sample")) {
        if (h.sample) h.sample();
    } else if (w == QLatin1String("natural")) {
        if (h.setNatural) h.setNatural(arg != QLatin1String("0"));
    } else if (w == QLatin1String("notes")) {
        const bool access = h.notificationAccess && h.notificationAccess();
        out(QStringLiteral("notes: access=") + flag(access) + QStringLiteral(" ") +
            (h.notificationState ? h.notificationState() : QString()));
    } else if (w == QLatin1String("allowapp")) {
        if (h.allowApp) h.allowApp(arg);
    } else if (w == QLatin1String("looking")) {
        if (h.setWhileLooking) h.setWhileLooking(arg == QLatin1String("1"));
    } else if (w == QLatin1String("mute")) {
        if (h.setVolume) h.setVolume(0.0f);
    } else if (w == QLatin1String("unmute")) {
        if (h.setVolume) h.setVolume(1.0f);
    } else if (w == QLatin1String("recent")) {
        if (h.recent) {
            const QList<Heard> list = h.recent();
            for (qsizetype i = 0; i < list.size() && i < 8; ++i)
                out(QStringLiteral("recent: ") + list[i].app + QStringLiteral(" | ") + list[i].who +
                    QStringLiteral(" | ") + list[i].outcome);
        }
    } else if (w == QLatin1String("said")) {
        out(QStringLiteral("saying: ") + orDash(h.saying ? h.saying() : std::nullopt));
    } else if (w == QLatin1String("export")) {
        const bool hasDoc = h.reading && h.reading().title.has_value();
        if (hasDoc && h.exportTo) h.exportTo(arg);
    } else if (w == QLatin1String("progress")) {
        const double fraction = h.exportFraction ? h.exportFraction() : 0.0;
        const double percent = fraction * 100.0;
        const long long whole = std::isfinite(percent) ? static_cast<long long>(percent) : 0;
        out(QStringLiteral("export: ") + orDash(h.exportTitle ? h.exportTitle() : std::nullopt) +
            QStringLiteral(" ") + QString::number(whole) + QStringLiteral("%"));
    } else if (w == QLatin1String("log")) {
        const Reading r = h.reading ? h.reading() : Reading{};
        out(QStringLiteral("narrator: doc=") + orDash(r.title) + QStringLiteral(" heard=") +
            QString::number(r.heard) + QStringLiteral(" playing=") + flag(r.playing) +
            QStringLiteral(" preparing=") + flag(r.preparing) + QStringLiteral(" problem=") + orDash(r.problem) +
            QStringLiteral(" app.problem=") + orDash(app.problem()));
    } else {
        out(QStringLiteral("unknown dev command ") + text);
    }
}

bool DevHooks::snapshotOfFirstWindow(const QString& path) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (!window->isVisible() || window->width() <= 400) continue;
        QScreen* screen = window->screen();
        if (!screen) return false;
        const QPixmap picture = screen->grabWindow(window->winId());
        if (picture.isNull()) return false;
        picture.save(path, "PNG");  // a failed write is not reported
        return true;
    }
    return false;
}

}  // namespace tovan
