// Puts Nubbo on an SSH host and takes it off again: copies the static bridge and a launcher to ~/.nubbo/bin
// there, wires the enabled agents in the host's own files with the installer's own merge rules, and keeps
// the host in the host list. Used by `nubbo remote` and the settings window.
#pragma once

#include "remote/RemoteHost.h"
#include "remote/SshTransport.h"
#include "common/ProviderSpec.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace nubbo {

// Everything the installer takes from outside; every empty member falls back to the app's own.
struct RemoteInstallerEnvironment {
    QString dataDirectory;  // default: AppPaths::dataDirectory(); the host list and Hosts/<name>/ are there
    // The connection for one operation. Default: the user's ssh, sharing one connection in the runtime folder.
    std::function<std::unique_ptr<SshTransport>(bool interactive)> transport;
    QString bridgePath;          // default: the running bundle's Contents/Helpers/nubbo-bridge
    QString bridgeArchitecture;  // what `uname -m` says where the bridge runs; default: this machine's
    // This machine's `uname -n` and home: a host that is both is the home Nubbo wires already.
    QString localNodeName;
    QString localHome;
    std::vector<ProviderSpec> catalogue;  // default: ProviderRegistry::all()
    // Whether an agent is wired. Default: the shared settings store, else the catalogue's flag.
    std::function<bool(const QString& id)> enabled;
    std::function<QDateTime()> now;  // default: the clock
    // One line per step, for a terminal; default: none.
    std::function<void(const QString& line)> progress;
};

// What an operation came to.
struct RemoteOutcome {
    QString error;  // one line saying what failed; empty when everything was done
    std::optional<RemoteHost> host;  // add: the host as saved (also when an agent failed but the bridge is there)
    bool ok() const { return error.isEmpty(); }
};

class RemoteInstaller {
public:
    explicit RemoteInstaller(RemoteInstallerEnvironment environment = {});

    // Each operation blocks until ssh is done (seconds, longer on a slow link): call it off the GUI thread.
    // interactive: ssh may ask on the terminal (a host key, a passphrase); otherwise a step that needs to ask
    // fails, and the error says to run `nubbo remote add` in a terminal once.

    // Adds "[USER@]HOST[:PORT]", or wires again a host already in the list.
    RemoteOutcome add(const QString& destinationText, bool interactive) const;
    // Unwires the host and removes what was copied there, then forgets it. A host that cannot be reached (or
    // whose files could not all be restored) stays in the list, unless forget: then it is dropped here only.
    RemoteOutcome remove(const QString& name, bool interactive = false, bool forget = false) const;
    // The host list; a list that cannot be read sets the error and reads as empty.
    std::vector<RemoteHost> hosts(QString* error = nullptr) const;

    QString listPath() const;
    // "<data>/Hosts/<name>": the host's local copy of its agent files, and their backups and record.
    QString hostFolder(const QString& name) const;

    // The agents wired on hosts: OpenCode's plug-in finds its socket by the desktop's own rules, not the
    // forwarded one, so it is left out there.
    static std::vector<ProviderSpec> hostCatalogue(const std::vector<ProviderSpec>& catalogue);

private:
    RemoteOutcome addLocked(const RemoteDestination& address, const QString& typed, bool interactive,
                            std::optional<QDateTime> addedAt) const;
    std::optional<QString> probe(SshTransport& transport, const RemoteDestination& address, const QString& typed,
                                 QString* home) const;
    // Fetches the agents' files into the host's staging home, runs the hook installer there, and makes what it
    // changed on the host. The agents that failed, each "<Title>: <reason>"; an error stops it all.
    QStringList wire(SshTransport& transport, const RemoteHost& host, bool uninstall, QString* error) const;
    QString saveHost(const RemoteHost& host) const;
    QString forgetHost(const QString& name) const;
    bool enabled(const ProviderSpec& spec) const;
    void progress(const QString& line) const;

    RemoteInstallerEnvironment env_;
};

} // namespace nubbo
