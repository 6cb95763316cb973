#include "PayloadFields.h"

#include <initializer_list>

namespace nubbo::bridge {
namespace {

std::optional<std::string> nonEmptyString(const nlohmann::json& object, std::string_view key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    const auto& value = it->get_ref<const std::string&>();
    if (value.empty()) return std::nullopt;
    return value;
}

std::optional<std::string> firstNonEmpty(const nlohmann::json& object, std::initializer_list<std::string_view> keys) {
    for (auto key : keys)
        if (auto value = nonEmptyString(object, key)) return value;
    return std::nullopt;
}

std::optional<std::string> toolNameOf(const nlohmann::json& payload) {
    if (auto name = firstNonEmpty(payload, {"tool_name", "toolName"})) return name;
    const auto tool = payload.find("tool");
    if (tool != payload.end() && tool->is_object()) return nonEmptyString(*tool, "name");
    return std::nullopt;
}

std::optional<std::string> commandOf(const nlohmann::json& payload) {
    if (auto command = nonEmptyString(payload, "command")) return command;
    // Every inner key of one container is tried before the next container is looked at.
    for (auto container : {"tool_input", "toolInput", "input", "arguments", "args"}) {
        const auto it = payload.find(container);
        if (it == payload.end() || !it->is_object()) continue;
        if (auto value = firstNonEmpty(*it, {"command", "file_path", "filePath", "path", "pattern", "query", "url"}))
            return value;
    }
    return std::nullopt;
}

} // namespace

nlohmann::json parsePayload(std::string_view stdinData) {
    auto parsed = nlohmann::json::parse(stdinData, nullptr, /*allow_exceptions=*/false);
    if (!parsed.is_object()) return nlohmann::json::object();
    return parsed;
}

PayloadFields extractFields(const nlohmann::json& payload) {
    PayloadFields fields;
    if (!payload.is_object()) return fields;
    fields.toolName = toolNameOf(payload);
    fields.command = commandOf(payload);
    fields.message = firstNonEmpty(payload, {"message", "notification"});
    fields.notificationType = firstNonEmpty(payload, {"notification_type", "notificationType"});
    fields.sessionId = firstNonEmpty(payload, {"session_id", "sessionId"});
    fields.cwd = nonEmptyString(payload, "cwd");
    fields.transcriptPath = firstNonEmpty(payload, {"transcript_path", "transcriptPath"});
    fields.lastAssistantMessage = nonEmptyString(payload, "last_assistant_message");
    return fields;
}

} // namespace nubbo::bridge
