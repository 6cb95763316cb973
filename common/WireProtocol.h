// What every producer (the bridge, the OpenCode plug-in) and the app agree on over the socket: one JSON
// object on one line per connection, answered by at most one JSON line.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace nubbo::wire {

// The request's members. All are strings, except exitCode (a 32-bit integer, which the bridge never sends).
namespace key {
inline constexpr char provider[] = "provider";
inline constexpr char type[] = "type";
inline constexpr char message[] = "message";
inline constexpr char command[] = "command";
inline constexpr char toolName[] = "toolName";
inline constexpr char say[] = "say";
inline constexpr char phase[] = "phase";
inline constexpr char cwd[] = "cwd";
inline constexpr char sessionId[] = "sessionId";
inline constexpr char exitCode[] = "exitCode";
// Where the agent runs, read by the bridge from its own process and environment (all optional strings).
inline constexpr char agentPid[] = "agentPid";            // the agent's process id, in decimal
inline constexpr char tty[] = "tty";                      // the agent's terminal device: "/dev/pts/3"
inline constexpr char tmux[] = "tmux";                    // TMUX: "<socket>,<server pid>,<session>"
inline constexpr char tmuxPane[] = "tmuxPane";            // TMUX_PANE: "%3"
inline constexpr char kittyWindowId[] = "kittyWindowId";  // KITTY_WINDOW_ID
inline constexpr char kittyListenOn[] = "kittyListenOn";  // KITTY_LISTEN_ON
inline constexpr char weztermPane[] = "weztermPane";      // WEZTERM_PANE
inline constexpr char windowId[] = "windowId";            // WINDOWID: an X11 window, in decimal
inline constexpr char termProgram[] = "termProgram";      // TERM_PROGRAM
inline constexpr char zellij[] = "zellij";                // ZELLIJ
inline constexpr char zellijSession[] = "zellijSession";  // ZELLIJ_SESSION_NAME
inline constexpr char screen[] = "screen";                // STY (GNU screen)
// The producer's machine: its host name (uname's node name). The app shows it when it is not its own, so an
// agent in a container or on another machine is told apart.
inline constexpr char host[] = "host";
} // namespace key

// The environment variables a producer passes on as they are, each under its member name.
inline constexpr std::pair<const char*, const char*> kInheritedVariables[] = {
    {"TMUX", key::tmux},
    {"TMUX_PANE", key::tmuxPane},
    {"KITTY_WINDOW_ID", key::kittyWindowId},
    {"KITTY_LISTEN_ON", key::kittyListenOn},
    {"WEZTERM_PANE", key::weztermPane},
    {"WINDOWID", key::windowId},
    {"TERM_PROGRAM", key::termProgram},
    {"ZELLIJ", key::zellij},
    {"ZELLIJ_SESSION_NAME", key::zellijSession},
    {"STY", key::screen},
};
// Longer values of where the agent runs are not sent, and refused when they are.
inline constexpr std::size_t kMaxTerminalValueBytes = 512;

// The phase of an event that reports a finished tool call.
inline constexpr char kPostPhase[] = "post";

// The reply's words: {"ok":true} takes an ordinary event, {"ok":false} refuses a line that is no request,
// and a permission request gets {"approval":"granted"} or {"approval":"denied"}.
namespace reply {
inline constexpr char ok[] = "ok";
inline constexpr char approval[] = "approval";
inline constexpr char granted[] = "granted";
inline constexpr char denied[] = "denied";
} // namespace reply

// A request line longer than this is refused.
inline constexpr std::size_t kMaxRequestBytes = 65536;
// What a producer reads of a reply at most.
inline constexpr std::size_t kMaxReplyBytes = 8192;
// What fits a sockaddr_un on every platform.
inline constexpr std::size_t kMaxSocketPathBytes = 103;
// A producer that has not finished its request line this long after connecting is refused.
inline constexpr std::chrono::milliseconds kRequestLineTimeout{5000};

// The app's reply lines, newline included.
std::string_view acknowledgementLine(bool accepted);
std::string_view verdictLine(bool granted);

// The verdict a reply line carries: nothing unless it is a JSON object with a string "approval";
// "granted" is true, any other string false.
std::optional<bool> verdictOf(std::string_view replyLine);

} // namespace nubbo::wire
