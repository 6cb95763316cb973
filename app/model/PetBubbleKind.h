// What a bubble shows: a plain message, a line spoken for an agent, or an approval card.
#pragma once

#include "model/AgentEvent.h"
#include "model/ApprovalPrompt.h"

#include <QString>

#include <optional>
#include <variant>

namespace nubbo {

// sessionKey: the store's key of the session the bubble speaks for ("claude:abc"); empty for the pet's own
// words. A click on the bubble's title line goes to that session's terminal.
struct BubbleMessage {
    QString text;
    QString sessionKey{};
    bool operator==(const BubbleMessage&) const = default;
};

struct BubbleNarration {
    std::optional<AgentProvider> provider;
    std::optional<QString> activity;  // a short label such as the current tool phrase
    QString agentWords;
    QString sessionKey{};
    bool operator==(const BubbleNarration&) const = default;
};

struct BubbleApproval {
    ApprovalPrompt prompt;
    QString sessionKey{};  // the session whose request the card shows
    bool operator==(const BubbleApproval&) const = default;
};

using PetBubbleKind = std::variant<BubbleMessage, BubbleNarration, BubbleApproval>;

// One line for logging: the message, the agent's words, or "<title>: <command>".
QString plainText(const PetBubbleKind& kind);
QString sessionKeyOf(const PetBubbleKind& kind);
// The same bubble, spoken for that session.
PetBubbleKind withSessionKey(PetBubbleKind kind, const QString& sessionKey);

} // namespace nubbo
