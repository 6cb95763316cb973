#include "sessions/AppStatus.h"

#include "sessions/AgentSessionStore.h"
#include "settings/SettingsStore.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <vector>

namespace nubbo {
namespace {

QString isoTime(double clockSeconds, qint64 wallMsAtClockZero) {
    const qint64 ms = wallMsAtClockZero + static_cast<qint64>(std::floor(clockSeconds * 1000.0));
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate);
}

QJsonValue orNull(const std::optional<QString>& text) { return text ? QJsonValue(*text) : QJsonValue(); }

QJsonValue requestOf(const AgentSession& session, qint64 wallMsAtClockZero) {
    if (session.waiting.empty())
        return QJsonValue();
    const WaitingRequest& oldest = session.waiting.front();
    return QJsonObject{{QStringLiteral("id"), oldest.eventId.toString(QUuid::WithoutBraces)},
                       {QStringLiteral("command"), oldest.command},
                       {QStringLiteral("risky"), oldest.risk == ApprovalRisk::risky},
                       {QStringLiteral("askedAt"), isoTime(oldest.askedAt, wallMsAtClockZero)}};
}

QVariantMap withoutNulls(const QJsonObject& object) {
    QVariantMap map;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it->isNull())
            continue;
        map.insert(it.key(), it->isObject() ? QVariant(withoutNulls(it->toObject())) : it->toVariant());
    }
    return map;
}

} // namespace

QJsonArray appStatusSessions(const AgentSessionStore& store, qint64 wallMsAtClockZero) {
    std::vector<const std::pair<const QString, AgentSession>*> ordered;
    ordered.reserve(store.sessions().size());
    for (const auto& entry : store.sessions())
        ordered.push_back(&entry);
    // Newest first; the key keeps sessions updated in the same instant in one order from call to call.
    std::sort(ordered.begin(), ordered.end(), [](const auto* a, const auto* b) {
        return a->second.lastUpdate != b->second.lastUpdate ? a->second.lastUpdate > b->second.lastUpdate
                                                            : a->first < b->first;
    });
    QJsonArray sessions;
    for (const auto* entry : ordered) {
        const AgentSession& session = entry->second;
        // The key is "<provider>:<session id>"; the agent's own id may hold colons too.
        const QString id = entry->first.mid(entry->first.indexOf(QLatin1Char(':')) + 1);
        sessions.append(QJsonObject{{QStringLiteral("id"), id},
                                    {QStringLiteral("agent"), session.provider.rawValue()},
                                    {QStringLiteral("host"), orNull(session.host)},
                                    {QStringLiteral("cwd"), orNull(session.cwd)},
                                    {QStringLiteral("state"), rawValue(session.shownState())},
                                    {QStringLiteral("activity"), session.detail},
                                    {QStringLiteral("updatedAt"), isoTime(session.lastUpdate, wallMsAtClockZero)},
                                    {QStringLiteral("request"), requestOf(session, wallMsAtClockZero)}});
    }
    return sessions;
}

QJsonObject appStatus(const AgentSessionStore& store, const SettingsStore& settings, qint64 wallMsAtClockZero) {
    return QJsonObject{{QStringLiteral("version"), kAppStatusVersion},
                       {QStringLiteral("approvalMode"), settings.approvalModeRaw()},
                       {QStringLiteral("paused"), settings.pauseNubbo()},
                       {QStringLiteral("sessions"), appStatusSessions(store, wallMsAtClockZero)}};
}

QList<QVariantMap> busSessions(const QJsonArray& sessions) {
    QList<QVariantMap> list;
    list.reserve(sessions.size());
    for (const QJsonValue& session : sessions)
        list.append(withoutNulls(session.toObject()));
    return list;
}

} // namespace nubbo
