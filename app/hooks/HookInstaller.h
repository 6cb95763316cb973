// Wires the supported agents to the bridge and unwires them again: merges the app's hook entries into each
// agent's configuration, keeps timestamped backups of the shared files, and answers whether each agent is
// wired.
#pragma once

#include "hooks/BackupRecord.h"
#include "hooks/HookEntries.h"
#include "hooks/HookWiring.h"
#include "common/ProviderSpec.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

namespace nubbo {

// Everything the installer reads from outside the file system, so tests can run it against a temporary home.
// Every empty member falls back to the app's real collaborator.
struct HookInstallerEnvironment {
    QString home;              // default: the user's home directory
    QString backupsDirectory;  // default: AppPaths::backupsDirectory()
    std::vector<ProviderSpec> catalogue;  // default: ProviderRegistry::all()
    // Whether the agent is wired by install. Default: the shared settings store, else the catalogue's flag.
    std::function<bool(const QString& id)> enabled;
    // The config folder the user chose for the agent (absolute), empty for the default one. Asked on every
    // operation, from any thread. Default: the shared settings store, else empty.
    std::function<QString(const QString& id)> configFolder;
    // The shell command an entry runs. Default: the launcher path in single quotes (quotes inside escaped),
    // then "--source <id> --event <event>".
    std::function<QString(const QString& launcherPath, const QString& sourceId, const QString& event)> hookCommand;
    // Write the launcher / the OpenCode plug-in at the given path; they return an error text, empty on
    // success. Without a writer, install fails at that step rather than wiring agents to a missing file.
    std::function<QString(const QString& launcherPath)> writeLauncher;
    std::function<QString(const QString& pluginPath)> writeOpenCodePlugin;
    // What this build's plug-in writer writes; a plug-in with other bytes (an older release's) is not current.
    // Default: the plug-in's text.
    std::function<QByteArray()> openCodePluginText;
    std::function<QDateTime()> now;            // default: the local clock
    std::function<void(const QString&)> log;  // default: NubboLog::log
    // Backup folders an install keeps besides those still needed for a restore.
    int keptBackups = 10;
};

// One agent an operation could not wire or unwire, and why (the reason names the file).
struct HookAgentFailure {
    QString id;
    QString title;
    QString reason;
};

// What an operation the user started came to.
struct HookInstallResult {
    QString error;  // what stopped the whole run before any agent (the launcher, the backup folder)
    std::vector<HookAgentFailure> failures;  // every agent that failed, in catalogue order; the rest went on
    bool ok() const { return error.isEmpty() && failures.empty(); }
    // The error, else "<title>: <reason>" for each failed agent, joined by the separator.
    QString message(const QString& separator = QStringLiteral("\n")) const;
};

class HookInstaller {
public:
    explicit HookInstaller(HookInstallerEnvironment environment = {});

    // Writes the launcher, wires every enabled agent and unwires every disabled one; an agent that fails is
    // reported and the others go on. A shared file is backed up before the app changes it, unless it is still
    // exactly what the app last wrote (its backup from before then still holds the user's state). Old backup
    // folders are pruned afterwards. The user asked for the wiring: a removal they made earlier no longer
    // holds.
    HookInstallResult install() const;
    // Removes everything the app installed. A shared file still exactly as the app last wrote it gets its
    // backup back; one the user changed since only loses the app's entries. The agents then stay unwired, the
    // health check included, until the next install, in this process and in any other.
    HookInstallResult uninstall() const;
    // The agent's config folder was changed from `previousFolder` (empty: the default) to the one configFolder
    // now names: the previous place loses the app's hooks as an uninstall takes them out (a file untouched
    // since gets its backup back, the user's edits stay), and an enabled agent is wired in the new place,
    // unless the user removed the bridge.
    HookInstallResult changeConfigFolder(const ProviderSpec& spec, const QString& previousFolder) const;
    // Whether the user removed the bridge and has not installed it since.
    bool removedByUser() const;
    // An agent was switched on: a request to wire it, so after a removal it installs (false and the error
    // logged when that fails); otherwise nothing is done here and true is returned.
    bool agentSwitchedOn(const QString& id) const;
    // Whether each catalogue agent (by lower-cased id) is wired, enabled or not.
    QMap<QString, bool> status() const;
    bool openCodePluginInstalled() const;
    // Rewrites the launcher and repairs when an enabled agent is not wired; logs the outcome.
    void ensureHealthy() const;
    // The existing configuration files of enabled agents (script folders excluded), in catalogue order.
    QList<QUrl> watchedConfigFiles() const;
    // The catalogue entries whose file the agent shares with its user (JSON hook lists and TOML tables), in
    // catalogue order: these are backed up and restored.
    std::vector<ProviderSpec> specs() const;

