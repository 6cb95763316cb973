// The bus behind the real socket: logging, trust decisions, parking and the hop to the main thread.
#include "intake/AgentEventBus.h"
#include "platform/JsonPreferencesDomain.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"
#include "SocketTestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace nubbo;
using namespace nubbo::test;

namespace {

class RecordingSink : public EventSink {
public:
    void apply(const AgentEvent& event) override { events.push_back(event); }
    void withdrawApproval(const QUuid& eventId) override { withdrawn.push_back(eventId); }
    std::vector<AgentEvent> events;
    std::vector<QUuid> withdrawn;
};

// Runs the event loop until the condition holds (bounded; the loop does the waiting, not a sleep).
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class EventBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        AgentEventBus::Options options;
        options.server.socketPath = QString::fromStdString(socketPath);
        options.server.log = [](const QString&) {};
        options.agentLogPath = QString::fromStdString(dir.path() + "/agent.log");
        options.now = [] { return QDateTime(QDate(2026, 1, 31), QTime(9, 15, 2), QTimeZone::utc()); };
        bus = std::make_unique<AgentEventBus>(settings, sink, options);
        bus->start();
        ASSERT_TRUE(bus->socketServer().waitUntilStarted(5s));
    }

    QStringList agentLog() const {
        QFile file(QString::fromStdString(dir.path() + "/agent.log"));
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    const AgentEvent* waitForEvent(std::size_t count) {
        return waitUntil([&] { return sink.events.size() >= count; }) ? &sink.events[count - 1] : nullptr;
    }

    TempDir dir;
    std::string socketPath = dir.path() + "/nubbo.sock";
    JsonPreferencesDomain preferences{QString::fromStdString(dir.path() + "/preferences.json")};
    nubbo::fakes::MemorySecretStore secrets;
    nubbo::fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{"en-US"}; }};
    RecordingSink sink;
    std::unique_ptr<AgentEventBus> bus;
};

TEST_F(EventBusTest, OrdinaryEventsAreLoggedAndReachTheMainThreadOnce) {
    EXPECT_EQ(requestReply(socketPath,
                           R"({"provider":"claude","type":"coding","toolName":"Bash","command":"npm test","sessionId":"s"})"
                           "\n"),
              "{\"ok\":true}\n");
    const auto* event = waitForEvent(1);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->type, AgentEventType::coding);
    EXPECT_EQ(event->command, "npm test");
    EXPECT_EQ(bus->lastEvent()->id, event->id);
    EXPECT_EQ(agentLog(), QStringList{"[2026-01-31 09:15:02 +0000] Claude coding: Running npm test"});

    requestReply(socketPath, R"({"provider":"myagent","type":"taskCompleted"})" "\n");
    ASSERT_TRUE(waitForEvent(2));
    EXPECT_EQ(agentLog().last(), "[2026-01-31 09:15:02 +0000] Myagent taskCompleted: Done");
    QCoreApplication::processEvents();
    EXPECT_EQ(sink.events.size(), 2u);
}

TEST_F(EventBusTest, TrustedRequestsAreGrantedAtOnceAndShownAsToolWork) {
    settings.setApprovalMode(ApprovalMode::smart);
    Client agent(socketPath);
    agent.send(R"({"provider":"codex","type":"approvalRequired","message":"Bash","toolName":"Bash",)"
               R"("command":"git status --short","sessionId":"s1","cwd":"/p","say":"Checking."})" "\n");
    EXPECT_EQ(agent.readAll(), "{\"approval\":\"granted\"}\n");
    const auto* event = waitForEvent(1);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->type, AgentEventType::coding);
    EXPECT_EQ(event->provider.rawValue(), "codex");
    EXPECT_EQ(event->command, "git status --short");
    EXPECT_EQ(event->sessionId, "s1");
    EXPECT_EQ(event->cwd, "/p");
    EXPECT_EQ(event->say, std::nullopt);
    EXPECT_EQ(bus->parkedCount(), 0u);
    // The request was logged; the synthetic event was not.
    EXPECT_EQ(agentLog(), QStringList{"[2026-01-31 09:15:02 +0000] Codex approvalRequired: Approval requested: git status --short"});

    // Without a command, the message is what is judged and shown.
    settings.setApprovalMode(ApprovalMode::fullAuto);
    EXPECT_EQ(requestReply(socketPath, R"({"type":"approvalRequired","message":"ls -la"})" "\n"),
              "{\"approval\":\"granted\"}\n");
    event = waitForEvent(2);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->command, "ls -la");
    EXPECT_EQ(event->type, AgentEventType::coding);
}

