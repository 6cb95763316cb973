#include "model/PetBubbleKind.h"

namespace nubbo {

QString plainText(const PetBubbleKind& kind) {
    if (const auto* message = std::get_if<BubbleMessage>(&kind)) return message->text;
    if (const auto* narration = std::get_if<BubbleNarration>(&kind)) return narration->agentWords;
    const auto& prompt = std::get<BubbleApproval>(kind).prompt;
    return prompt.title + QStringLiteral(": ") + prompt.command;
}

} // namespace nubbo
