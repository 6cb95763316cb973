#include "model/PetBubbleKind.h"

namespace nubbo {

QString plainText(const PetBubbleKind& kind) {
    if (const auto* message = std::get_if<BubbleMessage>(&kind)) return message->text;
    if (const auto* narration = std::get_if<BubbleNarration>(&kind)) return narration->agentWords;
    const auto& prompt = std::get<BubbleApproval>(kind).prompt;
    return prompt.title + QStringLiteral(": ") + prompt.command;
}

QString sessionKeyOf(const PetBubbleKind& kind) {
    return std::visit([](const auto& bubble) { return bubble.sessionKey; }, kind);
}

PetBubbleKind withSessionKey(PetBubbleKind kind, const QString& sessionKey) {
    std::visit([&sessionKey](auto& bubble) { bubble.sessionKey = sessionKey; }, kind);
    return kind;
}

} // namespace nubbo
