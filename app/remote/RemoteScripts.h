// The /bin/sh scripts the app runs on an SSH host. Every value that comes from the user or the host (its home,
// paths, file contents) enters a script only single-quoted or as printf escapes, never as script text.
#pragma once

#include "remote/StagingHome.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace nubbo {

// What the probe learnt of a host.
struct HostFacts {
    QString os;        // uname -s
    QString arch;      // uname -m
    QString nodeName;  // uname -n
    QString home;      // $HOME
    QStringList missing;  // tools the scripts need that the host lacks

    // Nothing when the output is not the probe's.
    static std::optional<HostFacts> parse(const QByteArray& output);
};

struct RemoteScripts {
    // Lines of printf commands that write exactly these bytes to standard output.
    static QByteArray printfBytes(const QByteArray& bytes);

    // Prints the host's facts, one "key=value" line each.
    static QByteArray probe();
    // Takes the bridge from the upload into ~/.nubbo/bin/nubbo-bridge-bin, writes the launcher beside it
    // (each through a temporary file and a rename), makes ~/.nubbo/run (0700), and checks that the bridge
    // runs there.
    static QByteArray installBridge(const QString& remoteHome);
    // The host's launcher: sets NUBBO_SOCKET to the forwarded socket unless the caller set one, then runs the
    // bridge; exits 0 at once when the bridge is missing.
    static QByteArray launcherText(const QString& remoteHome);
    // A tar archive on standard output of those of the paths (relative to the home) that exist, symlinks
    // followed; nothing when none does.
    static QByteArray fetch(const QString& remoteHome, const QStringList& paths);
    // The archive in a fetch's output (empty when no path existed); nothing when the output is not a fetch's.
    static std::optional<QByteArray> archiveIn(const QByteArray& fetchOutput);
    // Makes the changes on the host, only if every file they touch is still as it was fetched (else exit 4,
    // and nothing is written). Files that existed are first copied to ~/.nubbo/backups/<stamp>/; a file is
    // replaced through a temporary file in its target's folder and a rename, keeping its permissions.
    static QByteArray push(const QString& remoteHome, const QString& stamp, const std::vector<StagedChange>& changes);
    // Removes ~/.nubbo/bin/nubbo-bridge* (and the folder when that empties it) and ~/.nubbo/run.
    static QByteArray removeBridge(const QString& remoteHome);

    // The exit status of a push that found a file changed on the host.
    static constexpr int kChangedOnHost = 4;
};

} // namespace nubbo
