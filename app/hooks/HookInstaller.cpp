#include "hooks/HookInstaller.h"

#include "hooks/LauncherScript.h"
#include "hooks/OpenCodePlugin.h"

#include <QCoreApplication>

#include "core/AppPaths.h"
#include "core/PrivateFiles.h"
#include "hooks/ConfigFileWriter.h"
#include "hooks/ConfigFolders.h"
#include "hooks/HookFileLock.h"
#include "hooks/JsonConfigFile.h"
#include "hooks/PluginFileWiring.h"
#include "core/NubboLog.h"
#include "common/ProviderRegistry.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace nubbo {
namespace {

const QString kLatestFile = QStringLiteral("latest.txt");
const QString kStampFormat = QStringLiteral("yyyyMMdd-HHmmss");

QString q(const std::string& text) { return QString::fromStdString(text); }

} // namespace

HookInstaller::HookInstaller(HookInstallerEnvironment environment) : env_(std::move(environment)) {
    if (env_.home.isEmpty())
        env_.home = QDir::homePath();
    if (env_.catalogue.empty())
        env_.catalogue = ProviderRegistry::all();
    if (!env_.hookCommand)
        env_.hookCommand = &LauncherScript::hookCommand;
    // The launcher and the plug-in are written for the home being wired; the launcher remembers the running
    // app's bundle as its first place to look.
    if (!env_.configFolder)
        env_.configFolder = [](const QString& id) {
            return SettingsStore::hasShared() ? SettingsStore::shared().configFolder(id) : QString();
        };
    // The launcher's self-clean restores untouched files from the backups the record names, and finds the
    // files of agents moved to folders of the user's choosing where they are when it is written.
    if (!env_.writeLauncher)
        env_.writeLauncher = [home = env_.home, record = recordPath(), catalogue = env_.catalogue,
                              folderOf = env_.configFolder](const QString&) {
            QHash<QString, QString> chosen;
            for (const ProviderSpec& spec : catalogue)
                if (const QString folder = ConfigFolders::movable(spec) ? folderOf(q(spec.id)) : QString(); !folder.isEmpty())
                    chosen.insert(q(spec.id), ConfigFolders::configPath(spec, home, folder));
            QString error;
            return LauncherScript::install(home, runningBundlePath(), &error, record, chosen) ? QString() : error;
        };
    if (!env_.writeOpenCodePlugin)
        env_.writeOpenCodePlugin = [](const QString& pluginPath) {
            QString error;
            return OpenCodePlugin::installAt(pluginPath, &error) ? QString() : error;
        };
    if (!env_.openCodePluginText)
        env_.openCodePluginText = [] { return OpenCodePlugin::text().toUtf8(); };
    if (!env_.now)
        env_.now = [] { return QDateTime::currentDateTime(); };
    if (!env_.log)
        env_.log = [](const QString& message) { NubboLog::log(message); };
}

std::unique_ptr<const HookWiring> HookInstaller::makeWiring(const ProviderSpec& spec, const QString& path) const {
    // The plug-in is OpenCode's configuration file: it goes where OpenCode's folder is.
    const QString pluginPath = spec.mechanism == HookMechanism::jsPlugin ? path : QString();
    return HookWiring::make({spec, env_.home, path, commandFor(spec), env_.log, pluginPath, env_.writeOpenCodePlugin,
                             env_.openCodePluginText});
}

std::vector<std::shared_ptr<const HookWiring>> HookInstaller::wirings() const {
    std::vector<std::shared_ptr<const HookWiring>> list;
    for (const ProviderSpec& spec : env_.catalogue)
        list.push_back(makeWiring(spec, configPath(spec)));
    return list;
}

// ---- paths and names --------------------------------------------------------------------------------------

QString HookInstaller::launcherPath() const {
    return QDir(env_.home).filePath(QStringLiteral(".nubbo/bin/nubbo-bridge"));
}

QString HookInstaller::openCodePluginPath() const {
    for (const ProviderSpec& spec : env_.catalogue)
        if (spec.mechanism == HookMechanism::jsPlugin)
            return configPath(spec);
    return QDir(env_.home).filePath(QStringLiteral(".config/opencode/plugins/nubbo.js"));
}

