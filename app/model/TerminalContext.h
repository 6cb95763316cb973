// Where an agent runs: its process and the terminal context it inherited, as its hook's bridge read them.
// Kept per session to go back to that terminal; it never leaves the machine (not in summaries, not in
// exports). Empty strings are absent values.
#pragma once

#include <QString>
#include <QtGlobal>

namespace nubbo {

struct TerminalContext {
    qint64 agentPid = 0;    // 0: unknown
    QString tty;            // "/dev/pts/3"
    QString tmux;           // TMUX: "<socket>,<server pid>,<session>"
    QString tmuxPane;       // TMUX_PANE: "%3"
    QString kittyWindowId;  // KITTY_WINDOW_ID
    QString kittyListenOn;  // KITTY_LISTEN_ON
    QString weztermPane;    // WEZTERM_PANE
    QString windowId;       // WINDOWID: an X11 window, in decimal
    QString termProgram;    // TERM_PROGRAM
    QString zellij;         // ZELLIJ
    QString zellijSession;  // ZELLIJ_SESSION_NAME
    QString screen;         // STY

    // Anything at all was reported (an older bridge or the OpenCode plug-in may send none).
    bool known() const { return *this != TerminalContext{}; }
    bool operator==(const TerminalContext&) const = default;
};

} // namespace nubbo
