// The three answers a card, a panel row or a notification gives to a permission request. Raw values are the
// case names, as the views pass them.
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace nubbo {

enum class ApprovalAnswer { deny, allow, allowAll };

QString rawValue(ApprovalAnswer answer);
// Exact and case-sensitive; nothing for any other string.
std::optional<ApprovalAnswer> approvalAnswerFromRaw(QStringView raw);

} // namespace nubbo
