#include "bridge/DecisionOutput.h"

#include "common/WireProtocol.h"

namespace nubbo::bridge {

std::string decisionResponse(ProviderFamily family, std::string_view event, bool allow) {
    switch (family) {
    case ProviderFamily::claude:
    case ProviderFamily::codex: {
        std::string out = R"({"hookSpecificOutput":{"hookEventName":")";
        out += event;
        out += R"(","decision":{"behavior":")";
        out += allow ? "allow" : "deny";
        out += R"("}}})";
        return out;
    }
    case ProviderFamily::gemini: return allow ? R"({"decision":"allow"})" : R"({"decision":"deny"})";
    case ProviderFamily::cursor: return allow ? R"({"permission":"allow"})" : R"({"permission":"deny"})";
    case ProviderFamily::copilot: return allow ? R"({"behavior":"allow"})" : R"({"behavior":"deny"})";
    case ProviderFamily::cline:
        return allow ? R"({"cancel":false})" : R"({"cancel":true,"errorMessage":"Denied in Nubbo"})";
    // Kimi reads only a deny; its own prompt follows an allow.
    case ProviderFamily::kimi:
        return allow ? R"({"hookSpecificOutput":{"hookEventName":"PreToolUse","permissionDecision":"allow"}})"
                     : R"({"hookSpecificOutput":{"hookEventName":"PreToolUse","permissionDecision":"deny",)"
                       R"("permissionDecisionReason":"Denied in Nubbo"}})";
    case ProviderFamily::bespoke: return {};
    }
    return {};
}

std::optional<std::string> decisionForReply(ProviderFamily family, std::string_view event,
                                            const std::optional<std::string>& replyLine) {
    if (!replyLine) return std::nullopt;
    const auto granted = wire::verdictOf(*replyLine);
    if (!granted) return std::nullopt;
    return decisionResponse(family, event, *granted);
}

} // namespace nubbo::bridge
