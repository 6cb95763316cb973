#include "sessions/AppStatus.h"

#include "ManualTime.h"
#include "model/NarrationSummarizer.h"
#include "model/PetRenderer.h"
#include "sessions/AgentSessionStore.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <QDateTime>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace nubbo {
namespace {

struct NoPet final : PetRenderer {
    void render(PetState, const std::optional<PetBubbleKind>&, bool, const std::optional<AgentProvider>&) override {}
    double facing() const override { return 1.0; }
    void setFacing(double) override {}
};

struct NoSummaries final : NarrationSummarizer {
    void summarize(const QString&, const QString&, const std::optional<QString>&) override {}
};

TEST(AppStatusTest, DocumentListsSessionsNewestFirstWithTheirOldestRequest) {
    fakes::MemoryPreferences preferences;
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{QStringLiteral("en-US")}; }};
    settings.setPauseNubbo(true);
    settings.setApprovalMode(ApprovalMode::smart);
    fakes::ManualClock clock;
    fakes::SeededRandom random{7};
    NoPet pet;
    NoSummaries summaries;
    AgentSessionStore store{settings, pet, clock, random, {}, summaries};
    // The clock read 0 at 22:43:20 UTC, so clock second 1000 is 23:00:00.
    const qint64 wallAtZero = QDateTime::fromString(QStringLiteral("2026-12-10T22:43:20Z"), Qt::ISODate).toMSecsSinceEpoch();

    const auto event = [](const char* provider, const char* session, AgentEventType type, const char* message,
                          std::optional<QString> command, std::optional<QString> cwd) {
        AgentEvent e{QUuid::createUuid(), AgentProvider(QString::fromLatin1(provider)), type,
                     QString::fromUtf8(message), command, {}, {}, {}, cwd, QString::fromLatin1(session), {}, {}};
        return e;
    };
    const AgentEvent risky = event("claude", "s:1", AgentEventType::approvalRequired, "Claude wants to run a command",
                                   QStringLiteral("sudo make install"), QStringLiteral("/src/app"));
    clock.set(1000.0), store.apply(risky);
    clock.set(1002.5), store.apply(event("claude", "s:1", AgentEventType::approvalRequired, "Claude wants to list",
                                         QStringLiteral("ls"), std::nullopt));
    AgentEvent remote = event("codex", "t2", AgentEventType::responding, "Writing the summary", std::nullopt, std::nullopt);
    remote.host = QStringLiteral("build-box");
    clock.set(1003.0), store.apply(remote);

    const QString riskyId = risky.id.toString(QUuid::WithoutBraces);
    const QJsonObject expected = QJsonDocument::fromJson(QStringLiteral(R"({
        "version": 1, "approvalMode": "smart", "paused": true,
        "sessions": [
          {"id": "t2", "agent": "codex", "host": "build-box", "cwd": null, "state": "responding",
           "activity": "Writing the summary", "updatedAt": "2026-12-10T23:00:03Z", "request": null},
          {"id": "s:1", "agent": "claude", "host": null, "cwd": "/src/app", "state": "waitingApproval",
           "activity": "Claude wants to run a command", "updatedAt": "2026-12-10T23:00:02Z",
           "request": {"id": "%1", "command": "sudo make install", "risky": true, "askedAt": "2026-12-10T23:00:00Z"}}
        ]})").arg(riskyId).toUtf8()).object();
    const QJsonObject document = appStatus(store, settings, wallAtZero);
    EXPECT_EQ(document, expected) << QJsonDocument(document).toJson().constData();

    // On the bus a null is an absent key and the request a nested map.
    const QList<QVariantMap> bus = busSessions(document.value(QStringLiteral("sessions")).toArray());
    ASSERT_EQ(bus.size(), 2);
    EXPECT_EQ(bus[0].keys(), (QStringList{"activity", "agent", "host", "id", "state", "updatedAt"}));
    EXPECT_EQ(bus[1].value(QStringLiteral("request")).toMap().value(QStringLiteral("id")).toString(), riskyId);
    EXPECT_EQ(bus[1].value(QStringLiteral("request")).toMap().value(QStringLiteral("risky")).toBool(), true);
}

} // namespace
} // namespace nubbo
