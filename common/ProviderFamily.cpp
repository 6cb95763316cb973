#include "common/ProviderFamily.h"

#include <algorithm>

namespace nubbo {

std::string_view rawValue(ProviderFamily family) {
    switch (family) {
    case ProviderFamily::claude: return "claude";
    case ProviderFamily::codex: return "codex";
    case ProviderFamily::gemini: return "gemini";
    case ProviderFamily::cursor: return "cursor";
    case ProviderFamily::copilot: return "copilot";
    case ProviderFamily::cline: return "cline";
    case ProviderFamily::kimi: return "kimi";
    case ProviderFamily::bespoke: return "bespoke";
    }
    return "claude";
}

std::optional<ProviderFamily> providerFamilyFromRaw(std::string_view raw) {
    for (auto family : kAllProviderFamilies)
        if (rawValue(family) == raw) return family;
    return std::nullopt;
}

const std::vector<std::string_view>& decisionEvents(ProviderFamily family) {
    static const std::vector<std::string_view> permissionRequest{"PermissionRequest"};
    static const std::vector<std::string_view> beforeTool{"BeforeTool"};
    static const std::vector<std::string_view> cursor{"beforeShellExecution", "beforeMCPExecution"};
    static const std::vector<std::string_view> copilot{"permissionRequest"};
    static const std::vector<std::string_view> preToolUse{"PreToolUse"};
    static const std::vector<std::string_view> none;
    switch (family) {
    case ProviderFamily::claude:
    case ProviderFamily::codex: return permissionRequest;
    case ProviderFamily::gemini: return beforeTool;
    case ProviderFamily::cursor: return cursor;
    case ProviderFamily::copilot: return copilot;
    // Kimi's PermissionRequest only reports that its own prompt is up; its PreToolUse can veto.
    case ProviderFamily::cline:
    case ProviderFamily::kimi: return preToolUse;
    case ProviderFamily::bespoke: return none;
    }
    return none;
}

bool isDecisionEvent(ProviderFamily family, std::string_view event) {
    const auto& events = decisionEvents(family);
    return std::find(events.begin(), events.end(), event) != events.end();
}

int hookTimeoutSeconds(ProviderFamily family, std::string_view event) {
    const bool decision = isDecisionEvent(family, event);
    switch (family) {
    case ProviderFamily::codex: return decision ? 7200 : 5;
    case ProviderFamily::gemini: return decision ? 3600 : 5;
    // Kimi refuses its whole configuration over a hook time-out above 600 seconds.
    case ProviderFamily::kimi: return decision ? 600 : 5;
    case ProviderFamily::bespoke: return 5;
    default: return decision ? 86400 : 5;
    }
}

std::optional<std::string> hookMatcher(ProviderFamily family, std::string_view event) {
    switch (family) {
    case ProviderFamily::claude:
        if (event == "PreToolUse" || event == "PostToolUse" || event == "Notification" ||
            event == "PermissionRequest")
            return "*";
        return std::nullopt;
    case ProviderFamily::codex:
        if (event == "PreToolUse" || event == "PostToolUse") return "";
        return std::nullopt;
    case ProviderFamily::gemini:
        if (event == "BeforeTool" || event == "AfterTool") return "";
        return std::nullopt;
    default: return std::nullopt;
    }
}

std::string_view rawValue(HookMechanism mechanism) {
    switch (mechanism) {
    case HookMechanism::claudeHooks: return "claudeHooks";
    case HookMechanism::cursorHooks: return "cursorHooks";
    case HookMechanism::copilotFile: return "copilotFile";
    case HookMechanism::jsPlugin: return "jsPlugin";
    case HookMechanism::scriptDir: return "scriptDir";
    case HookMechanism::tomlHooks: return "tomlHooks";
    }
    return "claudeHooks";
}

std::optional<HookMechanism> hookMechanismFromRaw(std::string_view raw) {
    for (auto mechanism : kAllHookMechanisms)
        if (rawValue(mechanism) == raw) return mechanism;
    return std::nullopt;
}

} // namespace nubbo
