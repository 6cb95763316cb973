// The one record a hook firing sends to the app: a flat JSON object whose values are all strings.
#pragma once

#include "bridge/AgentLocation.h"
#include "bridge/PayloadFields.h"

#include <optional>
#include <string>
#include <string_view>

namespace nubbo::bridge {

struct EventRecord {
    std::string provider;
    std::string type;
    std::string message;
    std::optional<std::string> command;
    std::optional<std::string> toolName;
    std::optional<std::string> say;
    std::optional<std::string> phase;
    std::optional<std::string> cwd;
    std::optional<std::string> sessionId;
    AgentLocation location;  // each known value under its own member
    std::string host;        // this machine's host name; empty: not sent

    // Compact JSON, without the trailing newline. "exitCode" is never sent.
    std::string toJson() const;
};

// Hook events that report a finished tool call.
bool isPostEvent(std::string_view event);
// Hook events that carry the agent's latest narration.
bool isNarrationEvent(std::string_view event);

// message: the payload's message, else the tool name, else the event, else the source.
EventRecord buildEventRecord(const std::string& source, const std::string& event, std::string_view type,
                             const PayloadFields& fields, std::optional<std::string> say);

} // namespace nubbo::bridge
