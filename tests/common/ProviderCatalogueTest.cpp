#include "common/ProviderFamily.h"
#include "common/ProviderRegistry.h"
#include "common/ProviderSpec.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>

using namespace nubbo;

namespace {

std::vector<std::string> ids() {
    std::vector<std::string> out;
    for (const auto& spec : ProviderRegistry::all()) out.push_back(spec.id);
    return out;
}

} // namespace

TEST(ProviderCatalogue, TwelveAgentsInCatalogueOrder) {
    EXPECT_EQ(ids(), (std::vector<std::string>{"claude", "codex", "gemini", "opencode", "qwen", "qoder", "codebuddy",
                                                "kimi", "iflow", "cursor", "copilot", "cline"}));
    std::set<std::string> confirmed;
    for (const auto& spec : ProviderRegistry::all())
        if (spec.confirmed) confirmed.insert(spec.id);
    EXPECT_EQ(confirmed, (std::set<std::string>{"claude", "codex", "gemini", "opencode"}));
    EXPECT_EQ(ProviderRegistry::byID().size(), 12u);
}

TEST(ProviderCatalogue, EntriesCarryTheirWiring) {
    const auto* claude = ProviderRegistry::spec("claude");
    ASSERT_NE(claude, nullptr);
    EXPECT_EQ(claude->events, (std::vector<std::string>{"SessionStart", "SessionEnd", "Stop", "UserPromptSubmit",
                                                         "PreToolUse", "PostToolUse", "PreCompact", "Notification",
                                                         "PermissionRequest"}));
    for (const char* id : {"qwen", "qoder", "codebuddy", "iflow"}) {
        const auto* spec = ProviderRegistry::spec(id);
        ASSERT_NE(spec, nullptr) << id;
        EXPECT_EQ(spec->family, ProviderFamily::claude) << id;
        EXPECT_EQ(spec->events, claude->events) << id;
        EXPECT_EQ(spec->configRelativePath, "." + std::string(id) + "/settings.json");
        EXPECT_EQ(spec->executableNames, std::vector<std::string>{id});
    }
    const auto* kimi = ProviderRegistry::spec("kimi");
    EXPECT_EQ(kimi->mechanism, HookMechanism::tomlHooks);
    EXPECT_EQ(kimi->configRelativePath, ".kimi-code/config.toml");
    EXPECT_TRUE(decisionsOnlyVeto(*kimi));
    EXPECT_EQ(hookTimeout(*kimi, "PreToolUse"), 600);  // Kimi's ceiling: more and it rejects the file
    const auto* opencode = ProviderRegistry::spec("opencode");
    EXPECT_EQ(opencode->family, ProviderFamily::bespoke);
    EXPECT_EQ(opencode->mechanism, HookMechanism::jsPlugin);
    EXPECT_TRUE(opencode->events.empty());
    EXPECT_EQ(opencode->configRelativePath, ".config/opencode/plugins/nubbo.js");

    const auto* cursor = ProviderRegistry::spec("cursor");
    EXPECT_EQ(cursor->executableNames, (std::vector<std::string>{"cursor-agent", "cursor"}));
    EXPECT_EQ(cursor->mechanism, HookMechanism::cursorHooks);
    const auto* copilot = ProviderRegistry::spec("copilot");
    EXPECT_EQ(copilot->title, "Copilot CLI");
    EXPECT_EQ(copilot->iconName, "chevron.left.forwardslash.chevron.right");
    EXPECT_EQ(copilot->configRelativePath, ".copilot/hooks/nubbo-bridge.json");
    const auto* cline = ProviderRegistry::spec("cline");
    EXPECT_EQ(cline->mechanism, HookMechanism::scriptDir);
    EXPECT_EQ(cline->configRelativePath, "Documents/Cline/Hooks");
    EXPECT_EQ(cline->events.front(), "TaskStart");
    EXPECT_EQ(ProviderRegistry::spec("codex")->configRelativePath, ".codex/hooks.json");
    EXPECT_EQ(ProviderRegistry::spec("gemini")->events.size(), 8u);
}

TEST(ProviderCatalogue, LookupIgnoresCaseButNotSpelling) {
    EXPECT_EQ(ProviderRegistry::spec("Claude"), ProviderRegistry::spec("claude"));
    EXPECT_EQ(ProviderRegistry::spec("CLAUDE")->id, "claude");
    EXPECT_EQ(ProviderRegistry::spec("iFlow")->id, "iflow");
    EXPECT_EQ(ProviderRegistry::spec("claude-code"), nullptr);
    EXPECT_EQ(ProviderRegistry::spec(""), nullptr);
}

TEST(ProviderCatalogue, UnifiedTypeIsExactAndCaseSensitive) {
    const std::pair<const char*, const char*> cases[] = {
        {"SessionStart", "agentStarted"},      {"TaskStart", "agentStarted"},   {"BeforeAgent", "agentStarted"},
        {"TaskCancel", "agentStopped"},        {"sessionEnd", "agentStopped"},  {"TaskResume", "thinking"},
        {"userPromptSubmitted", "thinking"},   {"PostCompact", "thinking"},     {"PostCompress", "thinking"},
        {"PreCompress", "contextCompacting"},  {"stop", "responding"},          {"agentStop", "responding"},
        {"AfterAgent", "taskCompleted"},       {"notification", "inputRequired"},
        {"TaskComplete", "taskCompleted"},     {"SessionShutdown", "agentStopped"},
        {"BeforeTool", "approvalRequired"},    {"permissionRequest", "approvalRequired"},
        {"afterFileEdit", "coding"},           {"STOP", "coding"},              {"", "coding"},
        {"beforeShellExecution", "coding"},    {"SomethingNew", "coding"},
    };
    for (const auto& [native, unified] : cases) EXPECT_EQ(ProviderRegistry::unifiedType(native), unified) << native;
}

