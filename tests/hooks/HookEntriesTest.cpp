#include "hooks/HookEntries.h"
#include "common/ProviderRegistry.h"

#include <gtest/gtest.h>

using namespace nubbo;
using nlohmann::json;

namespace {

ProviderSpec claudeSpec(std::vector<std::string> events = {"PreToolUse", "Stop"}) {
    ProviderSpec spec;
    spec.id = "claude";
    spec.title = "Claude";
    spec.family = ProviderFamily::claude;
    spec.mechanism = HookMechanism::claudeHooks;
    spec.configRelativePath = ".claude/settings.json";
    spec.events = std::move(events);
    return spec;
}

ProviderSpec cursorSpec() {
    ProviderSpec spec;
    spec.id = "cursor";
    spec.title = "Cursor";
    spec.family = ProviderFamily::cursor;
    spec.mechanism = HookMechanism::cursorHooks;
    spec.configRelativePath = ".cursor/hooks.json";
    spec.events = {"sessionStart", "beforeShellExecution"};
    return spec;
}

const ProviderSpec& catalogued(std::string_view id) {
    return *ProviderRegistry::spec(id);
}

std::string appCommand(std::string_view event) {
    return "'/h/.nubbo/bin/nubbo-bridge' --source x --event " + std::string(event);
}

} // namespace

TEST(HookEntries, BuildsEachFormatWithTheTimeoutInTheAgentsUnitAndTheFamilysMatcher) {
    struct Case {
        const char* name;
        json actual;
        json expected;
    };
    const std::vector<Case> cases{
        {"claude tool event has matcher *",
         HookEntries::makeEntry(catalogued("claude"), "PreToolUse", "c"),
         json::parse(R"({"matcher":"*","hooks":[{"type":"command","command":"c","timeout":5}]})")},
        {"claude permission waits a day",
         HookEntries::makeEntry(catalogued("claude"), "PermissionRequest", "c"),
         json::parse(R"({"matcher":"*","hooks":[{"type":"command","command":"c","timeout":86400}]})")},
        {"claude lifecycle event has no matcher key",
         HookEntries::makeEntry(catalogued("claude"), "SessionStart", "c"),
         json::parse(R"({"hooks":[{"type":"command","command":"c","timeout":5}]})")},
        {"gemini counts milliseconds, empty matcher on tools",
         HookEntries::makeEntry(catalogued("gemini"), "BeforeTool", "c"),
         json::parse(R"({"matcher":"","hooks":[{"type":"command","command":"c","timeout":3600000}]})")},
        {"qwen speaks claude's dialect but counts milliseconds: a permission waits a day",
         HookEntries::makeEntry(catalogued("qwen"), "PermissionRequest", "c"),
         json::parse(R"({"matcher":"*","hooks":[{"type":"command","command":"c","timeout":86400000}]})")},
        {"qwen lifecycle event gets five seconds in milliseconds",
         HookEntries::makeEntry(catalogued("qwen"), "SessionStart", "c"),
         json::parse(R"({"hooks":[{"type":"command","command":"c","timeout":5000}]})")},
        {"cursor entry is flat",
         HookEntries::makeCursorEntry(catalogued("cursor"), "afterFileEdit", "c"),
         json::parse(R"({"command":"c","timeout":5})")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.actual, c.expected) << c.name;

    ProviderSpec copilot;
    copilot.id = "copilot";
    copilot.family = ProviderFamily::copilot;
    copilot.mechanism = HookMechanism::copilotFile;
    copilot.events = {"sessionStart", "permissionRequest"};
    EXPECT_EQ(HookEntries::makeOwnedFile(copilot, appCommand), json::parse(R"({"version":1,"hooks":{
        "sessionStart":[{"type":"command","bash":"'/h/.nubbo/bin/nubbo-bridge' --source x --event sessionStart","timeoutSec":5}],
        "permissionRequest":[{"type":"command","bash":"'/h/.nubbo/bin/nubbo-bridge' --source x --event permissionRequest","timeoutSec":86400}]}})"));
}