QString HookInstaller::configFolder(const ProviderSpec& spec) const {
    return ConfigFolders::movable(spec) ? env_.configFolder(q(spec.id).toLower()) : QString();
}

QString HookInstaller::configPath(const ProviderSpec& spec) const {
    return ConfigFolders::configPath(spec, env_.home, configFolder(spec));
}

QString HookInstaller::backupsDirectory() const {
    return env_.backupsDirectory.isEmpty() ? AppPaths::backupsDirectory() : env_.backupsDirectory;
}

QString HookInstaller::recordPath() const { return BackupRecord::path(backupsDirectory()); }

QString HookInstallResult::message(const QString& separator) const {
    if (!error.isEmpty())
        return error;
    QStringList lines;
    for (const HookAgentFailure& failure : failures)
        lines.append(failure.title + QStringLiteral(": ") + failure.reason);
    return lines.join(separator);
}

QString HookInstaller::runningBundlePath() {
    // <bundle>/Contents/MacOS/Nubbo: the bundle is two folders up, when the app runs from one.
    if (!QCoreApplication::instance()) return {};
    const QString bundle = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../.."));
    return bundle.endsWith(QStringLiteral(".app")) ? bundle : QString();
}

QString HookInstaller::command(const ProviderSpec& spec, const QString& event) const {
    return env_.hookCommand(launcherPath(), q(spec.id), event);
}

std::vector<ProviderSpec> HookInstaller::specs() const {
    std::vector<ProviderSpec> shared;
    for (const auto& wiring : wirings())
        if (!wiring->sharedFile().isEmpty())
            shared.push_back(wiring->spec());
    return shared;
}

bool HookInstaller::enabled(const ProviderSpec& spec) const { return enabledFor(spec, env_.enabled); }

bool HookInstaller::enabledFor(const ProviderSpec& spec, const std::function<bool(const QString& id)>& override) {
    const QString id = q(spec.id).toLower();
    if (override)
        return override(id);
    if (SettingsStore::hasShared())
        return SettingsStore::shared().enabled(id);
    return spec.confirmed;
}

void HookInstaller::log(const QString& message) const { env_.log(message); }

// ---- install ------------------------------------------------------------------------------------------------

QString HookInstaller::lockPath() const {
    return QFileInfo(backupsDirectory()).dir().filePath(QStringLiteral("hooks.lock"));
}

QString HookInstaller::removedMarkerPath() const {
    return QFileInfo(backupsDirectory()).dir().filePath(QStringLiteral("hooks-removed"));
}

bool HookInstaller::removedByUser() const { return QFileInfo::exists(removedMarkerPath()); }

HookInstallResult HookInstaller::install() const {
    const HookFileLock lock(lockPath());
    // Cleared first: even an install that fails half-way says the user wants the agents wired, so the next
    // health check may finish the job.
    QFile::remove(removedMarkerPath());
    return installLocked();
}

HookInstallResult HookInstaller::changeConfigFolder(const ProviderSpec& spec, const QString& previousFolder) const {
    const HookFileLock lock(lockPath());
    const QString previous = ConfigFolders::configPath(spec, env_.home, previousFolder);
    if (previous == configPath(spec))
        return {};
    HookInstallResult result;
    const BackupRecord loaded = BackupRecord::load(recordPath());
    BackupRecord record = loaded;
    // Whatever the agent's state: entries left in a folder it no longer reads would fire again the day the
    // user points it back there.
    if (QString error = unwire(*makeWiring(spec, previous), record); !error.isEmpty())
        noteFailure(result, spec, error, QStringLiteral("move"));
    else
        log(QStringLiteral("hook move: %1 unwired from %2").arg(q(spec.title), previous));
    if (const QString error = record == loaded ? QString() : record.save(recordPath()); !error.isEmpty())
        log(QStringLiteral("hook move: could not keep the record of written files: ") + error);
    if (removedByUser() || !enabled(spec))
        return result;
    const HookInstallResult installed = installLocked();
    if (result.error.isEmpty())
        result.error = installed.error;
    // The previous folder's failure and the new one's are one agent's; the message names both files.
    for (const HookAgentFailure& failure : installed.failures)
        result.failures.push_back(failure);
    return result;
}

