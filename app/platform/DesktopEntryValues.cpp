#include "platform/DesktopEntryValues.h"

namespace nubbo {
namespace {

bool hasControlCharacter(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
    return false;
}

} // namespace

std::optional<QString> DesktopEntryValues::string(const QString& text) {
    if (hasControlCharacter(text)) return std::nullopt;
    return QString(text).replace(QLatin1Char('\\'), QLatin1String("\\\\"));
}

std::optional<QString> DesktopEntryValues::execArgument(const QString& text) {
    if (hasControlCharacter(text)) return std::nullopt;
    QString quoted;
    quoted.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            quoted += QLatin1String("\\\\") + c;
        else if (c == QLatin1Char('\\'))
            quoted += QLatin1String("\\\\\\\\");
        else if (c == QLatin1Char('%'))
            quoted += QLatin1String("%%");
        else
            quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace nubbo
