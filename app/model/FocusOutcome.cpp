#include "model/FocusOutcome.h"

#include <array>
#include <utility>

namespace nubbo {
namespace {

constexpr std::array<std::pair<FocusOutcome, const char*>, 10> kRaw{{
    {FocusOutcome::focused, "focused"},
    {FocusOutcome::unknownSession, "unknown-session"},
    {FocusOutcome::noContext, "no-context"},
    {FocusOutcome::processGone, "process-gone"},
    {FocusOutcome::noWindow, "no-window"},
    {FocusOutcome::severalWindows, "several-windows"},
    {FocusOutcome::waylandNative, "wayland-native"},
    {FocusOutcome::noDisplay, "no-display"},
    {FocusOutcome::noTmuxClient, "no-tmux-client"},
    {FocusOutcome::toolFailed, "tool-failed"},
}};

} // namespace

QString rawValue(FocusOutcome outcome) {
    for (const auto& [value, raw] : kRaw)
        if (value == outcome) return QString::fromLatin1(raw);
    return {};
}

std::optional<FocusOutcome> focusOutcomeFromRaw(const QString& raw) {
    for (const auto& [value, name] : kRaw)
        if (raw == QLatin1String(name)) return value;
    return std::nullopt;
}

} // namespace nubbo
