#include "cli/CommandReply.h"

#include "cli/AppConnection.h"
#include "cli/Commands.h"
#include "common/BusNames.h"
#include "common/Utf8Text.h"

namespace nubbo::cli {

bool isId(const QString& id) { return text::isPrintableToken(id.toStdString(), bus::kMaxIdLength); }

QString shownId(const QString& id) {
    QString text = id.left(64);
    for (QChar& c : text)
        if (!c.isPrint() || c.isSpace())
            c = QLatin1Char('?');
    return text;
}

std::optional<CommandResult> replyFailure(const QDBusMessage& reply) {
    if (meansNotRunning(reply))
        return CommandResult{kNotRunning, QStringLiteral("nubbo is not running")};
    if (reply.type() == QDBusMessage::ErrorMessage)
        return CommandResult{1, QStringLiteral("nubbo did not answer: %1").arg(reply.errorMessage().simplified())};
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return CommandResult{1, QStringLiteral("nubbo gave an answer this command does not know")};
    return std::nullopt;
}

} // namespace nubbo::cli
