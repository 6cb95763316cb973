// An SSH host the app wires: what the user typed, split into what sessions show and what ssh is given, and
// what the app learnt of the host when it was added.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace nubbo {

// "[USER@]HOST[:PORT]" (or "[USER@][v6-address]:PORT") as the user typed it.
struct RemoteDestination {
    QString name;         // HOST: what sessions show, unique in the host list
    QString destination;  // "[USER@]HOST", what ssh is given
    std::optional<int> port;  // none: ssh's own choice (the user's ~/.ssh/config may set one)

    bool operator==(const RemoteDestination&) const = default;

    // Refuses what ssh could take for an option (a leading "-"), white space, control characters, a port
    // outside 1-65535, and a host that could not name a folder of its own ("/", ".", ".."). The error says
    // why in one line.
    static std::optional<RemoteDestination> parse(const QString& text, QString* error = nullptr);
    // "[USER@]HOST[:PORT]" again, brackets round an address with colons when a port follows.
    QString text() const;
};

struct RemoteHost {
    QString name;
    QString destination;
    std::optional<int> port;
    QString remoteHome;   // the host's $HOME when it was added
    QString socketPath;   // where the app's socket is forwarded to on the host
    QDateTime addedAt;    // UTC

    bool operator==(const RemoteHost&) const = default;

    RemoteDestination address() const { return {name, destination, port}; }
    // "<remoteHome>/.nubbo/run/nubbo.sock".
    static QString socketPathFor(const QString& remoteHome);
    // "<remoteHome>/.nubbo/bin/nubbo-bridge": what the host's hook entries run.
    static QString launcherPathFor(const QString& remoteHome);
};

} // namespace nubbo