    QString launcherPath() const;
    QString openCodePluginPath() const;
    // In the agent's chosen config folder, else under the home.
    QString configPath(const ProviderSpec& spec) const;
    QString configFolder(const ProviderSpec& spec) const;
    const QString& home() const { return env_.home; }
    QString backupsDirectory() const;
    // The record of what the app last wrote to each shared file, beside the backups.
    QString recordPath() const;
    // The lock that serialises install, uninstall and repair, in this process and across processes:
    // "hooks.lock" beside the backups folder.
    QString lockPath() const;
    // Present while the user's removal holds: "hooks-removed" beside the lock. A file, so a command-line run
    // and the running app see the same state, and it survives a restart.
    QString removedMarkerPath() const;
    // "<id>-<last path component of the configuration path>".
    static QString backupName(const ProviderSpec& spec) { return BackupRecord::name(spec); }
    // The command the entry for this agent's event runs.
    QString command(const ProviderSpec& spec, const QString& event) const;
    // The same, as the entry builders take it.
    HookCommandFor commandFor(const ProviderSpec& spec) const;
    bool isWired(const ProviderSpec& spec) const;
    // Wired exactly as an install now writes it: the same commands, matchers and time-outs. Entries an older
    // release wrote (a time-out in the wrong unit, an old launcher path) are wired but not current.
    bool isCurrent(const ProviderSpec& spec) const;

    // Default hook command: POSIX single-quoting of the launcher path, so any home folder is safe.
    // The bundle the running app was started from, or empty when it does not run from one.
    static QString runningBundlePath();

private:
    HookInstallResult installLocked() const;
    bool enabled(const ProviderSpec& spec) const;

public:
    // Whether install wires the agent: `override` when given, else the shared settings store, else the
    // catalogue's flag.
    static bool enabledFor(const ProviderSpec& spec, const std::function<bool(const QString& id)>& override);

private:
    void log(const QString& message) const;
    void noteFailure(HookInstallResult& result, const ProviderSpec& spec, const QString& reason,
                     const QString& operation) const;

    // The agent's wiring at its configuration file or folder `path`.
    std::unique_ptr<const HookWiring> makeWiring(const ProviderSpec& spec, const QString& path) const;
    // One per catalogue entry, in its order, each where its folder is now: made for every operation, since
    // the folders may change while the installer lives.
    std::vector<std::shared_ptr<const HookWiring>> wirings() const;
    QString writeSharedFile(const HookWiring& wiring, const QString& backupFolder, BackupRecord& record) const;
    QString wire(const HookWiring& wiring, const QString& backupFolder, BackupRecord& record) const;
    QString unwire(const HookWiring& wiring, BackupRecord& record) const;
    void stripFormerFiles(const ProviderSpec& spec) const;
    void stripDefaultFolder(const ProviderSpec& spec) const;
    QString restoreOrStrip(const HookWiring& wiring, BackupRecord& record) const;
    QString runFolder() const;
    void pruneBackups(const BackupRecord& record) const;

    HookInstallerEnvironment env_;
};

} // namespace nubbo