bool HookInstaller::agentSwitchedOn(const QString& id) const {
    if (!removedByUser())
        return true;
    const HookInstallResult result = install();
    if (result.ok())
        log(QStringLiteral("hook install: %1 switched on, the bridge is wired again").arg(id));
    else
        log(QStringLiteral("hook install: %1 switched on, wiring FAILED: %2").arg(id, result.message(QStringLiteral("; "))));
    return result.ok();
}

HookInstallResult HookInstaller::installLocked() const {
    if (!env_.writeLauncher)
        return {QStringLiteral("no launcher writer is configured"), {}};
    if (QString error = env_.writeLauncher(launcherPath()); !error.isEmpty())
        return {error, {}};

    const QString folder = runFolder();
    if (!PrivateFiles::makeFolder(folder))
        return {QStringLiteral("could not create the backup folder %1").arg(folder), {}};

    const BackupRecord loaded = BackupRecord::load(recordPath());
    BackupRecord record = loaded;
    HookInstallResult result;
    const auto current = wirings();
    for (const auto& wiring : current) {
        const ProviderSpec& spec = wiring->spec();
        if (!enabled(spec))
            continue;
        if (QString error = wire(*wiring, folder, record); !error.isEmpty()) {
            noteFailure(result, spec, error, QStringLiteral("install"));
            continue;
        }
        log(QStringLiteral("hook install: %1 -> %2").arg(q(spec.title), configPath(spec)));
        stripDefaultFolder(spec);
    }
    for (const auto& wiring : current)
        if (!enabled(wiring->spec()))
            if (QString error = unwire(*wiring, record); !error.isEmpty())
                noteFailure(result, wiring->spec(), error, QStringLiteral("unwire"));
    const QString recordError = record == loaded ? QString() : record.save(recordPath());
    if (!recordError.isEmpty())
        log(QStringLiteral("hook install: could not keep the record of written files: ") + recordError);

    // Also when some agent failed: the backups of the others are in this run's folder.
    ConfigFileWriter::writeAtomically(QDir(backupsDirectory()).filePath(kLatestFile),
                                      QFileInfo(folder).fileName().toUtf8(), 0600);
    // Also after an agent failed: a file that stays broken must not make every repair keep another folder.
    // Not when the record on disk may still name folders this run no longer needs.
    if (recordError.isEmpty())
        pruneBackups(record);
    return result;
}

void HookInstaller::noteFailure(HookInstallResult& result, const ProviderSpec& spec, const QString& reason,
                                const QString& operation) const {
    result.failures.push_back({q(spec.id).toLower(), q(spec.title), reason});
    log(QStringLiteral("hook %1: %2 FAILED: %3").arg(operation, q(spec.title), reason));
}

QString HookInstaller::runFolder() const {
    // A run in the same second as the last must not overwrite the backups that one took.
    QDateTime time = env_.now();
    QString folder = QDir(backupsDirectory()).filePath(time.toString(kStampFormat));
    while (QFileInfo::exists(folder)) {
        time = time.addSecs(1);
        folder = QDir(backupsDirectory()).filePath(time.toString(kStampFormat));
    }
    return folder;
}

void HookInstaller::pruneBackups(const BackupRecord& record) const {
    static const QRegularExpression stampPattern(QStringLiteral("^[0-9]{8}-[0-9]{6}$"));
    const QDir backups(backupsDirectory());
    QStringList stamps = backups.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name).filter(stampPattern);
    QSet<QString> needed = record.folders();
    if (const std::optional<QByteArray> latest = ConfigFileWriter::read(backups.filePath(kLatestFile)))
        needed.insert(QString::fromUtf8(*latest).trimmed());
    // Folder names sort as their times do.
    for (qsizetype i = 0; i + env_.keptBackups < stamps.size(); ++i)
        if (!needed.contains(stamps[i]) && !QDir(backups.filePath(stamps[i])).removeRecursively())
            log(QStringLiteral("hook install: could not remove the old backup folder %1").arg(stamps[i]));
}

