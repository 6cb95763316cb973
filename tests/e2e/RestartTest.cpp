// The real app killed while real bridges wait on its verdicts, then started again for the same home: every
// bridge lets its agent go on at once with no decision, and the new app serves the next bridge.
#include "BridgeRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>

namespace {

using nubbo::e2e::BridgeResult;
using nubbo::e2e::runBridge;
using nubbo::e2e::spinUntil;

constexpr int kBridges = 3;

TEST(AppRestart, BridgesWaitingOnAKilledAppFailOpenAndTheRestartedAppServes) {
    QTemporaryDir home(QDir::tempPath() + "/nubbo-restart-XXXXXX");
    ASSERT_TRUE(home.isValid());
    // Manual mode: every permission request waits for the user.
    ASSERT_TRUE(nubbo::e2e::writePreferences(home.path(), R"({"hasOpenedSettingsOnFirstLaunch": true, "settings.approvalMode": "manual"})"));

    const QProcessEnvironment env = nubbo::e2e::appEnvironment(home.path());
    const QString logs = home.path() + "/.local/state/Nubbo";
    const auto read = [&](const char* name) {
        QFile file(logs + "/" + name);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    const QString fixtures = NUBBO_FIXTURES_DIR "/claude/";

    QProcess first;
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start(NUBBO_APP_PATH, {});
    ASSERT_TRUE(spinUntil([&] { return read("nubbo.log").contains(" start-up finished\n"); }, 60000))
        << read("nubbo.log").toStdString();

    std::array<BridgeResult, kBridges> results;
    std::atomic<int> finished{0};
    std::vector<std::thread> bridges;
    for (auto& result : results)
        bridges.emplace_back([&] {
            result = runBridge(home.path(), "PermissionRequest", fixtures + "PermissionRequest.Bash.json");
            ++finished;
        });
    const bool parked = spinUntil([&] { return read("agent.log").count(" approvalRequired: ") == kBridges; }, 20000);
    const int finishedBeforeKill = finished.load();
    first.kill();
    first.waitForFinished(10000);
    QElapsedTimer sinceKill;
    sinceKill.start();
    const bool allReturned = spinUntil([&] { return finished.load() == kBridges; }, 10000);
    const auto returnedAfterMs = sinceKill.elapsed();
    for (auto& bridge : bridges) bridge.join();

    ASSERT_TRUE(parked) << read("agent.log").toStdString();
    EXPECT_EQ(finishedBeforeKill, 0) << "a bridge left before its verdict";
    EXPECT_TRUE(allReturned);
    EXPECT_LT(returnedAfterMs, 2000) << "bridges lingered after the app died";
    for (const auto& result : results) {
        EXPECT_TRUE(WIFEXITED(result.status) && WEXITSTATUS(result.status) == 0) << result.status;
        EXPECT_EQ(result.out, "") << "no decision: the agent asks the user itself";
    }

    // The killed app left its socket file behind; the new one takes it over.
    QProcess second;
    second.setProcessEnvironment(env);
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(NUBBO_APP_PATH, {});
    ASSERT_TRUE(spinUntil([&] { return read("nubbo.log").count(" start-up finished\n") == 2; }, 60000))
        << read("nubbo.log").toStdString();
    const auto served = runBridge(home.path(), "UserPromptSubmit", fixtures + "UserPromptSubmit.json");
    EXPECT_TRUE(WIFEXITED(served.status) && WEXITSTATUS(served.status) == 0);
    EXPECT_TRUE(spinUntil([&] { return read("agent.log").count('\n') == kBridges + 1; }, 10000))
        << read("agent.log").toStdString();

    second.terminate();
    if (!second.waitForFinished(10000)) second.kill();
    second.waitForFinished(5000);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
