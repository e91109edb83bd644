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

QString toolPath() { return QString::fromStdString((programDir() / "tovan").string()); }

// A bus daemon that activates only from <root>/share/dbus-1/services, so a
// copy installed on the machine is never started by a test.
QProcessEnvironment busEnvironment(const QString& root) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_DIRS", root + "/share");
    env.insert("XDG_DATA_HOME", root + "/data-home");
    return env;
}

// An executable shell script.
void script(const QString& path, const QString& body) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(("#!/bin/sh\n" + body + "\n").toUtf8());
    f.close();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString slurp(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

struct Post : ::testing::Test {
    QCoreApplication& app = coreApp();
    QTemporaryDir tmp;
    PrivateBus bus{busEnvironment(tmp.path())};
    QByteArray path = qgetenv("PATH");
    // Nothing on $PATH: a copy installed on the machine is never started.
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        qputenv("PATH", (tmp.path() + "/no-programs").toUtf8());
        if (!bus.ok()) GTEST_SKIP() << "no dbus-daemon";
        if (!QFileInfo(toolPath()).isExecutable()) GTEST_SKIP() << "the tool is not built";
    }
    void TearDown() override { qputenv("PATH", path); }
    // Runs the tool (the built one unless `program` is given); its exit status.
    int tool(const QStringList& args, const QByteArray& input = {}, QByteArray* err = nullptr,
             const QString& program = {}, const QString& address = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address.isEmpty() ? bus.address : address);
        env.insert("PATH", tmp.path() + "/no-programs");
        env.insert("TERM_PROGRAM", "kitty");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory("/tmp");
        p.start(program.isEmpty() ? toolPath() : program, args);
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

TEST_F(Post, BadValuesAreRefusedWithoutPosting) {
    tovan::Bus listener(bus.connect());
    ASSERT_TRUE(listener.listen());
    ASSERT_TRUE(listener.claimName());
    int events = 0;
    QObject::connect(&listener, &tovan::Bus::eventReceived, [&] { events++; });
    QByteArray err;
    EXPECT_EQ(tool({"command", "--status", "x", "--seconds", "3"}, {}, &err), 2);
    EXPECT_EQ(err, "tovan: --status wants a whole number, not \"x\"\n");
    EXPECT_EQ(tool({"command", "--status", "0", "--seconds", "soon"}, {}, &err), 2);
    EXPECT_EQ(err, "tovan: --seconds wants a number of seconds, not \"soon\"\n");
    EXPECT_EQ(tool({"say", "after the refusals"}), 0);
    ASSERT_TRUE(spinUntil([&] { return events > 0; }));
    EXPECT_EQ(events, 1) << "only the good one";
}

// Each way the application cannot be reached ends with a message and a
// failing status (it used to be silent and exit 0).
TEST_F(Post, UnreachableApplicationIsAFailureWithAMessage) {
    const QString lone = tmp.path() + "/lone/tovan";
    QDir().mkpath(tmp.path() + "/lone");
    ASSERT_TRUE(QFile::copy(toolPath(), lone));
    QFile::setPermissions(lone, QFile::ReadOwner | QFile::ExeOwner);

    QByteArray err;
    EXPECT_EQ(tool({"say", "hi"}, {}, &err, lone), 1) << "nothing beside it, on $PATH or activatable";
    EXPECT_TRUE(err.startsWith("tovan: TovanTTS is not running and could not be started: there is no tovantts beside " +
                               lone.toUtf8()))
        << err.data();
    EXPECT_EQ(tool({"say", "hi"}, {}, &err, lone, "unix:path=" + tmp.path() + "/no-bus"), 1);
    EXPECT_TRUE(err.startsWith("tovan: there is no session bus to reach TovanTTS")) << err.data();
}

TEST_F(Post, MissingApplicationIsStartedHiddenFromBesideTheTool) {
    const QString log = tmp.path() + "/started";
    const QString fakeApp = tmp.path() + "/app/tovantts";
    script(fakeApp, "echo \"direct $*\" >> '" + log + "'");
    QFile(tmp.path() + "/app/tovan").open(QIODevice::WriteOnly);
    QFile::setPermissions(tmp.path() + "/app/tovan", QFile::ReadOwner | QFile::ExeOwner);
    QDir(tmp.path()).mkpath("elsewhere");
    ASSERT_TRUE(QFile::link(tmp.path() + "/app/tovan", tmp.path() + "/elsewhere/tovan"));

    const std::string linked = (tmp.path() + "/elsewhere/tovan").toStdString();
    EXPECT_EQ(tovan::Launcher::application(linked), fakeApp) << "found through the resolved link";
    EXPECT_EQ(tovan::Launcher::serviceFile(linked), QString()) << "the build tree has no service file";
    tovan::Launcher launcher(bus.connect(), linked, {0.2, 0.05});
    EXPECT_TRUE(launcher.ensureRunning().startsWith("TovanTTS was started but did not answer within 0.2 s"))
        << "the fake never takes the name";
    ASSERT_TRUE(spinUntil([&] { return slurp(log).contains('\n'); }));
    EXPECT_EQ(slurp(log), "direct --hidden\n");

    qputenv("PATH", (tmp.path() + "/elsewhere").toUtf8());
    QFile::copy(tmp.path() + "/app/tovan", tmp.path() + "/copy-tovan");
    EXPECT_EQ(tovan::Launcher::application((tmp.path() + "/copy-tovan").toStdString()), QString())
        << "a copy outside the folder and nothing on the path";
    tovan::Launcher none(bus.connect(), (tmp.path() + "/copy-tovan").toStdString(), {0.2, 0.05});
    EXPECT_TRUE(none.ensureRunning().startsWith("TovanTTS is not running and could not be started"));
}

// An installed copy is started by the bus from its own service file; when
// that fails the program beside the tool is started instead. A tool with no
// program of its own asks the bus for any installed copy.
TEST_F(Post, InstalledCopyIsStartedByBusActivation) {
    const QString log = tmp.path() + "/started";
    const QString prefix = tmp.path() + "/prefix";
    script(prefix + "/bin/tovantts", "echo \"direct $*\" >> '" + log + "'");
    // Ends with a failure: the bus takes a clean exit for a program that
    // went to the background and waits on.
    script(prefix + "/libexec/activated", "echo \"activated $*\" >> '" + log + "'; exit 1");
    QFile(prefix + "/bin/tovan").open(QIODevice::WriteOnly);
    QDir().mkpath(prefix + "/share/dbus-1/services");
    const QString service = prefix + "/share/dbus-1/services/org.tovantts.TovanTTS.service";
    {
        QFile f(service);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("[D-BUS Service]\nName=org.tovantts.TovanTTS\nExec=" + prefix + "/libexec/activated --hidden\n").toUtf8());
    }
    const QByteArray none = qgetenv("PATH");
    qputenv("PATH", path);  // to find dbus-daemon
    PrivateBus installed(busEnvironment(prefix));
    qputenv("PATH", none);
    ASSERT_TRUE(installed.ok());

    const std::string tool = (prefix + "/bin/tovan").toStdString();
    EXPECT_EQ(tovan::Launcher::serviceFile(tool), service);
    tovan::Launcher launcher(installed.connect(), tool, {0.5, 0.0});
    EXPECT_FALSE(launcher.ensureRunning().isEmpty());
    EXPECT_EQ(slurp(log), "activated --hidden\ndirect --hidden\n") << "the bus first, then the program beside";

    QFile::remove(log);
    QDir().mkpath(tmp.path() + "/lone");
    QFile(tmp.path() + "/lone/tovan").open(QIODevice::WriteOnly);
    tovan::Launcher lone(installed.connect(), (tmp.path() + "/lone/tovan").toStdString(), {0.5, 0.0});
    const QString problem = lone.ensureRunning();
    EXPECT_EQ(slurp(log), "activated --hidden\n");
    EXPECT_TRUE(problem.contains("D-Bus activation failed")) << problem.toStdString();
}