TEST(HookEntries, FilterDropsMarkedCommandsOnlyAndKeepsOrder) {
    const json hooks = json::parse(R"({
        "PreToolUse": [
            {"command": "user-first"},
            {"command": "/x/nubbo-bridge --event PreToolUse"},
            {"matcher": "*", "hooks": [{"command": "nubbo-bridge a"}, {"command": "user-inner"}, {"command": "vibe-island b"}]},
            {"matcher": "*", "hooks": [{"command": "nubbo-bridge only"}]},
            {"command": "user-last"}
        ],
        "Stop": [{"hooks": [{"command": "nubbo-bridge"}]}],
        "Weird": "not an array",
        "Mixed": [1, {"command": "nubbo-bridge"}],
        "Empty": []
    })");

    const auto appOnly = HookEntries::filterHooks(hooks, {kAppHookMarker});
    EXPECT_TRUE(appOnly.removed);
    EXPECT_EQ(appOnly.hooks, json::parse(R"({
        "PreToolUse": [
            {"command": "user-first"},
            {"matcher": "*", "hooks": [{"command": "user-inner"}, {"command": "vibe-island b"}]},
            {"command": "user-last"}
        ],
        "Weird": "not an array",
        "Mixed": [1]
    })")) << "an emptied event goes; values that are not arrays, and items that are not objects, stay";

    const auto both = HookEntries::filterHooks(hooks, {kVibeIslandMarker, kAppHookMarker});
    EXPECT_EQ(both.hooks["PreToolUse"][1], json::parse(R"({"matcher": "*", "hooks": [{"command": "user-inner"}]})"));

    const auto nothing = HookEntries::filterHooks(json::parse(R"({"Stop":[{"command":"mine"}]})"), {kAppHookMarker});
    EXPECT_FALSE(nothing.removed);
}

TEST(HookEntries, MergeKeepsUserEntriesAndKeysAndIsIdempotent) {
    const json user = json::parse(R"j({
        "model": "opus", "permissions": {"allow": ["Bash(ls)"]},
        "hooks": {
            "PreToolUse": [{"matcher": "Bash", "hooks": [{"type": "command", "command": "audit.sh"}]}],
            "Stop": [{"hooks": [{"type": "command", "command": "/Applications/vibe-island/hook"}]}],
            "SessionStart": [{"hooks": [{"type": "command", "command": "hello"}]}]
        }
    })j");
    const ProviderSpec spec = claudeSpec();
    const json once = HookEntries::merge(user, spec, appCommand);

    EXPECT_EQ(once["model"], "opus");
    EXPECT_EQ(once["permissions"], user["permissions"]);
    EXPECT_EQ(once["hooks"]["SessionStart"], user["hooks"]["SessionStart"]) << "events the app does not use stay";
    ASSERT_EQ(once["hooks"]["PreToolUse"].size(), 2u);
    EXPECT_EQ(once["hooks"]["PreToolUse"][0], user["hooks"]["PreToolUse"][0]);
    EXPECT_EQ(once["hooks"]["PreToolUse"][1], HookEntries::makeEntry(spec, "PreToolUse", appCommand("PreToolUse")))
        << "the app's group is appended after the user's";
    EXPECT_EQ(once["hooks"]["Stop"], json::array({HookEntries::makeEntry(spec, "Stop", appCommand("Stop"))}))
        << "Vibe Island's entry is replaced";

    EXPECT_EQ(HookEntries::merge(once, spec, appCommand), once) << "a second merge changes nothing";
    EXPECT_TRUE(HookEntries::isWired(once, spec.events));
}

TEST(HookEntries, MergeRepairsAMixedGroupWithoutLosingTheUserCommand) {
    const json mixed = json::parse(R"({"hooks":{"PreToolUse":[
        {"matcher":"*","hooks":[{"type":"command","command":"nubbo-bridge old"},{"type":"command","command":"lint"}]}]}})");
    const json merged = HookEntries::merge(mixed, claudeSpec({"PreToolUse"}), appCommand);
    EXPECT_EQ(merged["hooks"]["PreToolUse"], json::parse(R"([
        {"matcher":"*","hooks":[{"type":"command","command":"lint"}]},
        {"matcher":"*","hooks":[{"type":"command","command":"'/h/.nubbo/bin/nubbo-bridge' --source x --event PreToolUse","timeout":5}]}])"));
}

