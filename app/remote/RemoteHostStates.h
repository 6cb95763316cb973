// What the running app says of each host's forward, asked over the session bus (the RemoteHosts property),
// for `nubbo remote list`.
#pragma once

#include <QMap>
#include <QString>

#include <optional>

namespace nubbo {

struct RemoteHostReport {
    QString state;   // connecting, connected, unreachable, forwardRefused
    QString reason;  // one line; may be empty
};

struct RemoteHostStates {
    // By host name; nothing when no app of this home runs or it does not report hosts.
    static std::optional<QMap<QString, RemoteHostReport>> fromRunningApp(int timeoutMs = 2000);
};

} // namespace nubbo
