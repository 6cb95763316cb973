#include "focus/TmuxServer.h"

#include "focus/OwnedSocket.h"

#include <QRegularExpression>

namespace nubbo {
namespace {

constexpr qsizetype kMaxSocketPath = 4096;
constexpr std::size_t kMaxClients = 256;

bool plainText(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

} // namespace

std::optional<TmuxServer> TmuxServer::of(const TerminalContext& context) {
    static const QRegularExpression pane(QStringLiteral("^%[0-9]{1,9}$"));
    if (!pane.match(context.tmuxPane).hasMatch())
        return std::nullopt;
    // The socket path may hold commas itself: the last two fields are the server's pid and the session.
    const QStringList fields = context.tmux.split(QLatin1Char(','));
    if (fields.size() < 3)
        return std::nullopt;
    const QString socket = fields.mid(0, fields.size() - 2).join(QLatin1Char(','));
    if (!socket.startsWith(QLatin1Char('/')) || socket.size() > kMaxSocketPath || !plainText(socket))
        return std::nullopt;
    return TmuxServer(socket, context.tmuxPane);
}

bool TmuxServer::socketOwnedBy(uid_t uid) const { return isSocketOwnedBy(socket_, uid); }

CommandResult TmuxServer::tmux(CommandRunner& runner, QStringList command, int timeoutMs) const {
    command.prepend(socket_);
    command.prepend(QStringLiteral("-S"));
    return runner.run(QStringLiteral("tmux"), command, timeoutMs);
}

std::optional<TmuxPane> TmuxServer::where(CommandRunner& runner, int timeoutMs) const {
    const CommandResult result =
        tmux(runner,
             {QStringLiteral("display-message"), QStringLiteral("-p"), QStringLiteral("-t"), pane_,
              QStringLiteral("#{session_id} #{window_id} #{pane_active} #{window_active}")},
             timeoutMs);
    if (!result.ok())
        return std::nullopt;
    const QList<QByteArray> fields = result.output.trimmed().split(' ');
    if (fields.size() != 4 || !fields[0].startsWith('$') || !fields[1].startsWith('@'))
        return std::nullopt;
    return TmuxPane{QString::fromUtf8(fields[0]), QString::fromUtf8(fields[1]), fields[2] == "1", fields[3] == "1"};
}

std::optional<std::vector<TmuxClient>> TmuxServer::clients(CommandRunner& runner, int timeoutMs) const {
    const CommandResult result =
        tmux(runner,
             {QStringLiteral("list-clients"), QStringLiteral("-F"),
              QStringLiteral("#{client_name} #{client_pid} #{client_activity} #{session_id}")},
             timeoutMs);
    if (!result.ok())
        return std::nullopt;
    std::vector<TmuxClient> clients;
    for (const QByteArray& line : result.output.split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.size() != 4 || clients.size() >= kMaxClients)
            continue;
        bool pidOk = false, activityOk = false;
        TmuxClient client{QString::fromUtf8(fields[0]), fields[1].toLongLong(&pidOk), fields[2].toLongLong(&activityOk),
                          QString::fromUtf8(fields[3])};
        if (pidOk && activityOk && client.pid > 0 && !client.name.isEmpty() && plainText(client.name))
            clients.push_back(client);
    }
    return clients;
}

std::optional<bool> TmuxServer::paneExists(CommandRunner& runner, int timeoutMs) const {
    const CommandResult result =
        tmux(runner, {QStringLiteral("list-panes"), QStringLiteral("-a"), QStringLiteral("-F"), QStringLiteral("#{pane_id}")},
             timeoutMs);
    if (!result.ok())
        return std::nullopt;
    return result.output.split('\n').contains(pane_.toUtf8());
}

bool TmuxServer::run(CommandRunner& runner, const QStringList& command, int timeoutMs) const {
    return tmux(runner, command, timeoutMs).ok();
}

std::optional<TmuxClient> TmuxServer::chooseClient(const std::vector<TmuxClient>& clients, const QString& session) {
    std::vector<TmuxClient> latest;
    for (const TmuxClient& client : clients) {
        if (!latest.empty() && client.activity < latest.front().activity)
            continue;
        if (!latest.empty() && client.activity > latest.front().activity)
            latest.clear();
        latest.push_back(client);
    }
    if (latest.size() == 1)
        return latest.front();
    std::optional<TmuxClient> onSession;
    for (const TmuxClient& client : latest) {
        if (client.session != session)
            continue;
        if (onSession)
            return std::nullopt;
        onSession = client;
    }
    return onSession;
}

} // namespace nubbo
