// Any line a local process writes to the socket: decoding takes exactly the members the wire defines, with
// their types, and the event built from it has a lower-case provider and a message when one was sent.
#include "intake/IncomingEvent.h"

#include <cstdlib>
#include <string>
#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

constexpr std::pair<const char*, std::optional<std::string> nubbo::IncomingEvent::*> kStrings[] = {
    {"provider", &nubbo::IncomingEvent::provider}, {"type", &nubbo::IncomingEvent::type},
    {"message", &nubbo::IncomingEvent::message},   {"command", &nubbo::IncomingEvent::command},
    {"toolName", &nubbo::IncomingEvent::toolName}, {"say", &nubbo::IncomingEvent::say},
    {"phase", &nubbo::IncomingEvent::phase},       {"cwd", &nubbo::IncomingEvent::cwd},
    {"sessionId", &nubbo::IncomingEvent::sessionId},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto event = nubbo::IncomingEvent::decode(line);
    const auto parsed = json::parse(line, nullptr, false);
    if (!parsed.is_object()) {
        if (event) std::abort();
        return 0;
    }
    if (!event) return 0;
    // Each member is the sent string, or absent when it was absent or null.
    json again = json::object();
    for (const auto& [key, member] : kStrings) {
        const auto it = parsed.find(key);
        const bool sent = it != parsed.end() && !it->is_null();
        if (sent != ((*event).*member).has_value()) std::abort();
        if (sent && *it != *((*event).*member)) std::abort();
        if (sent) again[key] = *((*event).*member);
    }
    const auto exit = parsed.find("exitCode");
    if (exit != parsed.end() && !exit->is_null()) {
        if (!event->exitCode || *exit != *event->exitCode) std::abort();
        again["exitCode"] = *event->exitCode;
    } else if (event->exitCode) {
        std::abort();
    }
    // What a producer would send for the decoded event decodes to the same event.
    const auto round = nubbo::IncomingEvent::decode(again.dump(-1, ' ', false, json::error_handler_t::replace));
    if (!round || round->exitCode != event->exitCode) std::abort();

    // Where the agent runs holds only bounded values without control characters, and sending them again
    // gives the same context.
    const auto& where = event->terminal;
    json whereAgain = json::object();
    if (where.agentPid) whereAgain["agentPid"] = std::to_string(where.agentPid);
    for (const auto& [key, value] : {std::pair{"tty", &where.tty}, {"tmux", &where.tmux}, {"tmuxPane", &where.tmuxPane},
                                     {"kittyWindowId", &where.kittyWindowId}, {"kittyListenOn", &where.kittyListenOn},
                                     {"weztermPane", &where.weztermPane}, {"windowId", &where.windowId},
                                     {"termProgram", &where.termProgram}, {"zellij", &where.zellij},
                                     {"zellijSession", &where.zellijSession}, {"screen", &where.screen}}) {
        if (value->isEmpty()) continue;
        const QByteArray bytes = value->toUtf8();
        if (bytes.size() > 512) std::abort();
        for (const QChar c : *value)
            if (c.category() == QChar::Other_Control) std::abort();
        whereAgain[key] = bytes.toStdString();
    }
    const auto whereRound = nubbo::IncomingEvent::decode(whereAgain.dump());
    if (!whereRound || whereRound->terminal != where) std::abort();

    const auto agentEvent = event->toAgentEvent();
    const QString provider = agentEvent.provider.rawValue();
    if (provider.isEmpty() || provider != provider.toLower()) std::abort();
    const bool hasText = (event->message && !event->message->empty()) || (event->toolName && !event->toolName->empty());
    if (hasText == agentEvent.message.isEmpty()) std::abort();
    return 0;
}
