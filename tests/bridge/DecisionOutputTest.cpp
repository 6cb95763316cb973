#include "bridge/Arguments.h"
#include "bridge/DecisionOutput.h"

#include <gtest/gtest.h>

using namespace nubbo;
using namespace nubbo::bridge;

TEST(DecisionForReply, OnlyAStringApprovalDecides) {
    const auto decide = [](std::optional<std::string> line) {
        return decisionForReply(ProviderFamily::copilot, "permissionRequest", line);
    };
    EXPECT_EQ(decide(R"({"approval":"granted"})"), R"({"behavior":"allow"})");
    EXPECT_EQ(decide(R"({"approval":"denied"})"), R"({"behavior":"deny"})");
    EXPECT_EQ(decide(R"({"approval":"Granted"})"), R"({"behavior":"deny"})");
    EXPECT_EQ(decide(R"({"approval":"granted","extra":1})"), R"({"behavior":"allow"})");
    for (const char* nothing : {"{}", R"({"approval":true})", R"({"approval":null})", "[\"granted\"]", "granted",
                                "\"granted\"", "{\"approval\":\"granted\""})
        EXPECT_EQ(decide(std::string(nothing)), std::nullopt) << nothing;
    EXPECT_EQ(decide(std::nullopt), std::nullopt);
}

TEST(DecisionForReply, ClaudeShapeCarriesTheEventAsGiven) {
    EXPECT_EQ(decisionResponse(ProviderFamily::codex, "PermissionRequest", false),
              R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"deny"}}})");
    EXPECT_EQ(decisionResponse(ProviderFamily::cline, "PreToolUse", true), R"({"cancel":false})");
}

TEST(ArgValue, ScansTheWholeVectorForAnExactMatch) {
    const std::vector<std::string> args{"nubbo-bridge", "--event", "Stop", "--source", "codex", "--source", "x"};
    EXPECT_EQ(argValue(args, "--source"), "codex");
    EXPECT_EQ(argValue(args, "--event"), "Stop");
    EXPECT_EQ(argValue(args, "--missing"), std::nullopt);
    const std::vector<std::string> last{"nubbo-bridge", "--event", "Stop", "--source"};
    EXPECT_EQ(argValue(last, "--source"), std::nullopt);
    const std::vector<std::string> joined{"nubbo-bridge", "--source=codex"};
    EXPECT_EQ(argValue(joined, "--source"), std::nullopt);
    // The program path is scanned too.
    const std::vector<std::string> program{"--event", "Notification"};
    EXPECT_EQ(argValue(program, "--event"), "Notification");
}
