// `nubbo focus SESSION_ID`: asks the app running for this home to go to that session's terminal. Needs no
// display: the app is found the way a second start finds it, through its lock file and the session bus.
#pragma once

#include "model/FocusOutcome.h"

#include <QDBusMessage>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace nubbo {

struct FocusCommandResult {
    int exitCode = 0;  // 0 went there, 1 could not (the line says why), 3 no app runs
    QString line;      // printed when not empty
};

// The arguments ask for `focus` (the program's name first).
bool isFocusCommand(const QStringList& arguments);
// Printable, without spaces, at most 256 characters: what agents report as session ids.
bool isSessionId(const QString& id);
// One line a person reads for what became of the request.
QString focusOutcomeText(FocusOutcome outcome, const QString& sessionId);

// Runs the command; `call` sends Focus(id) to the running app and returns its reply or error.
FocusCommandResult runFocusCommand(const QStringList& arguments,
                                   const std::function<QDBusMessage(const QString& sessionId)>& call);

} // namespace nubbo
