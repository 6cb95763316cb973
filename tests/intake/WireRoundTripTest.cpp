// Each kind of record the bridge writes reads back through the app's decoder member for member.
#include "bridge/EventRecord.h"
#include "intake/IncomingEvent.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace {

using nubbo::IncomingEvent;
using nubbo::bridge::EventRecord;

TEST(WireRoundTrip, EveryRecordTheBridgeWritesDecodesMemberForMember) {
    const struct {
        const char* name;
        const char* source;
        const char* event;
        const char* type;
        const char* payload;
        std::optional<std::string> say;
    } cases[] = {
        {"request", "claude", "PermissionRequest", "approvalRequired",
         R"({"tool_name":"Bash","tool_input":{"command":"rm -rf \"build\"\nls"},"cwd":"/home/ü/p","session_id":"s1"})",
         std::nullopt},
        {"post event", "gemini", "AfterTool", "coding",
         R"({"tool_name":"read_file","tool_input":{"file_path":"a.c"},"session_id":"g2"})", "Reading 設定 now"},
        {"narration", "codex", "Stop", "responding", R"({"cwd":"/w","session_id":"c3"})", "Done, \"all\" pass."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto fields = nubbo::bridge::extractFields(nubbo::bridge::parsePayload(c.payload));
        const EventRecord sent = nubbo::bridge::buildEventRecord(c.source, c.event, c.type, fields, c.say);
        const std::string line = sent.toJson();
        const auto read = IncomingEvent::decode(line);
        ASSERT_TRUE(read) << line;
        EXPECT_EQ(read->provider, sent.provider);
        EXPECT_EQ(read->type, sent.type);
        EXPECT_EQ(read->message, sent.message);
        EXPECT_EQ(read->command, sent.command);
        EXPECT_EQ(read->toolName, sent.toolName);
        EXPECT_EQ(read->say, sent.say);
        EXPECT_EQ(read->phase, sent.phase);
        EXPECT_EQ(read->cwd, sent.cwd);
        EXPECT_EQ(read->sessionId, sent.sessionId);
        EXPECT_FALSE(read->exitCode);
        // Nothing the bridge writes goes unread.
        const std::size_t members = 3 + sent.command.has_value() + sent.toolName.has_value() + sent.say.has_value() +
                                    sent.phase.has_value() + sent.cwd.has_value() + sent.sessionId.has_value();
        EXPECT_EQ(nlohmann::json::parse(line).size(), members) << line;
    }
}

} // namespace
