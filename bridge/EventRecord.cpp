#include "bridge/EventRecord.h"

#include "common/WireProtocol.h"

#include <algorithm>
#include <array>

namespace nubbo::bridge {

bool isPostEvent(std::string_view event) {
    static constexpr std::array<std::string_view, 7> events{"PostToolUse",         "PostToolUseFailure",
                                                            "AfterTool",           "postToolUse",
                                                            "afterShellExecution", "afterMCPExecution",
                                                            "afterFileEdit"};
    return std::find(events.begin(), events.end(), event) != events.end();
}

bool isNarrationEvent(std::string_view event) {
    // AfterAgent is Gemini's end of turn, the twin of Stop: its payload has no text of its own to show.
    static constexpr std::array<std::string_view, 6> events{"PreToolUse", "PostToolUse", "AfterTool", "BeforeTool",
                                                            "Stop",       "AfterAgent"};
    return std::find(events.begin(), events.end(), event) != events.end();
}

EventRecord buildEventRecord(const std::string& source, const std::string& event, std::string_view type,
                             const PayloadFields& fields, std::optional<std::string> say) {
    EventRecord record;
    record.provider = source;
    record.type = std::string(type);
    if (fields.message) record.message = *fields.message;
    else if (fields.toolName) record.message = *fields.toolName;
    else if (!event.empty()) record.message = event;
    else record.message = source;
    record.command = fields.command;
    record.toolName = fields.toolName;
    record.say = std::move(say);
    if (isPostEvent(event)) record.phase = wire::kPostPhase;
    record.cwd = fields.cwd;
    record.sessionId = fields.sessionId;
    return record;
}

std::string EventRecord::toJson() const {
    namespace key = wire::key;
    nlohmann::json object = {{key::provider, provider}, {key::type, type}, {key::message, message}};
    const std::pair<const char*, const std::optional<std::string>*> optionals[] = {
        {key::command, &command}, {key::toolName, &toolName}, {key::say, &say},
        {key::phase, &phase},     {key::cwd, &cwd},           {key::sessionId, &sessionId}};
    for (const auto& [name, value] : optionals)
        if (*value) object[name] = **value;
    if (location.agentPid > 0) object[key::agentPid] = std::to_string(location.agentPid);
    if (!location.tty.empty()) object[key::tty] = location.tty;
    for (const auto& [name, value] : location.inherited) object[name] = value;
    if (!host.empty()) object[key::host] = host;
    // Values are valid UTF-8 by construction; replacing instead of throwing keeps the hook path fail-open.
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace nubbo::bridge
