// What the app tells other programs about the agents: the status document (`Status()` on the bus, printed
// by `nubbo status --json`) and the same sessions in the bus's a{sv} form. Built straight from the store on
// every call, since status bars ask about once a second.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QVariantMap>

namespace nubbo {

class AgentSessionStore;
class SettingsStore;

inline constexpr int kAppStatusVersion = 1;

// wallMsAtClockZero: the wall time, in ms since the epoch, at which the store's Clock read 0.
QJsonObject appStatus(const AgentSessionStore& store, const SettingsStore& settings, qint64 wallMsAtClockZero);
// Sessions ordered by their latest update, newest first; each with its oldest waiting request or null.
QJsonArray appStatusSessions(const AgentSessionStore& store, qint64 wallMsAtClockZero);
// The bus form of a session list: a null value is an absent key, `request` a nested map.
QList<QVariantMap> busSessions(const QJsonArray& sessions);

} // namespace nubbo
