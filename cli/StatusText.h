// What `nubbo status` prints, in its human, Waybar and template forms. Pure: the clock is handed in.
#pragma once

#include "cli/StatusDocument.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace nubbo::cli {

// How a status bar colours the whole: paused beats waiting beats working beats idle.
enum class BarClass { idle, working, waiting, paused };
QString rawValue(BarClass barClass);

// A session waits when it has a request or its state is one of the waiting poses.
bool isWaiting(const SessionStatus& session);
bool isWorking(const SessionStatus& session);
// The session a one-word summary speaks of: the first waiting one, else the first working one, else the most
// recently updated; nullptr when there are none.
const SessionStatus* mostUrgent(const StatusDocument& status);
BarClass barClassOf(const StatusDocument& status);

// "5s", "3m", "2h", "4d"; "-" when the time is unknown.
QString ageText(const QDateTime& since, const QDateTime& now);
// The table of sessions with their waiting requests, then the approval mode and the pause switch.
QString statusTable(const StatusDocument& status, const QDateTime& now);
// Waybar's custom-module object {"text","tooltip","class"}, compact, without a newline.
QByteArray waybarObject(const StatusDocument& status);
// The object while no app runs: empty text, so Waybar hides the module until Nubbo runs.
QByteArray waybarOffObject();
// The template with {sessions}, {waiting}, {state} and {agent} filled in; other text stays as it is.
QString formatStatus(const StatusDocument& status, const QString& pattern);

} // namespace nubbo::cli
