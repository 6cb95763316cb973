// What a bubble shows: a plain message, a line spoken for an agent, or an approval card.
#pragma once

#include "model/AgentEvent.h"
#include "model/ApprovalPrompt.h"

#include <QString>

#include <optional>
#include <variant>

namespace nubbo {

struct BubbleMessage {
    QString text;
    bool operator==(const BubbleMessage&) const = default;
};

struct BubbleNarration {
    std::optional<AgentProvider> provider;
    std::optional<QString> activity;  // a short label such as the current tool phrase
    QString agentWords;
    bool operator==(const BubbleNarration&) const = default;
};

struct BubbleApproval {
    ApprovalPrompt prompt;
    bool operator==(const BubbleApproval&) const = default;
};

using PetBubbleKind = std::variant<BubbleMessage, BubbleNarration, BubbleApproval>;

// One line for logging: the message, the agent's words, or "<title>: <command>".
QString plainText(const PetBubbleKind& kind);

} // namespace nubbo
