#include "model/AgentEvent.h"
#include "intake/IncomingEvent.h"
#include "model/AgentTitle.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

using namespace nubbo;

TEST(AgentEventTypes, RawValuesAreExactNames) {
    for (auto type : kAllAgentEventTypes) EXPECT_EQ(agentEventTypeFromRaw(rawValue(type)), type);
    EXPECT_EQ(kAllAgentEventTypes.size(), 11u);
    EXPECT_EQ(agentEventTypeFromRaw("Coding"), std::nullopt);
    EXPECT_EQ(agentEventTypeFromRaw("Stop"), std::nullopt);
}

TEST(AgentProviders, OpenEndedIdsWithCatalogueTitles) {
    EXPECT_EQ(AgentProvider("Codex").rawValue(), "codex");
    EXPECT_EQ(AgentProvider("copilot").displayTitle(), "Copilot CLI");
    EXPECT_EQ(AgentProvider("myagent").displayTitle(), "Myagent");
    EXPECT_EQ(AgentProvider("MY agent").displayTitle(), "My Agent");
    EXPECT_EQ(AgentProvider("myagent").spec(), nullptr);
    const auto all = AgentProvider::allCases();
    ASSERT_EQ(all.size(), 12);
    EXPECT_EQ(all.front().rawValue(), "claude");
    EXPECT_EQ(all.back().rawValue(), "cline");
}

TEST(AgentEventJson, KeyedFormRoundTripsAndRequiresItsCore) {
    AgentEvent event;
    event.id = QUuid::createUuid();
    event.provider = AgentProvider("qwen");
    event.type = AgentEventType::coding;
    event.message = "Bash";
    event.command = "npm test";
    event.exitCode = 1;
    const auto json = event.toJson();
    EXPECT_EQ(json.keys(), (QStringList{"command", "exitCode", "id", "message", "provider", "type"}));
    const auto back = AgentEvent::fromJson(QJsonDocument::fromJson(QJsonDocument(json).toJson()).object());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, event);

    for (const char* key : {"id", "provider", "type", "message"}) {
        auto missing = json;
        missing.remove(key);
        EXPECT_EQ(AgentEvent::fromJson(missing), std::nullopt) << key;
    }
    auto badType = json;
    badType["type"] = "Stop";
    EXPECT_EQ(AgentEvent::fromJson(badType), std::nullopt);
    auto badExit = json;
    badExit["exitCode"] = 1.5;
    EXPECT_EQ(AgentEvent::fromJson(badExit), std::nullopt);
}

TEST(IncomingEvents, EachRequestGetsAFreshId) {
    const auto request = IncomingEvent::decode(R"({"type":"coding"})");
    ASSERT_TRUE(request);
    EXPECT_NE(request->toAgentEvent().id, request->toAgentEvent().id);
    EXPECT_EQ(IncomingEvent::decode(R"({"provider":""})")->toAgentEvent().provider.rawValue(), "claude");
    EXPECT_EQ(IncomingEvent::decode(R"({"exitCode":-2147483648})")->exitCode, INT32_MIN);
}

TEST(IncomingEvents, AHostIsKeptOnlyWhenWellFormedAndNotThisMachine) {
    const struct {
        const char* line;
        std::optional<QString> host;
    } cases[] = {
        {R"({"host":"build-box"})", QStringLiteral("build-box")},
        {R"({"host":"this-machine"})", std::nullopt},
        {R"({"host":""})", std::nullopt},
        {R"({"host":"two words"})", std::nullopt},
        {R"({"host":"box\u001b[2J"})", std::nullopt},
        {R"({"host":42})", std::nullopt},
        {R"({})", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto request = IncomingEvent::decode(c.line);
        ASSERT_TRUE(request) << c.line;  // a bad host never costs the event
        EXPECT_EQ(request->toAgentEvent(QStringLiteral("this-machine")).host, c.host) << c.line;
    }
    EXPECT_EQ(agentTitle(AgentProvider(QStringLiteral("claude")), QStringLiteral("build-box"), Language::en),
              "Claude on build-box");
    EXPECT_EQ(agentTitle(AgentProvider(QStringLiteral("claude")), std::nullopt, Language::zh), "Claude");
}
