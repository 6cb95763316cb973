// The real app's bus service driven by the desktop's own client, gdbus, on a private bus: it describes
// itself, shows its properties, announces a real bridge's request and answers it by id, once.
#include "BridgeRun.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using nubbo::e2e::spinUntil;

const QStringList kService{"--session", "--dest", "dev.nubbo.Nubbo", "--object-path", "/dev/nubbo/Nubbo"};

QString gdbus(const QStringList& arguments) {
    QProcess client;
    client.start(NUBBO_GDBUS_PATH, arguments);
    client.waitForFinished(10000);
    return QString::fromUtf8(client.readAllStandardOutput() + client.readAllStandardError());
}

QString call(const QString& method, const QStringList& arguments = {}) {
    return gdbus(QStringList{"call"} + kService + QStringList{"--method", method} + arguments).trimmed();
}

TEST(AppBusService, IntrospectsAnnouncesARequestAndAnswersItOnceById) {
    QTemporaryDir home(QDir::tempPath() + "/nubbo-bus-XXXXXX");
    ASSERT_TRUE(home.isValid());
    // Manual mode: a permission request waits for the user.
    ASSERT_TRUE(nubbo::e2e::writePreferences(home.path(), R"({"hasOpenedSettingsOnFirstLaunch": true, "settings.approvalMode": "manual"})"));
    const QString logs = home.path() + "/.local/state/Nubbo";
    const auto read = [&](const char* name) {
        QFile file(logs + "/" + name);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QProcess app;
    app.setProcessEnvironment(nubbo::e2e::appEnvironment(home.path()));
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(NUBBO_APP_PATH, {});
    ASSERT_TRUE(spinUntil([&] { return read("nubbo.log").contains(" start-up finished\n"); }, 60000))
        << read("nubbo.log").toStdString();

    const QString described = gdbus(QStringList{"introspect"} + kService);
    for (const char* member : {"interface dev.nubbo.Nubbo1", "Status(out s document);", "Approve(in  s id,\n",
                               "out b answered);", "Deny(in  s id,", "ShowSettings();", "Focus(in  s sessionId,\n",
                               "out s outcome);", "RequestAdded(s id,\n", "s session,\n", "b risky);",
                               "RequestAnswered(s id,\n", "s verdict);", "readonly aa{sv} Sessions",
                               "readonly s ApprovalMode", "readonly b Paused"})
        EXPECT_TRUE(described.contains(QLatin1String(member))) << member << "\n" << described.toStdString();
    EXPECT_EQ(call("org.freedesktop.DBus.Properties.Get", {"dev.nubbo.Nubbo1", "ApprovalMode"}), "(<'manual'>,)");

    QProcess monitor;
    monitor.setProcessChannelMode(QProcess::MergedChannels);
    monitor.start(NUBBO_GDBUS_PATH, QStringList{"monitor"} + kService);
    QString seen;
    const auto watch = [&](const QString& text) {
        return spinUntil([&] { return (seen += QString::fromUtf8(monitor.readAll())).contains(text); });
    };
    ASSERT_TRUE(watch("is owned by")) << seen.toStdString();

    nubbo::e2e::BridgeResult bridge;
    std::atomic<bool> finished{false};
    std::thread agent([&] {
        bridge = nubbo::e2e::runBridge(home.path(), "PermissionRequest",
                                       NUBBO_FIXTURES_DIR "/claude/PermissionRequest.Bash.json");
        finished = true;
    });
    const bool added = watch("dev.nubbo.Nubbo1.RequestAdded ('");
    const QString id = QRegularExpression("RequestAdded \\('([0-9a-f-]{36})'").match(seen).captured(1);
    const QString status = call("dev.nubbo.Nubbo1.Status");
    const QString approved = call("dev.nubbo.Nubbo1.Approve", {id});
    const bool returned = spinUntil([&] { return finished.load(); });
    const bool answered = watch(QStringLiteral("RequestAnswered ('%1', 'allow')").arg(id));
    // Coalesced a moment after the burst of changes.
    const bool propertiesChanged = watch("org.freedesktop.DBus.Properties.PropertiesChanged ('dev.nubbo.Nubbo1', {'Sessions'");
    const QString again = call("dev.nubbo.Nubbo1.Approve", {id});
    // A request no longer waiting is not there to deny either.
    const QString denied = call("dev.nubbo.Nubbo1.Deny", {id});
    if (!returned)
        app.kill();  // lets the bridge go
    agent.join();

    ASSERT_TRUE(added) << seen.toStdString();
    // gdbus shows the returned string as ('…',).
    const QJsonObject document =
        QJsonDocument::fromJson(status.mid(2, status.size() - 5).toUtf8()).object();
    const QJsonObject session = document.value("sessions").toArray().at(0).toObject();
    EXPECT_EQ(session.value("request").toObject().value("id").toString(), id) << status.toStdString();
    EXPECT_EQ(session.value("state").toString(), "waitingApproval") << status.toStdString();
    EXPECT_EQ(approved, "(true,)");
    ASSERT_TRUE(returned);
    EXPECT_EQ(bridge.out,
              R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"allow"}}})" "\n");
    EXPECT_TRUE(answered) << seen.toStdString();
    EXPECT_TRUE(propertiesChanged) << seen.toStdString();
    EXPECT_EQ(again, "(false,)");
    EXPECT_EQ(denied, "(false,)");

    monitor.kill();
    monitor.waitForFinished(5000);
    app.terminate();
    if (!app.waitForFinished(10000)) app.kill();
    app.waitForFinished(5000);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
