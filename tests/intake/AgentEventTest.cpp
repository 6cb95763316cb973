#include "model/AgentEvent.h"
#include "intake/IncomingEvent.h"

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
