// Where a host's forward stands. The raw values are the spellings of the bus and the command line.
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace nubbo {

enum class RemoteHostState {
    connecting,      // ssh is starting or retrying
    connected,       // the host's socket leads to this app
    unreachable,     // ssh ended: no route, refused, timed out, not allowed in, an unknown host key
    forwardRefused,  // signed in, but the server does not forward Unix sockets (AllowStreamLocalForwarding)
};

QString rawValue(RemoteHostState state);
// Exact and case-sensitive.
std::optional<RemoteHostState> remoteHostStateFromRaw(QStringView raw);

} // namespace nubbo
