// The `nubbo` command line against the real app on a private bus, driven by the real bridge: two sessions,
// one of them waiting on a permission request that `nubbo approve` answers.
#include "AppCli.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using nubbo::e2e::BridgeResult;
using nubbo::e2e::runBridge;
using nubbo::e2e::spinUntil;

using nubbo::e2e::CliRun;
using nubbo::e2e::payloadOf;

CliRun nubbo(const QProcessEnvironment& env, const QStringList& arguments, const QString& program = NUBBO_CLI_PATH) {
    return nubbo::e2e::runProgram(env, program, arguments);
}

TEST(StatusCommand, StatusWatchAndApproveAgainstTheRunningApp) {
    QTemporaryDir home(QDir::tempPath() + "/nubbo-status-XXXXXX");
    ASSERT_TRUE(home.isValid());
    ASSERT_TRUE(nubbo::e2e::writePreferences(home.path(), R"({"hasOpenedSettingsOnFirstLaunch": true, "settings.approvalMode": "manual"})"));
    const QProcessEnvironment env = nubbo::e2e::appEnvironment(home.path());

    // No app yet: the commands say so (`focus` given to the app binary too); the app's own options still
    // reach the app through `nubbo`.
    for (const QStringList& arguments : {QStringList{"status"}, QStringList{"status", "--json"},
                                         QStringList{"approve", "0f"}, QStringList{"watch"}, QStringList{"watch", "--json"}}) {
        const CliRun run = nubbo(env, arguments);
        EXPECT_EQ(run.exitCode, 3) << arguments.join(' ').toStdString();
        EXPECT_EQ(run.out, "nubbo is not running\n");
    }
    const CliRun offBar = nubbo(env, {"status", "--waybar"});
    EXPECT_EQ(offBar.exitCode, 3);
    EXPECT_EQ(offBar.out, R"({"class":"idle","text":"","tooltip":"Nubbo is not running"})" "\n");
    const CliRun appFocus = nubbo(env, {"focus", "s-one"}, NUBBO_APP_PATH);
    EXPECT_EQ(appFocus.exitCode, 3);
    EXPECT_EQ(appFocus.out, "nubbo is not running\n");
    // A status bar started before the app shows it off, then follows it, through a restart.
    QProcess bar;
    bar.setProcessEnvironment(env);
    bar.start(NUBBO_CLI_PATH, {"watch", "--waybar"});
    QByteArray barOut;
    const auto barShows = [&] {
        barOut += bar.readAllStandardOutput();
        const QList<QByteArray> lines = barOut.trimmed().split('\n');
        return QJsonDocument::fromJson(lines.constLast()).object();
    };
    const QJsonObject off{{"class", "idle"}, {"text", ""}, {"tooltip", "Nubbo is not running"}};
    EXPECT_TRUE(spinUntil([&] { return barShows() == off; }, 10000)) << barOut.constData();
    const CliRun hooks = nubbo(env, {"--hooks-status"});
    EXPECT_EQ(hooks.exitCode, 0) << hooks.error.toStdString();
    EXPECT_TRUE(hooks.out.contains("claude=false")) << hooks.out.toStdString();

    const QString logs = home.path() + "/.local/state/Nubbo/";
    const auto read = [&](const char* name) {
        QFile file(logs + name);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QProcess app;
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(NUBBO_APP_PATH, {});
    ASSERT_TRUE(spinUntil([&] { return read("nubbo.log").contains(" start-up finished\n"); }, 60000));
    const CliRun focus = nubbo(env, {"focus", "no-such-session"});
    EXPECT_EQ(focus.exitCode, 1);
    EXPECT_EQ(focus.out, "no live session has the id no-such-session\n");
    QProcess watch;
    watch.setProcessEnvironment(env);
    watch.start(NUBBO_CLI_PATH, {"watch", "--json"});
    // Its first line comes once it follows the app: what happens from here on are changes.
    QByteArray watched;
    ASSERT_TRUE(spinUntil([&] { return (watched += watch.readAllStandardOutput()).contains('\n'); }, 10000));
    EXPECT_EQ(runBridge(home.path(), "UserPromptSubmit", payloadOf(home.path(), "UserPromptSubmit.json", "s-one")).out, "");
    BridgeResult decision;
    std::atomic<bool> answered = false;
    std::thread agent([&] {
        decision = runBridge(home.path(), "PermissionRequest", payloadOf(home.path(), "PermissionRequest.Bash.json", "s-two"));
        answered = true;
    });
    QJsonObject request;
    const bool waiting = spinUntil([&] {
        const QJsonObject status = QJsonDocument::fromJson(nubbo(env, {"status", "--json"}).out.toUtf8()).object();
        const QJsonArray sessions = status["sessions"].toArray();
        request = sessions.isEmpty() ? QJsonObject() : sessions[0].toObject()["request"].toObject();
        return sessions.size() == 2 && !request.isEmpty();
    }, 20000);
    if (!waiting) {
        const QByteArray answer = nubbo(env, {"status", "--json"}).out.toUtf8();
        app.kill();
        agent.join();
        ASSERT_TRUE(waiting) << answer.constData();
    }

    // The whole document: both sessions, the newest (the waiting one) first, the request it waits on.
    const QJsonObject status = QJsonDocument::fromJson(nubbo(env, {"status", "--json"}).out.toUtf8()).object();
    EXPECT_EQ(status["version"].toInt(), 1);
    EXPECT_EQ(status["approvalMode"].toString(), "manual");
    EXPECT_EQ(status["paused"], QJsonValue(false));
    const QJsonArray sessions = status["sessions"].toArray();
    const QJsonObject two = sessions[0].toObject(), one = sessions[1].toObject();
    EXPECT_EQ(two["id"].toString(), "s-two");
    EXPECT_EQ(one["id"].toString(), "s-one");
    for (const QJsonObject& session : {one, two}) {
        EXPECT_EQ(session["agent"].toString(), "claude");
        EXPECT_TRUE(session["host"].isNull());
        EXPECT_EQ(session["cwd"].toString(), "/home/dev/project");
        EXPECT_TRUE(QDateTime::fromString(session["updatedAt"].toString(), Qt::ISODate).isValid());
    }
    EXPECT_EQ(two["state"].toString(), "waitingApproval");
    EXPECT_TRUE(one["request"].isNull());
    EXPECT_EQ(request["command"].toString(), "touch created-by-agent.txt");
    EXPECT_TRUE(request["risky"].isBool());
    EXPECT_TRUE(QDateTime::fromString(request["askedAt"].toString(), Qt::ISODate).isValid());
    const QString id = request["id"].toString();

    const CliRun table = nubbo(env, {"status"});
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_TRUE(table.out.contains("  waiting " + id) && table.out.contains("approval mode: manual\n")) << table.out.toStdString();
    const QJsonObject waybar = QJsonDocument::fromJson(nubbo(env, {"status", "--waybar"}).out.toUtf8()).object();
    EXPECT_EQ(waybar["class"].toString(), "waiting");
    EXPECT_EQ(waybar["text"].toString(), "2 (1 waiting)");
    EXPECT_TRUE(spinUntil([&] { return barShows() == waybar; }, 10000)) << barOut.constData();
    EXPECT_EQ(nubbo(env, {"status", "--format", "{sessions} {waiting} {agent}"}).out, "2 1 claude\n");

    const CliRun approve = nubbo(env, {"approve", id});
    EXPECT_EQ(approve.exitCode, 0) << approve.out.toStdString();
    EXPECT_TRUE(spinUntil([&] { return answered.load(); }, 15000));
    agent.join();
    EXPECT_EQ(decision.out,
              R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"allow"}}})" "\n");
    const CliRun again = nubbo(env, {"approve", id});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.out, "no request with the id " + id + " waits\n");

    // Watch began with the switches, saw the request, then its answer, and ends when the app quits.
    QStringList events;
    spinUntil([&] {
        watched += watch.readAllStandardOutput();
        events.clear();
        for (const QByteArray& line : watched.split('\n'))
            if (!line.isEmpty()) events << QJsonDocument::fromJson(line).object()["event"].toString();
        return events.contains("answered");
    }, 5000);
    EXPECT_EQ(watched.left(watched.indexOf('\n')), R"({"approvalMode":"manual","event":"status","paused":false})");
    const qsizetype requested = events.indexOf("request");
    EXPECT_TRUE(requested >= 0 && events.indexOf("answered") > requested) << events.join(' ').toStdString();
    app.terminate();
    ASSERT_TRUE(app.waitForFinished(20000));
    EXPECT_TRUE(watch.waitForFinished(10000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
    EXPECT_EQ(nubbo(env, {"status"}).exitCode, 3);

    // The bar outlived the app, and follows the next one.
    EXPECT_TRUE(spinUntil([&] { return barShows() == off; }, 10000)) << barOut.constData();
    QProcess next;
    next.setProcessEnvironment(env);
    next.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    next.start(NUBBO_APP_PATH, {});
    EXPECT_TRUE(spinUntil([&] { return !barShows()["text"].toString().isEmpty(); }, 60000)) << barOut.constData();
    next.terminate();
    EXPECT_TRUE(next.waitForFinished(20000));
    EXPECT_TRUE(spinUntil([&] { return barShows() == off; }, 10000)) << barOut.constData();
    EXPECT_EQ(bar.state(), QProcess::Running);
    bar.terminate();
    EXPECT_TRUE(bar.waitForFinished(10000));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