QString HookInstaller::wire(const HookWiring& wiring, const QString& backupFolder, BackupRecord& record) const {
    stripFormerFiles(wiring.spec());
    if (wiring.sharedFile().isEmpty())
        return wiring.write();
    return writeSharedFile(wiring, backupFolder, record);
}

QString HookInstaller::unwire(const HookWiring& wiring, BackupRecord& record) const {
    if (wiring.sharedFile().isEmpty())
        return wiring.strip();
    return restoreOrStrip(wiring, record);
}

QString HookInstaller::writeSharedFile(const HookWiring& wiring, const QString& backupFolder,
                                       BackupRecord& record) const {
    const HookWiring::Merged merged = wiring.merged();
    if (!merged.error.isEmpty())
        return merged.error;
    const QString path = wiring.sharedFile();
    const QString name = backupName(wiring.spec());
    BackupRecord::File file = record.files.value(name);
    const std::optional<QByteArray> before = ConfigFileWriter::read(path);
    // Still exactly what the app last wrote: the backup taken before that write still holds the user's state.
    const bool untouched = before && !file.sha256.isEmpty() && BackupRecord::digest(*before) == file.sha256;
    // Rewriting identical bytes would only wake every watcher of the file.
    if (before != merged.bytes) {
        if (!untouched) {
            file.backup.clear();
            if (before) {
                if (QString error = ConfigFileWriter::copy(path, QDir(backupFolder).filePath(name)); !error.isEmpty())
                    return error;
                file.backup = QFileInfo(backupFolder).fileName();
                if (file.first.isEmpty() && !HookWiring::holdsAppHook(*before))
                    file.first = file.backup;
            }
        }
        if (QString error = ConfigFileWriter::writeAtomically(path, merged.bytes); !error.isEmpty())
            return error;
    } else if (!untouched) {
        file.backup.clear();  // it already held the app's entries: there is nothing else of the app's to undo
    }
    file.sha256 = BackupRecord::digest(merged.bytes);
    record.files.insert(name, file);
    return {};
}

void HookInstaller::stripDefaultFolder(const ProviderSpec& spec) const {
    // An agent given a folder of the user's choosing no longer reads its default one (the preference may have
    // been set by hand, with no move): the app's entries there go, the user's stay.
    const QString fallback = ConfigFolders::configPath(spec, env_.home, {});
    if (fallback == configPath(spec))
        return;
    const auto wiring = makeWiring(spec, fallback);
    if (!wiring->isWired() && !HookWiring::holdsAppHook(ConfigFileWriter::read(fallback).value_or(QByteArray())))
        return;
    if (const QString error = wiring->strip(); !error.isEmpty())
        log(QStringLiteral("hook install: %1's default folder keeps the app's entries: %2").arg(q(spec.title), error));
    else
        log(QStringLiteral("hook install: %1 unwired from its default folder %2").arg(q(spec.title), fallback));
}

// ---- uninstall ----------------------------------------------------------------------------------------------

void HookInstaller::stripFormerFiles(const ProviderSpec& spec) const {
    for (const std::string& file : formerHookFiles(spec))
        JsonConfigFile::stripAppEntries(QDir::cleanPath(QDir(env_.home).filePath(q(file))));
}

HookInstallResult HookInstaller::uninstall() const {
    const HookFileLock lock(lockPath());
    // Written before anything is unwired: a repair waiting for the lock, here or in the running app, must
    // find the removal once it gets in.
    if (const QString error = ConfigFileWriter::writeAtomically(removedMarkerPath(), QByteArrayLiteral("removed by the user\n"), 0600);
        !error.isEmpty())
        log(QStringLiteral("hook uninstall: could not record the removal: ") + error);
    const BackupRecord loaded = BackupRecord::load(recordPath());
    BackupRecord record = loaded;
    HookInstallResult result;
    for (const auto& wiring : wirings())
        if (QString error = unwire(*wiring, record); !error.isEmpty())
            noteFailure(result, wiring->spec(), error, QStringLiteral("uninstall"));
    if (const QString error = record == loaded ? QString() : record.save(recordPath()); !error.isEmpty())
        log(QStringLiteral("hook uninstall: could not keep the record of written files: ") + error);
    return result;
}

