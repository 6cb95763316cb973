// An agent in a container reaches the desktop's app through what `nubbo container-args` mounts: the real bridge
// runs in a bubblewrap sandbox with a root of its own and a host name of its own, and its session shows that
// host; its permission request waits on the app and `nubbo approve` answers it inside the container.
#include "AppCli.h"

#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using nubbo::e2e::spinUntil;

constexpr char kContainerHost[] = "nubbo-box";

// bwrap's options for what `container-args` gives docker or podman, in an empty root.
QStringList sandbox(const QStringList& containerArgs, const QString& root) {
    QStringList options{"--bind", root, "/", "--proc", "/proc", "--dev", "/dev", "--unshare-all", "--hostname",
                        kContainerHost, "--die-with-parent", "--clearenv", "--setenv", "HOME", "/home/agent"};
    // A sanitizer build links the bridge dynamically: only then does the empty root borrow the system's libraries.
    // The root outlives each run, so its links are made once, here.
    if (!NUBBO_STATIC_BRIDGE) {
        options << "--ro-bind" << "/usr" << "/usr";
        QFile::link("usr/lib", root + "/lib");
        QFile::link("usr/lib64", root + "/lib64");
    }
    for (qsizetype i = 0; i + 1 < containerArgs.size(); i += 2) {
        const QString& value = containerArgs[i + 1];
        if (containerArgs[i] == "--volume") {
            const QStringList parts = value.split(':');
            options << (parts.value(2) == "ro" ? "--ro-bind" : "--bind") << parts[0] << parts[1];
        } else if (containerArgs[i] == "--env") {
            options << "--setenv" << value.section('=', 0, 0) << value.section('=', 1);
        }
    }
    return options;
}

QJsonObject onlySession(const QProcessEnvironment& env) {
    const auto status = QJsonDocument::fromJson(nubbo::e2e::runProgram(env, NUBBO_CLI_PATH, {"status", "--json"}).out.toUtf8());
    const QJsonArray sessions = status.object()["sessions"].toArray();
    return sessions.size() == 1 ? sessions[0].toObject() : QJsonObject();
}

TEST(Container, TheBridgeInAContainerReachesTheAppThroughWhatContainerArgsMounts) {
    if (QString(NUBBO_BWRAP_PATH).isEmpty())
        GTEST_SKIP() << "bubblewrap is not installed";
    QTemporaryDir home(QDir::tempPath() + "/nubbo-container-XXXXXX"), root(QDir::tempPath() + "/nubbo-root-XXXXXX");
    ASSERT_TRUE(home.isValid() && root.isValid());
    ASSERT_TRUE(nubbo::e2e::writePreferences(home.path(), R"({"hasOpenedSettingsOnFirstLaunch": true, "settings.approvalMode": "manual"})"));
    const QProcessEnvironment env = nubbo::e2e::appEnvironment(home.path());
    const auto probe = nubbo::e2e::runProgram(env, NUBBO_BWRAP_PATH, {"--bind", root.path(), "/", "--unshare-all", "/x"});
    if (probe.error.contains("Operation not permitted") || probe.error.contains("No permissions"))
        GTEST_SKIP() << "bubblewrap cannot make a sandbox here: " << probe.error.toStdString();

    const auto args = nubbo::e2e::runProgram(env, NUBBO_CLI_PATH, {"container-args"});
    ASSERT_EQ(args.exitCode, 0) << args.error.toStdString();
    const QStringList words = args.out.trimmed().split(' ');
    ASSERT_EQ(words.size(), 6) << args.out.toStdString();
    const QString launcher = home.path() + "/.nubbo/bin/nubbo-bridge";
    EXPECT_EQ(words[3], QString(NUBBO_BRIDGE_PATH) + ":" + launcher + ":ro");

    QProcess app;
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(NUBBO_APP_PATH, {});
    ASSERT_TRUE(spinUntil([&] { return QFileInfo::exists(nubbo::e2e::runtimeDirOf(home.path()) + "/nubbo/nubbo.sock"); }, 60000));

    // Hook entries written for this home run unchanged inside: the launcher's path is the bridge there.
    const auto inContainer = [&](QProcess& bridge, const char* event, const QString& payload) {
        bridge.setStandardInputFile(payload);
        bridge.start(NUBBO_BWRAP_PATH, sandbox(words, root.path()) + QStringList{launcher, "--source", "claude", "--event", event});
    };
    QProcess prompt;
    inContainer(prompt, "UserPromptSubmit", nubbo::e2e::payloadOf(home.path(), "UserPromptSubmit.json", "s-boxed"));
    EXPECT_TRUE(spinUntil([&] { return prompt.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(prompt.exitCode(), 0) << prompt.readAllStandardError().constData();
    EXPECT_TRUE(spinUntil([&] { return onlySession(env)["host"].toString() == kContainerHost; }, 10000))
        << QJsonDocument(onlySession(env)).toJson().constData();

    QProcess asking;
    inContainer(asking, "PermissionRequest", nubbo::e2e::payloadOf(home.path(), "PermissionRequest.Bash.json", "s-boxed"));
    QString request;
    EXPECT_TRUE(spinUntil([&] { return !(request = onlySession(env)["request"].toObject()["id"].toString()).isEmpty(); }, 15000));
    EXPECT_EQ(nubbo::e2e::runProgram(env, NUBBO_CLI_PATH, {"approve", request}).exitCode, 0);
    EXPECT_TRUE(spinUntil([&] { return asking.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(asking.exitCode(), 0);
    EXPECT_EQ(asking.readAllStandardOutput(),
              R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"allow"}}})" "\n");
    app.terminate();
    EXPECT_TRUE(app.waitForFinished(20000));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
