// What changed between two status documents, as the lines `nubbo watch` prints.
#pragma once

#include "cli/StatusDocument.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <vector>

namespace nubbo::cli {

// A session object with its "event": added, changed, removed, request or answered.
struct WatchEvent {
    QString event;
    QJsonObject session;
};

// Sessions new in `after` (in its order), then changed ones, then those gone (as `before` had them).
std::vector<WatchEvent> diffSessions(const StatusDocument& before, const StatusDocument& after);
// One JSON Lines record, without the newline.
QByteArray eventJson(const WatchEvent& event);
// One line a person reads.
QString eventLine(const WatchEvent& event);

} // namespace nubbo::cli
