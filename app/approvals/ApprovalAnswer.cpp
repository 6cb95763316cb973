#include "approvals/ApprovalAnswer.h"

#include <QLatin1String>

namespace nubbo {

QString rawValue(ApprovalAnswer answer) {
    switch (answer) {
    case ApprovalAnswer::deny: return QStringLiteral("deny");
    case ApprovalAnswer::allow: return QStringLiteral("allow");
    case ApprovalAnswer::allowAll: return QStringLiteral("allowAll");
    }
    return QStringLiteral("deny");
}

std::optional<ApprovalAnswer> approvalAnswerFromRaw(QStringView raw) {
    for (const ApprovalAnswer answer : {ApprovalAnswer::deny, ApprovalAnswer::allow, ApprovalAnswer::allowAll})
        if (raw == rawValue(answer))
            return answer;
    return std::nullopt;
}

} // namespace nubbo
