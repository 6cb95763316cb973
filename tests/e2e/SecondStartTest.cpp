// The real app started twice for one home on a private session bus (CTest runs this inside
// dbus-run-session): the second start shows the first one's settings and leaves at once, and the first goes
// on serving its socket.
#include "BridgeRun.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using nubbo::e2e::spinUntil;

// One line to the app's socket and the first line it answers.
QByteArray exchange(const QString& socketPath, const QByteArray& line) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(5000)) return {};
    socket.write(line);
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(10000)) return {};
    return socket.readLine().trimmed();
}

TEST(SecondStart, ShowsTheRunningAppsSettingsAndLeavesItServing) {
    QTemporaryDir home(QDir::tempPath() + "/nubbo-second-XXXXXX");
    ASSERT_TRUE(home.isValid());
    // Past the first launch, so any settings window comes from the second start.
    ASSERT_TRUE(nubbo::e2e::writePreferences(home.path(), R"({"hasOpenedSettingsOnFirstLaunch": true})"));

    const QProcessEnvironment env = nubbo::e2e::appEnvironment(home.path());
    const QString state = home.path() + "/.local/state/Nubbo";
    const auto log = [&] {
        QFile file(state + "/nubbo.log");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };

    QProcess first;
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start(NUBBO_APP_PATH, {});
    ASSERT_TRUE(spinUntil([&] { return log().contains(" start-up finished\n"); }, 60000)) << log().toStdString();

    QProcess second;
    second.setProcessEnvironment(env);
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer took;
    took.start();
    second.start(NUBBO_APP_PATH, {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_LT(took.elapsed(), 8000) << "the second start lingered";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    EXPECT_TRUE(spinUntil([&] { return log().contains(" second start: settings window shown\n"); }, 10000))
        << log().toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(exchange(nubbo::e2e::runtimeDirOf(home.path()) + "/nubbo/nubbo.sock",
                       R"({"provider":"claude","type":"thinking","sessionId":"s","cwd":"/tmp","message":"x"})" "\n"),
              R"({"ok":true})");
    EXPECT_TRUE(QDBusConnection::sessionBus().interface()->isServiceRegistered("dev.nubbo.Nubbo").value());
    // The second start wrote its one line and built nothing.
    const QString text = log();
    EXPECT_EQ(text.count(" nubbo starting\n"), 1) << text.toStdString();
    EXPECT_EQ(text.count(" pet first frame\n"), 1);
    EXPECT_EQ(text.count(" nubbo already running: asked it to show its settings\n"), 1) << text.toStdString();

    first.terminate();
    if (!first.waitForFinished(10000)) first.kill();
    first.waitForFinished(5000);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