QString HookInstaller::restoreOrStrip(const HookWiring& wiring, BackupRecord& record) const {
    const ProviderSpec& spec = wiring.spec();
    const QString name = backupName(spec);
    BackupRecord::File file = record.files.value(name);
    const QString path = wiring.sharedFile();
    if (!file.sha256.isEmpty() && !file.backup.isEmpty()) {
        const std::optional<QByteArray> current = ConfigFileWriter::read(path);
        const QString backupPath = QDir(QDir(backupsDirectory()).filePath(file.backup)).filePath(name);
        const std::optional<QByteArray> saved = ConfigFileWriter::read(backupPath);
        // Only a file nobody changed since the app wrote it: anything else is the user's, and only the app's
        // entries come out of it.
        if (current && saved && BackupRecord::digest(*current) == file.sha256) {
            if (QString error = ConfigFileWriter::writeAtomically(path, *saved, ConfigFileWriter::mode(backupPath).value_or(0644));
                !error.isEmpty())
                return error;
            log(QStringLiteral("hook restore: %1 from backup %2").arg(q(spec.title), file.backup));
        }
    }
    // The app no longer stands behind the file; the oldest copy of the user's own stays remembered.
    file.sha256.clear();
    file.backup.clear();
    if (file.first.isEmpty())
        record.files.remove(name);
    else
        record.files.insert(name, file);
    // A backup taken after the user edited a wired file still holds the app's entries.
    stripFormerFiles(spec);
    return wiring.strip();
}

// ---- status -------------------------------------------------------------------------------------------------

bool HookInstaller::openCodePluginInstalled() const { return PluginFileWiring::installedAt(openCodePluginPath()); }

HookCommandFor HookInstaller::commandFor(const ProviderSpec& spec) const {
    // By value: the wirings outlive any one call and go with copies of the installer.
    return [hookCommand = env_.hookCommand, launcher = launcherPath(), id = q(spec.id)](std::string_view event) {
        return hookCommand(launcher, id, q(std::string(event))).toStdString();
    };
}

bool HookInstaller::isCurrent(const ProviderSpec& spec) const {
    return makeWiring(spec, configPath(spec))->isCurrent();
}

bool HookInstaller::isWired(const ProviderSpec& spec) const { return makeWiring(spec, configPath(spec))->isWired(); }

QMap<QString, bool> HookInstaller::status() const {
    QMap<QString, bool> result;
    for (const auto& wiring : wirings())
        result.insert(q(wiring->spec().id).toLower(), wiring->isWired());
    return result;
}

void HookInstaller::ensureHealthy() const {
    // Checked under the lock too: an install running elsewhere must finish before its files are judged.
    const HookFileLock lock(lockPath());
    // The user removed the bridge: repairing would undo what they just did.
    if (removedByUser()) {
        log(QStringLiteral("hook ensure: skipped, the bridge was removed by the user"));
        return;
    }
    if (env_.writeLauncher)
        env_.writeLauncher(launcherPath());
    bool healthy = true;
    for (const auto& wiring : wirings())
        if (enabled(wiring->spec()) && !wiring->isCurrent())
            healthy = false;
    if (healthy) {
        log(QStringLiteral("hook ensure: healthy, no action"));
        return;
    }
    const HookInstallResult result = installLocked();
    if (result.ok())
        log(QStringLiteral("hook ensure: repaired stale/missing hooks"));
    else
        log(QStringLiteral("hook ensure: repair FAILED: ") + result.message(QStringLiteral("; ")));
}

QList<QUrl> HookInstaller::watchedConfigFiles() const {
    QList<QUrl> files;
    for (const auto& wiring : wirings()) {
        if (!enabled(wiring->spec()))
            continue;
        const QString path = wiring->watchedFile();
        if (!path.isEmpty() && QFileInfo::exists(path))
            files.append(QUrl::fromLocalFile(path));
    }
    return files;
}

} // namespace nubbo
