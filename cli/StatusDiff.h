// What changed between two status documents, as the lines `nubbo watch` prints.
#pragma once

#include "cli/StatusDocument.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <vector>

namespace nubbo::cli {

// A session object with its "event": added, changed, removed, request or answered; or, for "status", the
// approval mode and the pause switch.
struct WatchEvent {
    QString event;
    QJsonObject object;
};

// {"approvalMode", "paused"} as they are in `status`.
WatchEvent switchesEvent(const StatusDocument& status);
// A status event when the approval mode or the pause switch changed, then the sessions new in `after` (in its
// order), then changed ones, then those gone (as `before` had them).
std::vector<WatchEvent> diffStatus(const StatusDocument& before, const StatusDocument& after);
// One JSON Lines record, without the newline.
QByteArray eventJson(const WatchEvent& event);
// One line a person reads.
QString eventLine(const WatchEvent& event);

} // namespace nubbo::cli
