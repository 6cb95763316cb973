// The request a producer sends on the socket: one JSON object on one line, every member optional.
#pragma once

#include "model/AgentEvent.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nubbo {

struct IncomingEvent {
    std::optional<std::string> provider;
    std::optional<std::string> type;
    std::optional<std::string> message;
    std::optional<std::string> command;
    std::optional<std::string> toolName;
    std::optional<std::string> say;
    std::optional<std::string> phase;
    std::optional<std::string> cwd;
    std::optional<std::string> sessionId;
    std::optional<std::int32_t> exitCode;
    TerminalContext terminal;  // only its well-formed values
    std::optional<std::string> host;  // only a well-formed host name

    // Nothing unless the text is one JSON object whose listed members (when present and not null) have
    // their types: strings, and a 32-bit integer for "exitCode". Unknown members are ignored, and so is a
    // value of where the agent runs that is not well-formed.
    static std::optional<IncomingEvent> decode(std::string_view line);

    // Provider lower-cased ("claude" when absent or empty), an unknown type read as thinking, the message
    // falling back to the tool name, and a fresh random id. The host is kept only when it is not
    // `localHost`: an agent on this machine has none.
    AgentEvent toAgentEvent(const QString& localHost = localHostName()) const;

    // This machine's host name, as the bridge reads it (uname's node name), read once.
    static QString localHostName();
};

} // namespace nubbo
