// Reading a provider's answer: the line it wrote, cleaned up to fit the pet's bubble.
#pragma once

#include "core/SettingsEnums.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace nubbo::SummaryResponse {

inline constexpr int kMaxCharacters = 40;

// The text items of "content", joined; nothing for any other shape.
std::optional<QString> parseAnthropic(const QByteArray& body);
// choices[0].message.content; nothing for any other shape.
std::optional<QString> parseOpenAI(const QByteArray& body);
// One line without quotation marks, at most 40 characters (user-perceived ones) plus "…".
QString tidy(const QString& text);
// The tidied line from a reply, only for status 200 with a body of the provider's shape that says something.
std::optional<QString> summaryFrom(SummaryProvider provider, int httpStatus, const QByteArray& body);

} // namespace nubbo::SummaryResponse
