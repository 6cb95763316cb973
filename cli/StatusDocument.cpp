#include "cli/StatusDocument.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace nubbo::cli {

std::optional<StatusDocument> parseStatus(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(QLatin1String("version")).toInt() != 1)
        return std::nullopt;
    StatusDocument status;
    status.approvalMode = root.value(QLatin1String("approvalMode")).toString();
    status.paused = root.value(QLatin1String("paused")).toBool();
    for (const QJsonValue& value : root.value(QLatin1String("sessions")).toArray()) {
        const QJsonObject object = value.toObject();
        SessionStatus session;
        session.id = object.value(QLatin1String("id")).toString();
        session.agent = object.value(QLatin1String("agent")).toString();
        session.host = object.value(QLatin1String("host")).toString();
        session.cwd = object.value(QLatin1String("cwd")).toString();
        session.state = object.value(QLatin1String("state")).toString();
        session.activity = object.value(QLatin1String("activity")).toString();
        session.updatedAt = QDateTime::fromString(object.value(QLatin1String("updatedAt")).toString(), Qt::ISODate);
        const QJsonObject request = object.value(QLatin1String("request")).toObject();
        if (!request.isEmpty())
            session.request = WaitingRequest{request.value(QLatin1String("id")).toString(),
                                             request.value(QLatin1String("command")).toString(),
                                             request.value(QLatin1String("risky")).toBool()};
        session.json = object;
        status.sessions.push_back(std::move(session));
    }
    return status;
}

} // namespace nubbo::cli
