// How an approval card labels the command it asks about.
#pragma once

#include "core/SettingsEnums.h"

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace nubbo {

// Raw values are the case names.
enum class ApprovalRisk { normal, risky };

inline constexpr std::array kAllApprovalRisks{ApprovalRisk::normal, ApprovalRisk::risky};

QString rawValue(ApprovalRisk risk);
// Exact and case-sensitive; nothing for any other string.
std::optional<ApprovalRisk> approvalRiskFromRaw(QStringView raw);
QString title(ApprovalRisk risk, Language language);

} // namespace nubbo
