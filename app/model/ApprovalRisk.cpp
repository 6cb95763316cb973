#include "model/ApprovalRisk.h"

#include <QLatin1String>

namespace nubbo {

QString rawValue(ApprovalRisk risk) {
    return risk == ApprovalRisk::risky ? QStringLiteral("risky") : QStringLiteral("normal");
}

std::optional<ApprovalRisk> approvalRiskFromRaw(QStringView raw) {
    if (raw == QLatin1String("normal"))
        return ApprovalRisk::normal;
    if (raw == QLatin1String("risky"))
        return ApprovalRisk::risky;
    return std::nullopt;
}

QString title(ApprovalRisk risk, Language language) {
    const bool zh = language == Language::zh;
    if (risk == ApprovalRisk::risky)
        return zh ? QStringLiteral("高风险") : QStringLiteral("Risky");
    return zh ? QStringLiteral("普通") : QStringLiteral("Normal");
}

} // namespace nubbo