TEST(ProviderFamilies, DecisionEventsTimeoutsAndMatchers) {
    EXPECT_TRUE(isDecisionEvent(ProviderFamily::cursor, "beforeMCPExecution"));
    EXPECT_TRUE(isDecisionEvent(ProviderFamily::cline, "PreToolUse"));
    EXPECT_FALSE(isDecisionEvent(ProviderFamily::claude, "permissionRequest"));
    EXPECT_TRUE(decisionEvents(ProviderFamily::bespoke).empty());

    EXPECT_EQ(hookTimeoutSeconds(ProviderFamily::cline, "PreToolUse"), 86400);
    EXPECT_EQ(hookTimeoutSeconds(ProviderFamily::claude, "PreToolUse"), 5);
    EXPECT_EQ(hookTimeoutSeconds(ProviderFamily::codex, "PermissionRequest"), 7200);
    EXPECT_EQ(hookTimeoutSeconds(ProviderFamily::bespoke, "anything"), 5);
    // Every catalogued agent waits the same time for a verdict whatever unit it reads.
    const std::pair<const char*, int> units[] = {{"claude", 1}, {"codex", 1}, {"gemini", 1000}, {"qwen", 1000},
                                                 {"qoder", 1}, {"codebuddy", 1}, {"kimi", 1}, {"iflow", 1},
                                                 {"cursor", 1}, {"copilot", 1}, {"cline", 1}};
    for (const auto& [id, perSecond] : units) {
        const ProviderSpec& spec = *ProviderRegistry::spec(id);
        for (const auto& event : decisionEvents(spec.family))
            EXPECT_EQ(hookTimeout(spec, event), hookTimeoutSeconds(spec.family, event) * perSecond) << id;
        EXPECT_EQ(hookTimeout(spec, "SessionStart"), 5 * perSecond) << id;
    }
    EXPECT_EQ(hookTimeout(*ProviderRegistry::spec("qwen"), "PermissionRequest"), 86'400'000);

    EXPECT_EQ(hookMatcher(ProviderFamily::claude, "Stop"), std::nullopt);
    EXPECT_EQ(hookMatcher(ProviderFamily::claude, "Notification"), "*");
    EXPECT_EQ(hookMatcher(ProviderFamily::codex, "PreToolUse"), std::optional<std::string>(""));
    EXPECT_EQ(hookMatcher(ProviderFamily::codex, "PermissionRequest"), std::nullopt);
    EXPECT_EQ(hookMatcher(ProviderFamily::gemini, "AfterTool"), std::optional<std::string>(""));
    EXPECT_EQ(hookMatcher(ProviderFamily::cursor, "beforeShellExecution"), std::nullopt);
}

TEST(ProviderFamilies, RawValuesRoundTripAndUnknownsFail) {
    for (auto family : kAllProviderFamilies) EXPECT_EQ(providerFamilyFromRaw(rawValue(family)), family);
    for (auto mechanism : kAllHookMechanisms) EXPECT_EQ(hookMechanismFromRaw(rawValue(mechanism)), mechanism);
    EXPECT_EQ(providerFamilyFromRaw("Claude"), std::nullopt);
    EXPECT_EQ(providerFamilyFromRaw("opencode"), std::nullopt);
    EXPECT_EQ(hookMechanismFromRaw("claudehooks"), std::nullopt);
}

TEST(ProviderSpecJson, EveryEntryRoundTrips) {
    for (const auto& spec : ProviderRegistry::all()) {
        const auto json = toJson(spec);
        EXPECT_EQ(json["family"], std::string(rawValue(spec.family)));
        EXPECT_EQ(providerSpecFromJson(nlohmann::json::parse(json.dump())), spec) << spec.id;
    }
}

TEST(ProviderSpecJson, EveryKeyIsRequiredWithItsType) {
    const auto good = toJson(*ProviderRegistry::spec("cursor"));
    for (const auto& [key, value] : good.items()) {
        auto missing = good;
        missing.erase(key);
        EXPECT_EQ(providerSpecFromJson(missing), std::nullopt) << "without " << key;
        auto wrong = good;
        wrong[key] = 7;
        EXPECT_EQ(providerSpecFromJson(wrong), std::nullopt) << "wrong type for " << key;
    }
    auto badFamily = good;
    badFamily["family"] = "vscode";
    EXPECT_EQ(providerSpecFromJson(badFamily), std::nullopt);
    auto badList = good;
    badList["events"] = nlohmann::json::array({"a", 1});
    EXPECT_EQ(providerSpecFromJson(badList), std::nullopt);
    EXPECT_EQ(providerSpecFromJson(nlohmann::json::array()), std::nullopt);
    auto extra = good;
    extra["unknown"] = true;
    EXPECT_NE(providerSpecFromJson(extra), std::nullopt);
}
