#include "bridge/Narration.h"

#include "bridge/NarrationText.h"
#include "common/Utf8Text.h"

#include <nlohmann/json.hpp>

namespace nubbo::bridge {
namespace {

using nlohmann::json;

json parseLine(const std::string& line) { return json::parse(line, nullptr, /*allow_exceptions=*/false); }

bool isArrayOfObjects(const json& value) {
    if (!value.is_array()) return false;
    for (const auto& item : value)
        if (!item.is_object()) return false;
    return true;
}

const json* member(const json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

bool hasString(const json& object, const char* key, std::string_view value) {
    const auto* v = member(object, key);
    return v && v->is_string() && v->get_ref<const std::string&>() == value;
}

// The string "text" of every item that `keep` accepts, joined with spaces.
template <typename Keep>
std::string joinedTexts(const json& items, Keep keep) {
    std::string out;
    bool first = true;
    for (const auto& item : items) {
        if (!keep(item)) continue;
        const auto* text = member(item, "text");
        if (!text || !text->is_string()) continue;
        if (!first) out.push_back(' ');
        out += text->get_ref<const std::string&>();
        first = false;
    }
    return out;
}

bool anyItem(const json&) { return true; }
bool textBlock(const json& item) { return hasString(item, "type", "text"); }
// Qwen Code writes its transcript in the Gemini API's shape: message.parts, where prose parts carry "text"
// and the model's thoughts are marked "thought".
bool proseFromParts(const json& part) {
    const auto* thought = member(part, "thought");
    return !(thought && thought->is_boolean() && thought->get<bool>());
}

// The text a Codex rollout line carries for the user, when it is one of the agent-message forms.
std::optional<std::string> codexMessage(const json& line) {
    if (!hasString(line, "type", "event_msg")) return std::nullopt;
    const auto* payload = member(line, "payload");
    if (!payload || !payload->is_object()) return std::nullopt;
    const auto* kind = member(*payload, "type");
    if (!kind || !kind->is_string()) return std::nullopt;
    const auto& type = kind->get_ref<const std::string&>();

    const char* key = type == "agent_message" ? "message" : type == "task_complete" ? "last_agent_message" : nullptr;
    if (key) {
        const auto* text = member(*payload, key);
        if (text && text->is_string()) return text->get<std::string>();
        return std::nullopt;
    }
    // Newer releases write only this form while a turn runs.
    if (type == "item_completed") {
        const auto* item = member(*payload, "item");
        if (!item || !hasString(*item, "type", "AgentMessage")) return std::nullopt;
        const auto* content = member(*item, "content");
        if (!content || !isArrayOfObjects(*content)) return std::nullopt;
        return joinedTexts(*content, anyItem);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> latestAssistantText(const std::string& transcriptPath) {
    const auto lines = tailLines(transcriptPath, kClaudeTranscriptWindow);
    if (!lines) return std::nullopt;
    for (auto it = lines->rbegin(); it != lines->rend(); ++it) {
        const auto line = parseLine(*it);
        if (!hasString(line, "type", "assistant")) continue;
        const auto* message = member(line, "message");
        const auto* content = message ? member(*message, "content") : nullptr;
        const auto* parts = message ? member(*message, "parts") : nullptr;
        std::string text;
        if (content && isArrayOfObjects(*content)) text = joinedTexts(*content, textBlock);
        else if (parts && isArrayOfObjects(*parts)) text = joinedTexts(*parts, proseFromParts);
        else continue;
        if (auto shown = excerpt(text::trimWhitespaceAndNewlines(text))) return shown;
    }
    return std::nullopt;
}

std::optional<std::string> latestCodexNarration(const std::string& home, const TranscriptHint& hint) {
    const auto path = codexRolloutPath(home, hint);
    if (!path) return std::nullopt;
    const auto lines = tailLines(*path, kRolloutWindow);
    if (!lines) return std::nullopt;
    for (auto it = lines->rbegin(); it != lines->rend(); ++it) {
        const auto text = codexMessage(parseLine(*it));
        // Automation turns (heartbeats, decisions) are written as agent messages too; they are not prose.
        if (!text || !looksLikeProse(*text)) continue;
        if (auto shown = excerpt(*text)) return shown;
    }
    return std::nullopt;
}

std::optional<std::string> latestKimiNarration(const std::string& kimiHome, const std::optional<std::string>& session) {
    if (!session) return std::nullopt;
    const auto path = kimiWirePath(kimiHome, *session);
    if (!path) return std::nullopt;
    const auto lines = tailLines(*path, kRolloutWindow);
    if (!lines) return std::nullopt;
    // The loop writes each text part of a step as it streams in, before the step's tool calls.
    for (auto it = lines->rbegin(); it != lines->rend(); ++it) {
        const auto line = parseLine(*it);
        if (!hasString(line, "type", "context.append_loop_event")) continue;
        const auto* event = member(line, "event");
        if (!event || !hasString(*event, "type", "content.part")) continue;
        const auto* part = member(*event, "part");
        const auto* text = part && hasString(*part, "type", "text") ? member(*part, "text") : nullptr;
        if (!text || !text->is_string()) continue;
        if (auto shown = excerpt(text::trimWhitespaceAndNewlines(text->get_ref<const std::string&>()))) return shown;
    }
    return std::nullopt;
}

std::optional<std::string> latestGeminiNarration(const std::string& home, const TranscriptHint& hint) {
    const auto path = geminiChatPath(home, hint);
    if (!path) return std::nullopt;
    const auto lines = tailLines(*path, kRolloutWindow);
    if (!lines) return std::nullopt;
    for (auto it = lines->rbegin(); it != lines->rend(); ++it) {
        const auto line = parseLine(*it);
        if (!hasString(line, "type", "gemini")) continue;
        const auto* content = member(line, "content");
        if (!content) continue;
        std::optional<std::string> shown;
        if (content->is_string()) shown = excerpt(content->get_ref<const std::string&>());
        else if (isArrayOfObjects(*content)) shown = excerpt(joinedTexts(*content, anyItem));
        if (shown) return shown;
    }
    return std::nullopt;
}

} // namespace nubbo::bridge
