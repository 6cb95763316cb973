#include "bridge/PayloadFields.h"

#include <array>
#include <initializer_list>

namespace nubbo::bridge {
namespace {

using nlohmann::json;

// Where a tool's subject may sit in its arguments, most telling first.
constexpr std::array<std::string_view, 7> kSubjectKeys{"command", "file_path", "filePath", "path",
                                                         "pattern", "query",     "url"};
// Cline's tools take lists: run_commands {"commands": [...]}, read_files {"files": [{"path": ...}]}.
constexpr std::array<std::string_view, 2> kSubjectListKeys{"commands", "files"};

std::optional<std::string> nonEmptyString(const json& value) {
    if (!value.is_string()) return std::nullopt;
    const auto& text = value.get_ref<const std::string&>();
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<std::string> nonEmptyString(const json& object, std::string_view key) {
    const auto it = object.find(key);
    if (it == object.end()) return std::nullopt;
    return nonEmptyString(*it);
}

template <typename Keys>
std::optional<std::string> firstNonEmptyOf(const json& object, const Keys& keys) {
    for (auto key : keys)
        if (auto value = nonEmptyString(object, key)) return value;
    return std::nullopt;
}

std::optional<std::string> firstNonEmpty(const json& object, std::initializer_list<std::string_view> keys) {
    return firstNonEmptyOf(object, keys);
}

const json* objectAt(const json& object, std::string_view key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_object() ? &*it : nullptr;
}

// A JSON text, or nothing when the text is not JSON; never throws.
json parsedOrDiscarded(const std::string& text) { return json::parse(text, nullptr, /*allow_exceptions=*/false); }

// A list is shown one item a line, so an approval card names every command the agent would run, not only the
// first. Items are strings or objects naming their subject (one level deep, no further).
std::optional<std::string> listSubject(const json& value) {
    if (!value.is_array()) return nonEmptyString(value);
    std::string joined;
    for (const auto& item : value) {
        auto text = item.is_object() ? firstNonEmptyOf(item, kSubjectKeys) : nonEmptyString(item);
        if (!text) continue;
        if (!joined.empty()) joined += '\n';
        joined += *text;
    }
    if (joined.empty()) return std::nullopt;
    return joined;
}

// Cline CLI 3 sends every tool parameter JSON-encoded ("[\"ls\"]", "\"src/a.c\""); older releases sent plain
// text, which is not JSON (or only a number or word by chance) and so is read as it came. Values are only
// looked at, never copied: copying a deeply nested value recurses once per level.
template <typename Read>
std::optional<std::string> readAt(const json& arguments, std::string_view key, bool encodedValues, Read read) {
    const auto it = arguments.find(key);
    if (it == arguments.end()) return std::nullopt;
    if (encodedValues && it->is_string()) {
        // Decoded only when looked at: another parameter may be a whole file's new content.
        const json decoded = parsedOrDiscarded(it->get_ref<const std::string&>());
        if (decoded.is_string() || decoded.is_array() || decoded.is_object()) return read(decoded);
    }
    return read(*it);
}

std::optional<std::string> subjectOf(const json& arguments, bool encodedValues) {
    const auto single = [](const json& value) { return nonEmptyString(value); };
    for (auto key : kSubjectKeys)
        if (auto text = readAt(arguments, key, encodedValues, single)) return text;
    for (auto key : kSubjectListKeys)
        if (auto text = readAt(arguments, key, encodedValues, listSubject)) return text;
    return std::nullopt;
}

// Copilot CLI's toolArgs: an object in current releases, the JSON text of one in earlier ones.
std::optional<std::string> copilotSubject(const json& payload) {
    if (const json* arguments = objectAt(payload, "toolArgs")) return subjectOf(*arguments, false);
    const auto text = nonEmptyString(payload, "toolArgs");
    if (!text) return std::nullopt;
    const json decoded = parsedOrDiscarded(*text);
    if (!decoded.is_object()) return std::nullopt;
    return subjectOf(decoded, false);
}

// Cline CLI 3 names the tool and its parameters under the hook's own key.
const json* clineToolCall(const json& payload) {
    for (auto key : {"preToolUse", "postToolUse"})
        if (const json* call = objectAt(payload, key)) return call;
    return nullptr;
}

std::optional<std::string> toolNameOf(const json& payload) {
    if (auto name = firstNonEmpty(payload, {"tool_name", "toolName"})) return name;
    if (const json* tool = objectAt(payload, "tool")) return nonEmptyString(*tool, "name");
    if (const json* call = clineToolCall(payload)) return nonEmptyString(*call, "toolName");
    return std::nullopt;
}

std::optional<std::string> commandOf(const json& payload) {
    if (auto command = nonEmptyString(payload, "command")) return command;
    // Every inner key of one container is tried before the next container is looked at.
    for (auto container : {"tool_input", "toolInput", "input", "arguments", "args"})
        if (const json* arguments = objectAt(payload, container))
            if (auto value = subjectOf(*arguments, false)) return value;
    if (auto value = copilotSubject(payload)) return value;
    if (const json* call = clineToolCall(payload))
        if (const json* parameters = objectAt(*call, "parameters")) return subjectOf(*parameters, true);
    return std::nullopt;
}

} // namespace

json parsePayload(std::string_view stdinData) {
    auto parsed = json::parse(stdinData, nullptr, /*allow_exceptions=*/false);
    if (!parsed.is_object()) return json::object();
    return parsed;
}

PayloadFields extractFields(const json& payload) {
    PayloadFields fields;
    if (!payload.is_object()) return fields;
    fields.toolName = toolNameOf(payload);
    fields.command = commandOf(payload);
    fields.message = firstNonEmpty(payload, {"message", "notification"});
    fields.notificationType = firstNonEmpty(payload, {"notification_type", "notificationType"});
    fields.trigger = firstNonEmpty(payload, {"trigger"});
    fields.sessionId = firstNonEmpty(payload, {"session_id", "sessionId"});
    fields.cwd = nonEmptyString(payload, "cwd");
    // Cline 3 names its session and folder its own way: the root session (which its subagents share) and
    // the first workspace root.
    if (!fields.sessionId)
        if (const json* context = objectAt(payload, "sessionContext"))
            fields.sessionId = nonEmptyString(*context, "rootSessionId");
    if (!fields.cwd)
        if (const auto roots = payload.find("workspaceRoots");
            roots != payload.end() && roots->is_array() && !roots->empty() && (*roots)[0].is_string() &&
            !(*roots)[0].get_ref<const std::string&>().empty())
            fields.cwd = (*roots)[0].get<std::string>();
    fields.transcriptPath = firstNonEmpty(payload, {"transcript_path", "transcriptPath"});
    fields.lastAssistantMessage = nonEmptyString(payload, "last_assistant_message");
    return fields;
}

} // namespace nubbo::bridge
