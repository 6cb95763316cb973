#include "cli/AppConnection.h"
#include "cli/CommandReply.h"
#include "cli/Commands.h"

namespace nubbo::cli {

int runAnswer(bool allow, const QStringList& arguments) {
    const QString verb = allow ? QStringLiteral("approve") : QStringLiteral("deny");
    if (arguments.size() != 1) {
        printLine(QStringLiteral("usage: nubbo %1 REQUEST_ID").arg(verb), true);
        return 2;
    }
    const QString& id = arguments[0];
    if (!isId(id)) {
        printLine(QStringLiteral("not a request id: %1").arg(shownId(id)));
        return 1;
    }
    const QDBusMessage reply = AppConnection().call(allow ? QStringLiteral("Approve") : QStringLiteral("Deny"), {id});
    if (const auto failed = replyFailure(reply)) {
        printLine(failed->line);
        return failed->exitCode;
    }
    if (!reply.arguments().constFirst().toBool()) {
        printLine(QStringLiteral("no request with the id %1 waits").arg(id));
        return 1;
    }
    return 0;
}

} // namespace nubbo::cli
