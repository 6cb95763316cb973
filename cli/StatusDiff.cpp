#include "cli/StatusDiff.h"

#include <QJsonDocument>

namespace nubbo::cli {
namespace {

const SessionStatus* findSession(const StatusDocument& status, const QString& id) {
    for (const SessionStatus& session : status.sessions)
        if (session.id == id)
            return &session;
    return nullptr;
}

QString text(const QJsonObject& object, const char* key) { return object.value(QLatin1String(key)).toString(); }

} // namespace

WatchEvent switchesEvent(const StatusDocument& status) {
    return {QStringLiteral("status"),
            QJsonObject{{QStringLiteral("approvalMode"), status.approvalMode}, {QStringLiteral("paused"), status.paused}}};
}

std::vector<WatchEvent> diffStatus(const StatusDocument& before, const StatusDocument& after) {
    std::vector<WatchEvent> events;
    if (before.approvalMode != after.approvalMode || before.paused != after.paused)
        events.push_back(switchesEvent(after));
    for (const SessionStatus& session : after.sessions)
        if (!findSession(before, session.id))
            events.push_back({QStringLiteral("added"), session.json});
    for (const SessionStatus& session : after.sessions)
        if (const SessionStatus* old = findSession(before, session.id); old && old->json != session.json)
            events.push_back({QStringLiteral("changed"), session.json});
    for (const SessionStatus& session : before.sessions)
        if (!findSession(after, session.id))
            events.push_back({QStringLiteral("removed"), session.json});
    return events;
}

QByteArray eventJson(const WatchEvent& event) {
    QJsonObject object = event.object;
    object.insert(QStringLiteral("event"), event.event);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString eventLine(const WatchEvent& event) {
    const QJsonObject& s = event.object;
    if (event.event == QLatin1String("status"))
        return QStringLiteral("approval mode %1, %2")
            .arg(text(s, "approvalMode"), s.value(QLatin1String("paused")).toBool() ? QStringLiteral("paused")
                                                                                    : QStringLiteral("not paused"));
    const QJsonObject request = s.value(QLatin1String("request")).toObject();
    QString line = QStringLiteral("%1 %2 %3").arg(event.event, text(s, "agent"), text(s, "id"));
    if (event.event == QLatin1String("request"))
        return line + QStringLiteral(": request %1%2: %3")
                          .arg(text(request, "id"), request.value(QLatin1String("risky")).toBool() ? QStringLiteral(" (risky)") : QString(),
                               text(request, "command").simplified());
    if (event.event == QLatin1String("answered"))
        return line + QStringLiteral(": request %1 %2").arg(text(request, "id"), text(request, "verdict"));
    if (event.event == QLatin1String("removed"))
        return line;
    return line + QStringLiteral(": %1 %2").arg(text(s, "state"), text(s, "activity").simplified()).trimmed();
}

} // namespace nubbo::cli
