// What the bridge takes from an agent's hook payload. Only non-empty JSON strings count (and, for the
// command, Cline's lists of commands or files); anything else (numbers, objects, null, "") is treated as
// absent and the next candidate is tried. Arguments sent as JSON text (Copilot's toolArgs, Cline's
// parameters) are decoded first; text that is not JSON never fails the hook.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace nubbo::bridge {

struct PayloadFields {
    std::optional<std::string> toolName;
    std::optional<std::string> command;
    std::optional<std::string> message;
    // What kind of Notification this is (permission_prompt, idle_prompt, auth_success…).
    std::optional<std::string> notificationType;
    std::optional<std::string> trigger;  // what started a compaction: "manual" (the user asked) or "auto"
    std::optional<std::string> sessionId;
    std::optional<std::string> cwd;
    std::optional<std::string> transcriptPath;
    // The agent's closing words, which Claude Code, Qwen Code and Codex send with Stop.
    std::optional<std::string> lastAssistantMessage;
};

// The payload when it is a JSON object; an empty object for anything else (empty, invalid, array, scalar).
nlohmann::json parsePayload(std::string_view stdinData);

PayloadFields extractFields(const nlohmann::json& payload);

} // namespace nubbo::bridge
