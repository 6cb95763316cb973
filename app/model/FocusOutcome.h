// What became of a request to go to a session's terminal. Raw values are the spellings the log, the
// command line's callers and the D-Bus interface see.
#pragma once

#include <QString>

#include <optional>

namespace nubbo {

enum class FocusOutcome {
    focused,         // "focused": the terminal (window, tab, tmux pane) is in front and has the focus
    unknownSession,  // "unknown-session": no live session has that id
    noContext,       // "no-context": the session's hooks never said where it runs
    processGone,     // "process-gone": the agent's process has ended
    noWindow,        // "no-window": no window of this display holds the agent's terminal
    severalWindows,  // "several-windows": more than one window could be it; none was raised
    waylandNative,   // "wayland-native": the terminal is a Wayland window the app cannot raise
    noDisplay,       // "no-display": the app runs without an X11 display
    noTmuxClient,    // "no-tmux-client": no client is attached to the agent's tmux server
    toolFailed,      // "tool-failed": tmux, kitty or wezterm refused the switch
};

QString rawValue(FocusOutcome outcome);
std::optional<FocusOutcome> focusOutcomeFromRaw(const QString& raw);

} // namespace nubbo