// A stray value in an event's list must not hide the app's entry: else every start would add another.
TEST(HookEntries, AStrayItemInAListStaysAndTheAppsEntryIsStillFound) {
    const json stray = json::parse(R"({"hooks":{"PreToolUse":[{"command":"lint"},42]}})");
    const ProviderSpec spec = claudeSpec({"PreToolUse"});
    const json merged = HookEntries::merge(stray, spec, appCommand);
    EXPECT_TRUE(HookEntries::isWired(merged, spec.events));
    EXPECT_EQ(HookEntries::merge(merged, spec, appCommand), merged);
    const auto stripped = HookEntries::strip(merged);
    ASSERT_TRUE(stripped);
    EXPECT_EQ(*stripped, stray);
}

TEST(HookEntries, CursorVersionIsKeptWhenIntegerElseOne) {
    struct Case {
        const char* input;
        json version;
    };
    const std::vector<Case> cases{
        {R"({})", 1},
        {R"({"version": 2})", 2},
        {R"({"version": "2"})", 1},
        {R"({"version": 1.5})", 1},
    };
    for (const auto& c : cases) {
        const json merged = HookEntries::merge(json::parse(c.input), cursorSpec(), appCommand);
        EXPECT_EQ(merged["version"], c.version) << c.input;
        EXPECT_EQ(merged["hooks"]["beforeShellExecution"],
                  json::array({json{{"command", appCommand("beforeShellExecution")}, {"timeout", 86400}}}))
            << c.input;
    }
    EXPECT_FALSE(HookEntries::merge(json::object(), claudeSpec(), appCommand).contains("version"))
        << "only the flat format carries a version";
}

TEST(HookEntries, StripRemovesOnlyAppCommandsAndReportsWhetherItDid) {
    const json installed = HookEntries::merge(
        json::parse(R"({"x":1,"hooks":{"PreToolUse":[{"hooks":[{"command":"user"}]}],"Stop":[{"command":"vibe-island"}]}})"),
        claudeSpec({"PreToolUse", "SessionEnd"}), appCommand);
    // Put a Vibe Island entry back as a restore would.
    json restored = installed;
    restored["hooks"]["Stop"] = json::parse(R"([{"command":"vibe-island"}])");

    const auto stripped = HookEntries::strip(restored);
    ASSERT_TRUE(stripped.has_value());
    EXPECT_EQ(*stripped, json::parse(R"({"x":1,"hooks":{"PreToolUse":[{"hooks":[{"command":"user"}]}],"Stop":[{"command":"vibe-island"}]}})"));
    EXPECT_FALSE(HookEntries::strip(*stripped).has_value()) << "nothing left to strip means no rewrite";

    for (const char* untouched : {R"({})", R"({"hooks":[]})", R"({"hooks":{"A":[{"command":"mine"}]}})"})
        EXPECT_FALSE(HookEntries::strip(json::parse(untouched)).has_value()) << untouched;
}

TEST(HookEntries, WiredNeedsAnAppCommandOnEveryEvent) {
    const std::vector<std::string> events{"PreToolUse", "Stop"};
    struct Case {
        const char* name;
        const char* config;
        std::vector<std::string> events;
        bool wired;
    };
    const std::vector<Case> cases{
        {"both events, flat and nested", R"({"hooks":{"PreToolUse":[{"command":"nubbo-bridge"}],"Stop":[{"hooks":[{"command":"a nubbo-bridge b"}]}]}})", events, true},
        {"one event missing", R"({"hooks":{"PreToolUse":[{"command":"nubbo-bridge"}]}})", events, false},
        {"user command only", R"({"hooks":{"PreToolUse":[{"command":"x"}],"Stop":[{"command":"nubbo-bridge"}]}})", events, false},
        {"not an array of objects", R"({"hooks":{"PreToolUse":"nubbo-bridge","Stop":[{"command":"nubbo-bridge"}]}})", events, false},
        {"no hooks object", R"({"hooks":[]})", events, false},
        {"no events at all", R"({})", {}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HookEntries::isWired(json::parse(c.config), c.events), c.wired) << c.name;
}

TEST(HookEntries, SerialisesSortedPrettyAndWithPlainSlashes) {
    const json value = json::parse(R"({"b":"/usr/bin/x","a":{"d":1,"c":"é"}})");
    EXPECT_EQ(HookEntries::serialise(value), "{\n  \"a\": {\n    \"c\": \"é\",\n    \"d\": 1\n  },\n  \"b\": \"/usr/bin/x\"\n}\n");
}
