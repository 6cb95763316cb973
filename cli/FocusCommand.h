// `nubbo focus SESSION_ID`: asks the app of this home to go to that session's terminal. Exit 0 when it went
// there, 1 when it could not (the line says why) or for a usage error, 3 when no app runs.
#pragma once

#include "cli/CommandReply.h"

#include <QDBusMessage>
#include <QStringList>

#include <functional>

namespace nubbo::cli {

// `arguments` follow the word focus; `call` sends Focus(id) to the app and returns its reply or error.
CommandResult focusCommand(const QStringList& arguments,
                           const std::function<QDBusMessage(const QString& sessionId)>& call);

} // namespace nubbo::cli
