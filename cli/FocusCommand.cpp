#include "cli/FocusCommand.h"

#include "cli/AppConnection.h"
#include "cli/Commands.h"

#include <map>

namespace nubbo::cli {
namespace {

// Keyed by the outcome's spelling on the bus.
QString outcomeText(const QString& outcome, const QString& sessionId) {
    static const std::map<QString, QString> texts{
        {QStringLiteral("unknown-session"), QStringLiteral("no live session has the id %1")},
        {QStringLiteral("no-context"), QStringLiteral("the session's hooks never said where it runs")},
        {QStringLiteral("process-gone"), QStringLiteral("the agent's process has ended")},
        {QStringLiteral("no-window"), QStringLiteral("no window on this display holds the agent's terminal")},
        {QStringLiteral("several-windows"),
         QStringLiteral("more than one window could be the agent's terminal, so none was raised")},
        {QStringLiteral("wayland-native"), QStringLiteral("the terminal is a Wayland window, which nubbo cannot raise")},
        {QStringLiteral("no-display"), QStringLiteral("nubbo runs without an X11 display")},
        {QStringLiteral("no-tmux-client"), QStringLiteral("no client is attached to the agent's tmux server")},
        {QStringLiteral("tool-failed"), QStringLiteral("tmux, kitty, WezTerm or the window manager refused to switch")},
    };
    const auto found = texts.find(outcome);
    if (found == texts.end())
        return QStringLiteral("nubbo gave an answer this command does not know");
    return found->second.contains(QLatin1String("%1")) ? found->second.arg(sessionId) : found->second;
}

} // namespace

CommandResult focusCommand(const QStringList& arguments,
                           const std::function<QDBusMessage(const QString& sessionId)>& call) {
    if (arguments.size() != 1)
        return {1, QStringLiteral("usage: nubbo focus SESSION_ID")};
    const QString& id = arguments[0];
    if (!isId(id))
        return {1, QStringLiteral("not a session id: %1").arg(shownId(id))};
    const QDBusMessage reply = call(id);
    if (const auto failed = replyFailure(reply))
        return *failed;
    const QString outcome = reply.arguments().constFirst().toString();
    if (outcome == QLatin1String("focused"))
        return {0, {}};
    return {1, outcomeText(outcome, id)};
}

int runFocus(const QStringList& arguments) {
    const CommandResult result = focusCommand(arguments, [](const QString& sessionId) {
        // Going there takes the app at most about two seconds; the rest is the bus.
        return AppConnection().call(QStringLiteral("Focus"), {sessionId}, 8000);
    });
    if (!result.line.isEmpty())
        printLine(result.line);
    return result.exitCode;
}

} // namespace nubbo::cli
