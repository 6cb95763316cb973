// The app binary's hook flags, run as a user would run them, against a temporary home.
#include "BridgeRun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kNothingWired = "nubbo: hooks-status claude=false cline=false codebuddy=false codex=false copilot=false "
                              "cursor=false gemini=false iflow=false kimi=false opencode=false qoder=false qwen=false\n";

class AppCommandLine : public ::testing::Test {
protected:
    QProcessEnvironment environment() const {
        QProcessEnvironment env;
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path() + "/.config");
        env.insert("XDG_RUNTIME_DIR", nubbo::e2e::runtimeDirOf(home.path()));
        env.insert("PATH", qEnvironmentVariable("PATH"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        return env;
    }

    // Runs the app with the arguments; returns standard output, and the exit code through `code`.
    QString runApp(const QStringList& arguments, int* code = nullptr) const {
        QProcess app;
        app.setProcessEnvironment(environment());
        app.start(NUBBO_APP_PATH, arguments);
        EXPECT_TRUE(app.waitForFinished(20000));
        if (code) *code = app.exitStatus() == QProcess::NormalExit ? app.exitCode() : -1;
        return QString::fromUtf8(app.readAllStandardOutput());
    }

    QTemporaryDir home{QDir::tempPath() + "/nubbo-cli-XXXXXX"};
};

TEST_F(AppCommandLine, InstallsReportsAndRemovesTheHooks) {
    int code = -1;
    EXPECT_EQ(runApp({"--hooks-status"}, &code), kNothingWired);
    EXPECT_EQ(code, 0);

    EXPECT_EQ(runApp({"--install-hooks"}, &code), "nubbo: install-hooks OK\n");
    EXPECT_EQ(code, 0);
    // The agents enabled by default are wired.
    EXPECT_EQ(runApp({"--hooks-status"}),
              "nubbo: hooks-status claude=true cline=false codebuddy=false codex=true copilot=false cursor=false "
              "gemini=true iflow=false kimi=false opencode=true qoder=false qwen=false\n");

    // A hook command as the agent runs it: the launcher finds this bundle's bridge, which fails open
    // because no app is listening.
    QFile settings(home.path() + "/.claude/settings.json");
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const auto hooks = QJsonDocument::fromJson(settings.readAll()).object()["hooks"].toObject();
    const QString command =
        hooks["PreToolUse"].toArray().first().toObject()["hooks"].toArray().first().toObject()["command"].toString();
    ASSERT_TRUE(command.contains("nubbo-bridge")) << command.toStdString();
    QProcess hook;
    hook.setProcessEnvironment(environment());
    hook.start("/bin/sh", {"-c", command});
    hook.write(R"({"tool_name":"Bash","tool_input":{"command":"ls"}})");
    hook.closeWriteChannel();
    ASSERT_TRUE(hook.waitForFinished(20000));
    EXPECT_EQ(hook.exitCode(), 0);
    EXPECT_EQ(hook.readAllStandardOutput(), "");
    EXPECT_EQ(hook.readAllStandardError(), "");

    EXPECT_EQ(runApp({"--uninstall-hooks"}, &code), "nubbo: uninstall-hooks OK\n");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(runApp({"--hooks-status"}), kNothingWired);
    // The removal is kept where a running app (another process) and the next start-up find it, until the
    // next install.
    const QString removed = home.path() + "/.local/share/Nubbo/hooks-removed";
    EXPECT_TRUE(QFile::exists(removed));
    EXPECT_EQ(runApp({"--install-hooks"}), "nubbo: install-hooks OK\n");
    EXPECT_FALSE(QFile::exists(removed));
}

TEST_F(AppCommandLine, AFailedInstallIsReportedAndStillExitsZero) {
    // Settings files the user is half-way through editing must survive untouched; the agents between and
    // after them are wired all the same.
    QDir(home.path()).mkpath(".claude");
    QDir(home.path()).mkpath(".gemini");
    QFile broken(home.path() + "/.claude/settings.json");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("{\"model\": ");
    broken.close();
    QFile gemini(home.path() + "/.gemini/settings.json");
    ASSERT_TRUE(gemini.open(QIODevice::WriteOnly));
    gemini.write("[]");
    gemini.close();
    int code = -1;
    const QString out = runApp({"--install-hooks"}, &code);
    EXPECT_EQ(out, "nubbo: install-hooks FAILED: Claude: " + home.path() +
                       "/.claude/settings.json is not valid JSON; it was left unchanged | Gemini: " + home.path() +
                       "/.gemini/settings.json does not hold a JSON object; it was left unchanged\n");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(runApp({"--hooks-status"}),
              "nubbo: hooks-status claude=false cline=false codebuddy=false codex=true copilot=false cursor=false "
              "gemini=false iflow=false kimi=false opencode=true qoder=false qwen=false\n");
    ASSERT_TRUE(broken.open(QIODevice::ReadOnly));
    EXPECT_EQ(broken.readAll(), "{\"model\": ");
}

} // namespace
