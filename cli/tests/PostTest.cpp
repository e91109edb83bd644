// The tool itself, run against a private session bus: what reaches a
// listening application, and how a missing one is started.
#include "Bus.h"
#include "Launcher.h"

#include "PrivateBus.h"
#include "TestApp.h"
#include "TestPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

using nlohmann::json;
using namespace tovan::test;

namespace {

QString toolPath() { return QString::fromStdString((tovan::test::programDir() / "tovan").string()); }

struct Post : ::testing::Test {
    QCoreApplication& app = coreApp();
    PrivateBus bus;
    void SetUp() override {
        if (!bus.ok()) GTEST_SKIP() << "no dbus-daemon";
        if (!QFileInfo(toolPath()).isExecutable()) GTEST_SKIP() << "the tool is not built";
    }
    // Runs the tool; its exit status.
    int tool(const QStringList& args, const QByteArray& input = {}, QByteArray* err = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address);
        env.insert("TERM_PROGRAM", "kitty");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory("/tmp");
        p.start(toolPath(), args);
        p.write(input);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(15000));
        if (err) *err = p.readAllStandardError();
        return p.exitCode();
    }
};

}  // namespace

TEST_F(Post, EventReachesTheRunningApplication) {
    tovan::Bus listener(bus.connect());
    ASSERT_TRUE(listener.listen());
    ASSERT_TRUE(listener.claimName()) << "the application runs: nothing is launched";
    std::vector<std::string> got;
    QObject::connect(&listener, &tovan::Bus::eventReceived, [&](const QString& s) { got.push_back(s.toStdString()); });

    EXPECT_EQ(tool({"say", "Hello", "--mood", "sad"}), 0);
    EXPECT_EQ(tool({"command", "--status", "1", "--seconds", "42.5", "--", "make", "-j8"}), 0);
    EXPECT_EQ(tool({"hook"}, R"({"hook_event_name":"Stop"})"), 0);
    ASSERT_TRUE(spinUntil([&] { return got.size() == 3; }));

    const json say = json::parse(got[0]);
    EXPECT_EQ(say["kind"], "say");
    EXPECT_EQ(say["text"], "Hello");
    EXPECT_EQ(say["mood"], "sad");
    EXPECT_EQ(say["cwd"], "/tmp");
    EXPECT_TRUE(say["time"].is_number_float());
    const json cmd = json::parse(got[1]);
    EXPECT_EQ(cmd["status"], 1);
    EXPECT_EQ(cmd["seconds"], 42.5);
    EXPECT_EQ(cmd["command"], "make -j8");
    EXPECT_EQ(cmd["terminal"], "kitty");
    const json hook = json::parse(got[2]);
    EXPECT_EQ(hook["kind"], "claude");
    EXPECT_EQ(hook["hook"], json({{"hook_event_name", "Stop"}}));
}

TEST_F(Post, UsageGoesToStandardError) {
    QByteArray err;
    EXPECT_EQ(tool({}, {}, &err), 0);
    EXPECT_EQ(err.size(), 190);
    EXPECT_EQ(tool({"speak", "hi"}, {}, &err), 2);
    EXPECT_TRUE(err.startsWith("usage: tovan say TEXT"));
}

TEST_F(Post, MissingApplicationIsStartedHiddenFromBesideTheTool) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QDir(tmp.path()).mkpath("app");
    QDir(tmp.path()).mkpath("elsewhere");
    const QString marker = tmp.path() + "/started";
    const QString fakeApp = tmp.path() + "/app/TovanTTS";
    {
        QFile f(fakeApp);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\necho \"$@\" > '" + marker + "'\n").toUtf8());
    }
    QFile::setPermissions(fakeApp, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile(tmp.path() + "/app/tovan").open(QIODevice::WriteOnly);
    QFile::setPermissions(tmp.path() + "/app/tovan", QFile::ReadOwner | QFile::ExeOwner);
    ASSERT_TRUE(QFile::link(tmp.path() + "/app/tovan", tmp.path() + "/elsewhere/tovan"));

    const std::string linked = (tmp.path() + "/elsewhere/tovan").toStdString();
    EXPECT_EQ(tovan::Launcher::application(linked), fakeApp) << "found through the resolved link";
    tovan::Launcher launcher(bus.connect(), linked, {0.2, 0.05});
    EXPECT_TRUE(launcher.ensureRunning());
    ASSERT_TRUE(spinUntil([&] { return QFile::exists(marker); }));
    QFile m(marker);
    ASSERT_TRUE(m.open(QIODevice::ReadOnly));
    EXPECT_EQ(m.readAll().trimmed(), "--hidden");

    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", (tmp.path() + "/elsewhere").toUtf8());
    QFile::copy(tmp.path() + "/app/tovan", tmp.path() + "/copy-tovan");
    EXPECT_EQ(tovan::Launcher::application((tmp.path() + "/copy-tovan").toStdString()), QString())
        << "a copy outside the folder and nothing on the path";
    tovan::Launcher none(bus.connect(), (tmp.path() + "/copy-tovan").toStdString(), {0.2, 0.05});
    EXPECT_FALSE(none.ensureRunning());
    qputenv("PATH", path);
}