// Gemini asks the user itself after an allow: in manual mode a read goes on at once as tool work, and only a
// dangerous command waits, for a veto.
TEST_F(EventBusTest, AnAgentThatCanOnlyBeVetoedWaitsOnlyForDangerousRequests) {
    settings.setApprovalMode(ApprovalMode::manual);
    EXPECT_EQ(requestReply(socketPath, R"({"provider":"gemini","type":"approvalRequired","toolName":"read_file",)"
                                       R"("command":"/p/notes.md","sessionId":"g"})" "\n"),
              "{\"approval\":\"granted\"}\n");
    const auto* event = waitForEvent(1);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->type, AgentEventType::coding);

    Client agent(socketPath);
    agent.send(R"({"provider":"gemini","type":"approvalRequired","toolName":"run_shell_command",)"
               R"("command":"rm -rf build","sessionId":"g"})" "\n");
    event = waitForEvent(2);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->type, AgentEventType::approvalRequired);
    EXPECT_EQ(bus->parkedCount(), 1u);
    bus->resolveApproval(event->id, false);
    EXPECT_EQ(agent.readAll(), "{\"approval\":\"denied\"}\n");

    // Claude's allow does grant: it waits in manual mode as before.
    Client claude(socketPath);
    claude.send(R"({"provider":"claude","type":"approvalRequired","command":"cat notes.md"})" "\n");
    ASSERT_TRUE(waitForEvent(3));
    EXPECT_EQ(sink.events[2].type, AgentEventType::approvalRequired);
}

TEST_F(EventBusTest, AnAllowedRequestIsReplacedByANewEvent) {
    settings.setApprovalMode(ApprovalMode::fullAuto);
    AgentEvent request;
    request.id = QUuid::createUuid();
    request.provider = AgentProvider("gemini");
    request.type = AgentEventType::approvalRequired;
    request.message = "run_shell_command";
    request.command = "ls";
    request.exitCode = 3;
    std::vector<bool> verdicts;
    bus->publish(request, [&](std::optional<bool> granted) { verdicts.push_back(granted.value()); });
    EXPECT_EQ(verdicts, std::vector<bool>{true});
    const auto* event = waitForEvent(1);
    ASSERT_TRUE(event);
    EXPECT_NE(event->id, request.id);
    EXPECT_FALSE(event->id.isNull());
    EXPECT_EQ(event->exitCode, std::nullopt);
    EXPECT_EQ(event->message, "run_shell_command");

    // A request nobody waits on is still shown, and parks nothing.
    settings.setApprovalMode(ApprovalMode::manual);
    request.id = QUuid::createUuid();
    request.provider = AgentProvider("claude");
    bus->publish(request, nullptr);
    event = waitForEvent(2);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->id, request.id);
    EXPECT_EQ(bus->parkedCount(), 0u);
}

TEST_F(EventBusTest, OtherRequestsWaitForTheirOwnVerdicts) {
    Client first(socketPath), second(socketPath);
    first.send(R"({"type":"approvalRequired","command":"touch a"})" "\n");
    const auto* firstEvent = waitForEvent(1);
    ASSERT_TRUE(firstEvent);
    const QUuid firstId = firstEvent->id;
    second.send(R"({"type":"approvalRequired","command":"sudo rm -rf /"})" "\n");
    const auto* secondEvent = waitForEvent(2);
    ASSERT_TRUE(secondEvent);
    const QUuid secondId = secondEvent->id;
    EXPECT_EQ(secondEvent->type, AgentEventType::approvalRequired);
    EXPECT_EQ(bus->parkedCount(), 2u);
    EXPECT_TRUE(first.staysSilent(50ms));

    bus->resolveApproval(secondId, false);
    EXPECT_EQ(second.readAll(), "{\"approval\":\"denied\"}\n");
    EXPECT_TRUE(first.staysSilent(50ms));
    EXPECT_TRUE(bus->resolveApproval(firstId, true));
    EXPECT_FALSE(bus->resolveApproval(firstId, false));  // already answered: nothing
    EXPECT_EQ(first.readAll(), "{\"approval\":\"granted\"}\n");
    EXPECT_EQ(bus->parkedCount(), 0u);

    // A request nobody can answer any more is let go without a verdict: the agent asks the user itself.
    Client third(socketPath);
    third.send(R"({"type":"approvalRequired","command":"make deploy"})" "\n");
    const auto* thirdEvent = waitForEvent(3);
    ASSERT_TRUE(thirdEvent);
    const QUuid thirdId = thirdEvent->id;
    bus->releaseApproval(thirdId);
    EXPECT_EQ(third.readAll(), "");
    EXPECT_FALSE(bus->resolveApproval(thirdId, true));
    EXPECT_EQ(bus->parkedCount(), 0u);
}

TEST_F(EventBusTest, AProducerThatHangsUpIsForgottenAndItsCardWithdrawn) {
    {
        Client agent(socketPath);
        agent.send(R"({"type":"approvalRequired","command":"make"})" "\n");
        ASSERT_TRUE(waitForEvent(1));
        EXPECT_EQ(bus->parkedCount(), 1u);
    }
    EXPECT_TRUE(waitUntil([&] { return bus->parkedCount() == 0 && !sink.withdrawn.empty(); }));
    EXPECT_EQ(sink.withdrawn, std::vector{sink.events[0].id});
    bus->resolveApproval(sink.events[0].id, true);  // nobody left to answer; must not fail
}

} // namespace
