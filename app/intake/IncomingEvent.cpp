#include "intake/IncomingEvent.h"

#include "common/WireProtocol.h"
#include "common/Utf8Text.h"
#include "intake/TerminalContextDecode.h"

#include <nlohmann/json.hpp>

#include <limits>

#include <sys/utsname.h>

namespace nubbo {
namespace {

using Member = std::optional<std::string> IncomingEvent::*;
namespace key = wire::key;

// What a host name can be at most (a DNS name's length).
constexpr std::size_t kMaxHostNameLength = 253;

constexpr std::pair<const char*, Member> kStringMembers[] = {
    {key::provider, &IncomingEvent::provider}, {key::type, &IncomingEvent::type},
    {key::message, &IncomingEvent::message},   {key::command, &IncomingEvent::command},
    {key::toolName, &IncomingEvent::toolName}, {key::say, &IncomingEvent::say},
    {key::phase, &IncomingEvent::phase},       {key::cwd, &IncomingEvent::cwd},
    {key::sessionId, &IncomingEvent::sessionId},
};

std::optional<QString> toQString(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    return QString::fromStdString(*value);
}

} // namespace

std::optional<IncomingEvent> IncomingEvent::decode(std::string_view line) {
    const auto json = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) return std::nullopt;
    IncomingEvent event;
    for (const auto& [name, member] : kStringMembers) {
        const auto it = json.find(name);
        if (it == json.end() || it->is_null()) continue;
        if (!it->is_string()) return std::nullopt;
        event.*member = it->get<std::string>();
    }
    const auto exit = json.find(key::exitCode);
    if (exit != json.end() && !exit->is_null()) {
        if (exit->is_number_unsigned()) {
            const auto value = exit->get<std::uint64_t>();
            if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return std::nullopt;
            event.exitCode = static_cast<std::int32_t>(value);
        } else if (exit->is_number_integer()) {
            const auto value = exit->get<std::int64_t>();
            if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
                return std::nullopt;
            event.exitCode = static_cast<std::int32_t>(value);
        } else {
            return std::nullopt;
        }
    }
    event.terminal = decodeTerminalContext(json);
    // Like where the agent runs: a malformed host is dropped, the event still counts.
    if (const auto host = json.find(key::host); host != json.end() && host->is_string()) {
        auto name = host->get<std::string>();
        if (text::isPrintableToken(name, kMaxHostNameLength))
            event.host = std::move(name);
    }
    return event;
}

AgentEvent IncomingEvent::toAgentEvent(const QString& localHost) const {
    AgentEvent event;
    event.id = QUuid::createUuid();
    event.provider = AgentProvider(provider && !provider->empty() ? QString::fromStdString(*provider)
                                                                  : QStringLiteral("claude"));
    const auto kind = type ? agentEventTypeFromRaw(QString::fromStdString(*type)) : std::nullopt;
    event.type = kind.value_or(AgentEventType::thinking);
    if (message && !message->empty()) event.message = QString::fromStdString(*message);
    else if (toolName && !toolName->empty()) event.message = QString::fromStdString(*toolName);
    event.command = toQString(command);
    event.toolName = toQString(toolName);
    event.say = toQString(say);
    event.phase = toQString(phase);
    event.cwd = toQString(cwd);
    event.sessionId = toQString(sessionId);
    event.exitCode = exitCode;
    event.terminal = terminal;
    if (host && QString::fromStdString(*host) != localHost)
        event.host = QString::fromStdString(*host);
    return event;
}

QString IncomingEvent::localHostName() {
    static const QString name = [] {
        utsname names{};
        return ::uname(&names) == 0 ? QString::fromUtf8(names.nodename) : QString();
    }();
    return name;
}

} // namespace nubbo
