#include "common/ProviderRegistry.h"

#include "common/Utf8Text.h"

#include <utility>

namespace nubbo {
namespace {

std::vector<std::string> claudeEvents() {
    return {"SessionStart", "SessionEnd", "Stop", "UserPromptSubmit", "PreToolUse",
            "PostToolUse",  "PreCompact", "Notification", "PermissionRequest"};
}

// `folderVariable` names the agent's own config folder, ~/.<id> by default; empty when nothing moves it.
ProviderSpec claudeCompatible(std::string id, std::string title, std::string icon, std::string folderVariable) {
    std::string config = "." + id + "/settings.json";
    std::string exe = id;
    std::string inside = folderVariable.empty() ? "" : "settings.json";
    return {std::move(id), std::move(title), std::move(icon), ProviderFamily::claude, {std::move(exe)},
            HookMechanism::claudeHooks, std::move(config), claudeEvents(), false, std::move(folderVariable),
            std::move(inside)};
}

} // namespace

const std::vector<ProviderSpec>& ProviderRegistry::all() {
    static const std::vector<ProviderSpec> catalogue{
        {"claude", "Claude", "sparkles", ProviderFamily::claude, {"claude"}, HookMechanism::claudeHooks,
         ".claude/settings.json", claudeEvents(), true, "CLAUDE_CONFIG_DIR", "settings.json"},
        {"codex", "Codex", "terminal", ProviderFamily::codex, {"codex"}, HookMechanism::claudeHooks,
         ".codex/hooks.json",
         {"SessionStart", "Stop", "PreToolUse", "PostToolUse", "PreCompact", "PostCompact", "UserPromptSubmit",
          "PermissionRequest"},
         true, "CODEX_HOME", "hooks.json"},
        // GEMINI_CLI_HOME stands for the home folder: Gemini reads <it>/.gemini/settings.json.
        {"gemini", "Gemini", "diamond", ProviderFamily::gemini, {"gemini"}, HookMechanism::claudeHooks,
         ".gemini/settings.json",
         {"SessionStart", "SessionEnd", "BeforeAgent", "AfterAgent", "Notification", "BeforeTool", "AfterTool",
          "PreCompress"},
         true, "GEMINI_CLI_HOME", ".gemini/settings.json"},
        // OpenCode loads plug-ins from its folder under the XDG config home; an OPENCODE_CONFIG_DIR only adds
        // a folder beside that one.
        {"opencode", "OpenCode", "curlybraces", ProviderFamily::bespoke, {"opencode"}, HookMechanism::jsPlugin,
         ".config/opencode/plugins/nubbo.js", {}, true, "XDG_CONFIG_HOME", "opencode/plugins/nubbo.js"},
        claudeCompatible("qwen", "Qwen Code", "q.square", "QWEN_HOME"),
        claudeCompatible("qoder", "Qoder", "q.circle", "QODER_CONFIG_DIR"),
        claudeCompatible("codebuddy", "CodeBuddy", "person.2", "CODEBUDDY_CONFIG_DIR"),
        // Kimi Code reads [[hooks]] tables from its config.toml; it refuses the whole file over an event it
        // does not know, so only events it documents are listed.
        {"kimi", "Kimi", "k.square", ProviderFamily::kimi, {"kimi"}, HookMechanism::tomlHooks,
         ".kimi-code/config.toml",
         {"SessionStart", "SessionEnd", "UserPromptSubmit", "PreToolUse", "PostToolUse", "PostToolUseFailure",
          "Stop", "StopFailure", "PreCompact", "PostCompact", "Notification", "PermissionRequest",
          "PermissionResult"},
         false, "KIMI_CODE_HOME", "config.toml"},
        claudeCompatible("iflow", "iFlow", "wind", ""),
        {"cursor", "Cursor", "cursorarrow.rays", ProviderFamily::cursor, {"cursor-agent", "cursor"},
         HookMechanism::cursorHooks, ".cursor/hooks.json",
         {"sessionStart", "beforeShellExecution", "afterShellExecution", "beforeMCPExecution", "afterMCPExecution",
          "afterFileEdit"},
         false},
        {"copilot", "Copilot CLI", "chevron.left.forwardslash.chevron.right", ProviderFamily::copilot, {"copilot"},
         HookMechanism::copilotFile, ".copilot/hooks/nubbo-bridge.json",
         {"sessionStart", "sessionEnd", "userPromptSubmitted", "preToolUse", "postToolUse", "agentStop",
          "preCompact", "notification", "permissionRequest"},
         false, "COPILOT_HOME", "hooks/nubbo-bridge.json"},
        // Cline 3 (the CLI and the extension share its core) reads hook scripts from Documents/Cline/Hooks
        // and ~/.cline/hooks, named by event; TaskComplete is its only word that the task is done, and
        // SessionShutdown that the session is over. Its CLINE_DIR moves only ~/.cline: the Documents folder is
        // read whatever it says.
        {"cline", "Cline", "c.square", ProviderFamily::cline, {"cline"}, HookMechanism::scriptDir,
         "Documents/Cline/Hooks",
         {"TaskStart", "TaskResume", "TaskCancel", "UserPromptSubmit", "PreToolUse", "PostToolUse", "TaskComplete",
          "SessionShutdown"},
         false},
    };
    return catalogue;
}

const std::unordered_map<std::string, const ProviderSpec*>& ProviderRegistry::byID() {
    static const auto table = [] {
        std::unordered_map<std::string, const ProviderSpec*> map;
        for (const auto& spec : all()) map.emplace(spec.id, &spec);
        return map;
    }();
    return table;
}

const ProviderSpec* ProviderRegistry::spec(std::string_view id) {
    const auto& table = byID();
    const auto it = table.find(text::lowercased(id));
    return it == table.end() ? nullptr : it->second;
}

std::string_view ProviderRegistry::unifiedType(std::string_view name) {
    // In table order; the first row naming the event wins.
    static constexpr std::pair<std::string_view, std::string_view> rows[] = {
        {"SessionStart", "agentStarted"},
        {"BeforeAgent", "agentStarted"},
        {"sessionStart", "agentStarted"},
        {"TaskStart", "agentStarted"},
        {"SessionEnd", "agentStopped"},
        {"sessionEnd", "agentStopped"},
        {"TaskCancel", "agentStopped"},
        {"SessionShutdown", "agentStopped"},
        {"UserPromptSubmit", "thinking"},
        {"userPromptSubmitted", "thinking"},
        {"beforeSubmitPrompt", "thinking"},
        {"TaskResume", "thinking"},
        {"PreToolUse", "coding"},
        {"PostToolUse", "coding"},
        {"AfterTool", "coding"},
        {"preToolUse", "coding"},
        {"postToolUse", "coding"},
        {"postToolUseFailure", "coding"},
        {"PostToolUseFailure", "coding"},
        {"PermissionResult", "coding"},
        {"afterShellExecution", "coding"},
        {"afterMCPExecution", "coding"},
        {"afterFileEdit", "coding"},
        {"beforeReadFile", "coding"},
        {"subagentStart", "coding"},
        {"subagentStop", "coding"},
        {"errorOccurred", "coding"},
        {"PreCompact", "contextCompacting"},
        {"PreCompress", "contextCompacting"},
        {"preCompact", "contextCompacting"},
        {"PostCompact", "thinking"},
        {"PostCompress", "thinking"},
        {"Stop", "responding"},
        {"stop", "responding"},
        {"agentStop", "responding"},
        {"AfterAgent", "taskCompleted"},
        {"TaskComplete", "taskCompleted"},
        {"StopFailure", "taskFailed"},
        {"Notification", "inputRequired"},
        {"notification", "inputRequired"},
        {"PermissionRequest", "approvalRequired"},
        {"BeforeTool", "approvalRequired"},
        {"permissionRequest", "approvalRequired"},
    };
    for (const auto& [native, unified] : rows)
        if (native == name) return unified;
    return "coding";
}

bool ProviderRegistry::notificationAsksUser(std::string_view notificationType) {
    // Listed are the kinds that ask; the agents keep adding kinds that only report, so an unknown kind
    // is taken as a report rather than left to park the pet at "waiting for your input".
    static constexpr std::string_view asking[] = {
        "permission_prompt",         // Claude Code, Qwen Code, Copilot CLI
        "worker_permission_prompt",  // Claude Code, for a sub-agent
        "elicitation_dialog",        // Claude Code, Copilot CLI: an MCP server asks a question
        "agent_needs_input",         // Claude Code
        "ToolPermission",            // Gemini CLI
    };
    if (notificationType.empty()) return true;
    for (auto kind : asking)
        if (kind == notificationType) return true;
    return false;
}

} // namespace nubbo
