#include "shell/FocusCommandLine.h"

#include <QDBusError>

namespace nubbo {

bool isFocusCommand(const QStringList& arguments) {
    return arguments.size() >= 2 && arguments[1] == QLatin1String("focus");
}

bool isSessionId(const QString& id) {
    if (id.isEmpty() || id.size() > 256)
        return false;
    for (const QChar c : id)
        if (!c.isPrint() || c.isSpace())
            return false;
    return true;
}

QString focusOutcomeText(FocusOutcome outcome, const QString& sessionId) {
    switch (outcome) {
    case FocusOutcome::focused: return {};
    case FocusOutcome::unknownSession: return QStringLiteral("no live session has the id %1").arg(sessionId);
    case FocusOutcome::noContext: return QStringLiteral("the session's hooks never said where it runs");
    case FocusOutcome::processGone: return QStringLiteral("the agent's process has ended");
    case FocusOutcome::noWindow: return QStringLiteral("no window on this display holds the agent's terminal");
    case FocusOutcome::severalWindows:
        return QStringLiteral("more than one window could be the agent's terminal, so none was raised");
    case FocusOutcome::waylandNative: return QStringLiteral("the terminal is a Wayland window, which nubbo cannot raise");
    case FocusOutcome::noDisplay: return QStringLiteral("nubbo runs without an X11 display");
    case FocusOutcome::noTmuxClient: return QStringLiteral("no client is attached to the agent's tmux server");
    case FocusOutcome::toolFailed:
        return QStringLiteral("tmux, kitty, WezTerm or the window manager refused to switch");
    }
    return {};
}

FocusCommandResult runFocusCommand(const QStringList& arguments,
                                   const std::function<QDBusMessage(const QString& sessionId)>& call) {
    if (arguments.size() != 3)
        return {1, QStringLiteral("usage: nubbo focus SESSION_ID")};
    const QString& id = arguments[2];
    if (!isSessionId(id)) {
        // Shown, not obeyed: nothing the terminal would take as a control sequence.
        QString shown = id.left(64);
        for (QChar& c : shown)
            if (!c.isPrint() || c.isSpace())
                c = QLatin1Char('?');
        return {1, QStringLiteral("not a session id: %1").arg(shown)};
    }
    const QDBusMessage reply = call(id);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString error = reply.errorName();
        if (error == QDBusError::errorString(QDBusError::ServiceUnknown) ||
            error == QDBusError::errorString(QDBusError::Disconnected) ||
            error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            return {3, QStringLiteral("nubbo is not running")};
        return {1, QStringLiteral("nubbo did not answer: %1").arg(reply.errorMessage().simplified())};
    }
    const QVariantList values = reply.arguments();
    const auto outcome = values.size() == 1 ? focusOutcomeFromRaw(values[0].toString()) : std::nullopt;
    if (!outcome)
        return {1, QStringLiteral("nubbo gave an answer this command does not know")};
    if (*outcome == FocusOutcome::focused)
        return {0, {}};
    return {1, focusOutcomeText(*outcome, id)};
}

} // namespace nubbo
