// The tmux server an agent runs under, reached through its socket with tmux's own command line. TMUX is
// "<socket>,<server pid>,<session>" and TMUX_PANE "%N"; both come from the agent and are checked before use.
#pragma once

#include "focus/CommandRunner.h"
#include "model/TerminalContext.h"

#include <QString>

#include <optional>
#include <sys/types.h>
#include <vector>

namespace nubbo {

struct TmuxPane {
    QString session;  // "$1"
    QString window;   // "@2"
    bool paneActive = false;
    bool windowActive = false;
};

struct TmuxClient {
    QString name;  // "/dev/pts/4"
    qint64 pid = 0;
    qint64 activity = 0;  // seconds since the epoch
    QString session;      // the session it shows, "$1"
};

class TmuxServer {
public:
    // Null when TMUX or TMUX_PANE is missing or malformed.
    static std::optional<TmuxServer> of(const TerminalContext& context);

    const QString& socket() const { return socket_; }
    const QString& pane() const { return pane_; }
    // The socket is a socket owned by `uid`: another user's server is never driven.
    bool socketOwnedBy(uid_t uid) const;

    // Where the pane is; null when the pane (or the server) is gone.
    std::optional<TmuxPane> where(CommandRunner& runner, int timeoutMs) const;
    // Whether the server still has the pane; null when tmux did not answer.
    std::optional<bool> paneExists(CommandRunner& runner, int timeoutMs) const;
    // The attached clients; null when tmux did not answer.
    std::optional<std::vector<TmuxClient>> clients(CommandRunner& runner, int timeoutMs) const;
    // Runs one tmux command on this server; true when it succeeded.
    bool run(CommandRunner& runner, const QStringList& command, int timeoutMs) const;

    // The client to switch: the most recently active one, an exact tie settled by the one already on
    // `session`. Null when there is none, or when the tie remains.
    static std::optional<TmuxClient> chooseClient(const std::vector<TmuxClient>& clients, const QString& session);

private:
    TmuxServer(QString socket, QString pane) : socket_(std::move(socket)), pane_(std::move(pane)) {}
    CommandResult tmux(CommandRunner& runner, QStringList command, int timeoutMs) const;

    QString socket_;
    QString pane_;
};

} // namespace nubbo
