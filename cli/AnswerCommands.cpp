#include "cli/AppConnection.h"
#include "cli/Commands.h"

#include <map>

namespace nubbo::cli {
namespace {

// Printable, without spaces, at most 256 characters: what agents report as ids.
bool isId(const QString& id) {
    if (id.isEmpty() || id.size() > 256)
        return false;
    for (const QChar c : id)
        if (!c.isPrint() || c.isSpace())
            return false;
    return true;
}

// Shown, not obeyed: nothing the terminal would take as a control sequence.
QString shown(const QString& id) {
    QString text = id.left(64);
    for (QChar& c : text)
        if (!c.isPrint() || c.isSpace())
            c = QLatin1Char('?');
    return text;
}

QString focusOutcomeText(const QString& outcome, const QString& sessionId) {
    static const std::map<QString, QString> texts{
        {QStringLiteral("focused"), QString()},
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

// The reply's one value, or the exit code and line for an error.
struct Reply {
    int exitCode = 0;
    QVariant value;
};

Reply valueOf(const QDBusMessage& reply) {
    if (meansNotRunning(reply)) {
        printLine(QStringLiteral("nubbo is not running"));
        return {kNotRunning, {}};
    }
    if (reply.type() == QDBusMessage::ErrorMessage) {
        printLine(QStringLiteral("nubbo did not answer: %1").arg(reply.errorMessage().simplified()));
        return {1, {}};
    }
    if (reply.arguments().size() != 1) {
        printLine(QStringLiteral("nubbo gave an answer this command does not know"));
        return {1, {}};
    }
    return {0, reply.arguments().constFirst()};
}

} // namespace

int runAnswer(bool allow, const QStringList& arguments) {
    const QString verb = allow ? QStringLiteral("approve") : QStringLiteral("deny");
    if (arguments.size() != 1) {
        printLine(QStringLiteral("usage: nubbo %1 REQUEST_ID").arg(verb), true);
        return 2;
    }
    const QString& id = arguments[0];
    if (!isId(id)) {
        printLine(QStringLiteral("not a request id: %1").arg(shown(id)));
        return 1;
    }
    const Reply reply = valueOf(AppConnection().call(allow ? QStringLiteral("Approve") : QStringLiteral("Deny"), {id}));
    if (reply.exitCode != 0)
        return reply.exitCode;
    if (!reply.value.toBool()) {
        printLine(QStringLiteral("no request with the id %1 waits").arg(id));
        return 1;
    }
    return 0;
}

int runFocus(const QStringList& arguments) {
    if (arguments.size() != 1) {
        printLine(QStringLiteral("usage: nubbo focus SESSION_ID"));
        return 1;
    }
    const QString& id = arguments[0];
    if (!isId(id)) {
        printLine(QStringLiteral("not a session id: %1").arg(shown(id)));
        return 1;
    }
    // Going there takes the app at most about two seconds; the rest is the bus.
    const Reply reply = valueOf(AppConnection().call(QStringLiteral("Focus"), {id}, 8000));
    if (reply.exitCode != 0)
        return reply.exitCode;
    const QString outcome = reply.value.toString();
    if (outcome == QLatin1String("focused"))
        return 0;
    printLine(focusOutcomeText(outcome, id));
    return 1;
}

} // namespace nubbo::cli
