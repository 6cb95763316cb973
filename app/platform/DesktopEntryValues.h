// Values written into freedesktop desktop entries (the autostart entry), escaped as desktop files require, so
// any path a user can have reads back as itself.
#pragma once

#include <QString>

#include <optional>

namespace nubbo {

struct DesktopEntryValues {
    // A string value: backslash written as "\\". Nothing when the text holds a control character, which
    // such a value cannot carry.
    static std::optional<QString> string(const QString& text);

    // One argument of an Exec value: double-quoted with '"', '`', '$' and '\' escaped by a backslash, each
    // of those backslashes then doubled as for every string value, and '%' doubled so it is no field code.
    // Nothing when the text holds a control character.
    static std::optional<QString> execArgument(const QString& text);
};

} // namespace nubbo
