#include "hooks/HookInstaller.h"

#include "hooks/LauncherScript.h"
#include "hooks/OpenCodePlugin.h"

#include <QCoreApplication>

#include "core/AppPaths.h"
#include "hooks/ConfigFileWriter.h"
#include "hooks/HookEntries.h"
#include "hooks/HookFileLock.h"
#include "hooks/TomlHookEntries.h"
#include "core/NubboLog.h"
#include "common/ProviderRegistry.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>

namespace nubbo {
namespace {

using nlohmann::json;

const QString kLatestFile = QStringLiteral("latest.txt");
const QString kStampFormat = QStringLiteral("yyyyMMdd-HHmmss");
const QByteArray kPluginMarker = QByteArrayLiteral("nubbo-bridge-marker");

QString q(const std::string& text) { return QString::fromStdString(text); }

bool containsAppMarker(const QByteArray& bytes) {
    return bytes.contains(QByteArray(kAppHookMarker.data(), qsizetype(kAppHookMarker.size())));
}

enum class JsonRead { missing, parsed, unreadable, invalid, notObject };

// Reads a configuration file without ever treating a damaged one as empty: only a missing file or one
// holding nothing but whitespace reads as {}.
JsonRead readJsonObject(const QString& path, json& out) {
    out = json::object();
    if (!QFileInfo::exists(path))
        return JsonRead::missing;
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
    if (!bytes)
        return JsonRead::unreadable;
    if (bytes->trimmed().isEmpty())
        return JsonRead::parsed;
    json parsed = json::parse(bytes->constBegin(), bytes->constEnd(), nullptr, false);
    if (parsed.is_discarded())
        return JsonRead::invalid;
    if (!parsed.is_object())
        return JsonRead::notObject;
    out = std::move(parsed);
    return JsonRead::parsed;
}

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
    // The launcher's self-clean restores untouched files from the backups the record names.
    if (!env_.writeLauncher)
        env_.writeLauncher = [home = env_.home, record = recordPath()](const QString&) {
            QString error;
            return LauncherScript::install(home, runningBundlePath(), &error, record) ? QString() : error;
        };
    if (!env_.writeOpenCodePlugin)
        env_.writeOpenCodePlugin = [home = env_.home](const QString&) {
            QString error;
            return OpenCodePlugin::install(home, &error) ? QString() : error;
        };
    if (!env_.openCodePluginText)
        env_.openCodePluginText = [] { return OpenCodePlugin::text().toUtf8(); };
    if (!env_.now)
        env_.now = [] { return QDateTime::currentDateTime(); };
    if (!env_.log)
        env_.log = [](const QString& message) { NubboLog::log(message); };
}

// ---- paths and names --------------------------------------------------------------------------------------

QString HookInstaller::launcherPath() const {
    return QDir(env_.home).filePath(QStringLiteral(".nubbo/bin/nubbo-bridge"));
}

QString HookInstaller::openCodePluginPath() const {
    return QDir(env_.home).filePath(QStringLiteral(".config/opencode/plugins/nubbo.js"));
}

QString HookInstaller::configPath(const ProviderSpec& spec) const {
    return QDir::cleanPath(QDir(env_.home).filePath(q(spec.configRelativePath)));
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

QByteArray HookInstaller::scriptText(const QString& command) {
    return QByteArrayLiteral("#!/bin/sh\n# nubbo-bridge-marker\nexec ") + command.toUtf8() + '\n';
}

std::vector<ProviderSpec> HookInstaller::specs() const {
    std::vector<ProviderSpec> shared;
    for (const auto& spec : env_.catalogue)
        if (spec.mechanism == HookMechanism::claudeHooks || spec.mechanism == HookMechanism::cursorHooks ||
            spec.mechanism == HookMechanism::tomlHooks)
            shared.push_back(spec);
    return shared;
}

bool HookInstaller::enabled(const ProviderSpec& spec) const {
    const QString id = q(spec.id).toLower();
    if (env_.enabled)
        return env_.enabled(id);
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
    if (!QDir().mkpath(folder))
        return {QStringLiteral("could not create the backup folder %1").arg(folder), {}};

    const BackupRecord loaded = BackupRecord::load(recordPath());
    BackupRecord record = loaded;
    HookInstallResult result;
    for (const auto& spec : env_.catalogue) {
        if (!enabled(spec))
            continue;
        if (QString error = wire(spec, folder, record); !error.isEmpty()) {
            noteFailure(result, spec, error, QStringLiteral("install"));
            continue;
        }
        log(QStringLiteral("hook install: %1 -> %2").arg(q(spec.title), configPath(spec)));
    }
    for (const auto& spec : env_.catalogue)
        if (!enabled(spec))
            if (QString error = unwire(spec, record); !error.isEmpty())
                noteFailure(result, spec, error, QStringLiteral("unwire"));
    const QString recordError = record == loaded ? QString() : record.save(recordPath());
    if (!recordError.isEmpty())
        log(QStringLiteral("hook install: could not keep the record of written files: ") + recordError);

    // Also when some agent failed: the backups of the others are in this run's folder.
    ConfigFileWriter::writeAtomically(QDir(backupsDirectory()).filePath(kLatestFile),
                                      QFileInfo(folder).fileName().toUtf8());
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

QString HookInstaller::wire(const ProviderSpec& spec, const QString& backupFolder, BackupRecord& record) const {
    stripFormerFiles(spec);
    switch (spec.mechanism) {
    case HookMechanism::claudeHooks:
    case HookMechanism::cursorHooks:
    case HookMechanism::tomlHooks:
        return injectSharedHooks(spec, backupFolder, record);
    case HookMechanism::copilotFile:
        return writeOwnedHookFile(spec);
    case HookMechanism::jsPlugin:
        if (!env_.writeOpenCodePlugin)
            return QStringLiteral("no OpenCode plug-in writer is configured");
        return env_.writeOpenCodePlugin(openCodePluginPath());
    case HookMechanism::scriptDir:
        return writeScriptHooks(spec);
    }
    return {};
}

QString HookInstaller::unwire(const ProviderSpec& spec, BackupRecord& record) const {
    switch (spec.mechanism) {
    case HookMechanism::claudeHooks:
    case HookMechanism::cursorHooks:
    case HookMechanism::tomlHooks:
        return restoreOrStrip(spec, record);
    case HookMechanism::copilotFile:
        QFile::remove(configPath(spec));
        break;
    case HookMechanism::jsPlugin:
        QFile::remove(openCodePluginPath());
        break;
    case HookMechanism::scriptDir:
        removeScriptHooks(spec);
        break;
    }
    return {};
}

HookInstaller::Merged HookInstaller::mergeSharedHooks(const ProviderSpec& spec) const {
    const QString path = configPath(spec);
    if (spec.mechanism == HookMechanism::tomlHooks) {
        std::string text;
        if (QFileInfo::exists(path)) {
            const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
            if (!bytes)
                return {{}, QStringLiteral("%1 could not be read; it was left unchanged").arg(path)};
            text = bytes->toStdString();
        }
        const TomlHookEntries::Edit edit = TomlHookEntries::merge(text, spec, commandFor(spec));
        if (!edit.ok())
            return {{}, QStringLiteral("%1 %2; it was left unchanged").arg(path, q(edit.error))};
        return {QByteArray::fromStdString(edit.text), {}};
    }
    json root;
    switch (readJsonObject(path, root)) {
    case JsonRead::missing:
    case JsonRead::parsed:
        break;
    case JsonRead::unreadable:
        return {{}, QStringLiteral("%1 could not be read; it was left unchanged").arg(path)};
    case JsonRead::invalid:
        return {{}, QStringLiteral("%1 is not valid JSON; it was left unchanged").arg(path)};
    case JsonRead::notObject:
        return {{}, QStringLiteral("%1 does not hold a JSON object; it was left unchanged").arg(path)};
    }
    return {QByteArray::fromStdString(HookEntries::serialise(HookEntries::merge(root, spec, commandFor(spec)))), {}};
}

QString HookInstaller::injectSharedHooks(const ProviderSpec& spec, const QString& backupFolder,
                                         BackupRecord& record) const {
    const Merged merged = mergeSharedHooks(spec);
    if (!merged.error.isEmpty())
        return merged.error;
    const QString path = configPath(spec);
    const QString name = backupName(spec);
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
                if (file.first.isEmpty() && !containsAppMarker(*before))
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

QString HookInstaller::writeOwnedHookFile(const ProviderSpec& spec) const {
    const json file = HookEntries::makeOwnedFile(spec, commandFor(spec));
    return ConfigFileWriter::writeAtomically(configPath(spec), QByteArray::fromStdString(HookEntries::serialise(file)));
}

QString HookInstaller::writeScriptHooks(const ProviderSpec& spec) const {
    removeFormerScriptHooks(spec);
    const QDir folder(configPath(spec));
    if (!QDir().mkpath(folder.path()))
        return QStringLiteral("could not create the folder %1").arg(folder.path());
    for (const auto& name : spec.events) {
        const QString event = q(name);
        const QString path = folder.filePath(event);
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
            // Anything there without our marker is the user's, whatever its encoding; one we cannot read
            // might be too.
            const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
            if (!bytes || !containsAppMarker(*bytes)) {
                log(QStringLiteral("hook install: %1 keeping existing %2 hook").arg(q(spec.title), event));
                continue;
            }
        }
        if (QString error = ConfigFileWriter::writeAtomically(path, scriptText(command(spec, event)), 0755);
            !error.isEmpty())
            return error;
        if (::chmod(QFile::encodeName(ConfigFileWriter::resolveWriteTarget(path)).constData(), 0755) != 0)
            return QStringLiteral("could not make %1 executable").arg(path);
    }
    return {};
}

// ---- uninstall ----------------------------------------------------------------------------------------------

namespace {
// An error only when the app's entries stay in the file: one that never held any has nothing to lose.
QString stripJsonFile(const QString& path) {
    json root;
    switch (readJsonObject(path, root)) {
    case JsonRead::missing:
        return {};
    case JsonRead::parsed:
        break;
    case JsonRead::unreadable:
        return QStringLiteral("%1 could not be read; the app's entries may still be in it").arg(path);
    case JsonRead::invalid:
    case JsonRead::notObject:
        if (containsAppMarker(ConfigFileWriter::read(path).value_or(QByteArray())))
            return QStringLiteral("%1 is not valid JSON; the app's entries were left in it").arg(path);
        return {};
    }
    if (const std::optional<json> stripped = HookEntries::strip(root))
        return ConfigFileWriter::writeAtomically(path, QByteArray::fromStdString(HookEntries::serialise(*stripped)));
    return {};
}
} // namespace

QString HookInstaller::stripNubbo(const ProviderSpec& spec) const {
    stripFormerFiles(spec);
    const QString path = configPath(spec);
    if (spec.mechanism != HookMechanism::tomlHooks)
        return stripJsonFile(path);
    if (!QFileInfo::exists(path))
        return {};
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
    if (!bytes)
        return QStringLiteral("%1 could not be read; the app's entries may still be in it").arg(path);
    if (const std::optional<std::string> stripped = TomlHookEntries::strip(bytes->toStdString()))
        return ConfigFileWriter::writeAtomically(path, QByteArray::fromStdString(*stripped));
    // Nothing to strip, or a file the edit cannot be made in: only the latter keeps the app's tables.
    if (containsAppMarker(*bytes)) {
        const TomlHookEntries::Edit edit = TomlHookEntries::merge(bytes->toStdString(), spec, commandFor(spec));
        if (!edit.ok())
            return QStringLiteral("%1 %2; the app's entries were left in it").arg(path, q(edit.error));
    }
    return {};
}

void HookInstaller::stripFormerFiles(const ProviderSpec& spec) const {
    for (const std::string& file : formerHookFiles(spec))
        stripJsonFile(QDir::cleanPath(QDir(env_.home).filePath(q(file))));
}

namespace {
// The app's own scripts only: anything without its marker is the user's.
void removeOwnScripts(const QDir& folder, const ProviderSpec& spec) {
    for (const auto& name : spec.events) {
        const QString path = folder.filePath(QString::fromStdString(name));
        const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
        if (bytes && containsAppMarker(*bytes))
            QFile::remove(path);
    }
}
} // namespace

void HookInstaller::removeScriptHooks(const ProviderSpec& spec) const {
    removeOwnScripts(QDir(configPath(spec)), spec);
    removeFormerScriptHooks(spec);
}

void HookInstaller::removeFormerScriptHooks(const ProviderSpec& spec) const {
    for (const std::string& folder : formerHookFolders(spec))
        removeOwnScripts(QDir(QDir(env_.home).filePath(q(folder))), spec);
}

HookInstallResult HookInstaller::uninstall() const {
    const HookFileLock lock(lockPath());
    // Written before anything is unwired: a repair waiting for the lock, here or in the running app, must
    // find the removal once it gets in.
    if (const QString error = ConfigFileWriter::writeAtomically(removedMarkerPath(), QByteArrayLiteral("removed by the user\n"));
        !error.isEmpty())
        log(QStringLiteral("hook uninstall: could not record the removal: ") + error);
    const BackupRecord loaded = BackupRecord::load(recordPath());
    BackupRecord record = loaded;
    HookInstallResult result;
    for (const auto& spec : env_.catalogue)
        if (QString error = unwire(spec, record); !error.isEmpty())
            noteFailure(result, spec, error, QStringLiteral("uninstall"));
    if (const QString error = record == loaded ? QString() : record.save(recordPath()); !error.isEmpty())
        log(QStringLiteral("hook uninstall: could not keep the record of written files: ") + error);
    return result;
}

QString HookInstaller::restoreOrStrip(const ProviderSpec& spec, BackupRecord& record) const {
    const QString name = backupName(spec);
    BackupRecord::File file = record.files.value(name);
    const QString path = configPath(spec);
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
    return stripNubbo(spec);
}

// ---- status -------------------------------------------------------------------------------------------------

bool HookInstaller::ownedHookFileInstalled(const ProviderSpec& spec) const {
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(configPath(spec));
    return bytes && containsAppMarker(*bytes);
}

bool HookInstaller::openCodePluginInstalled() const {
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(openCodePluginPath());
    return bytes && bytes->contains(kPluginMarker);
}

bool HookInstaller::scriptHooksInstalled(const ProviderSpec& spec) const {
    const QDir folder(configPath(spec));
    for (const auto& name : spec.events)
        if (!QFileInfo::exists(folder.filePath(q(name))))
            return false;
    return true;
}

HookCommandFor HookInstaller::commandFor(const ProviderSpec& spec) const {
    return [this, &spec](std::string_view event) { return command(spec, q(std::string(event))).toStdString(); };
}

bool HookInstaller::isCurrent(const ProviderSpec& spec) const {
    // A file that already holds what an install would write holds every entry too, so one read answers both.
    json root;
    switch (spec.mechanism) {
    case HookMechanism::claudeHooks:
    case HookMechanism::cursorHooks:
        if (spec.events.empty())
            return isWired(spec);
        return readJsonObject(configPath(spec), root) == JsonRead::parsed &&
               HookEntries::merge(root, spec, commandFor(spec)) == root;
    case HookMechanism::copilotFile:
        return readJsonObject(configPath(spec), root) == JsonRead::parsed &&
               root == HookEntries::makeOwnedFile(spec, commandFor(spec));
    case HookMechanism::tomlHooks: {
        const std::optional<QByteArray> bytes = ConfigFileWriter::read(configPath(spec));
        if (!bytes)
            return false;
        const std::string text = bytes->toStdString();
        const TomlHookEntries::Edit edit = TomlHookEntries::merge(text, spec, commandFor(spec));
        return edit.ok() && edit.text == text;
    }
    case HookMechanism::jsPlugin:
        return ConfigFileWriter::read(openCodePluginPath()) == env_.openCodePluginText();
    case HookMechanism::scriptDir:
        return scriptHooksCurrent(spec);
    }
    return isWired(spec);
}

bool HookInstaller::scriptHooksCurrent(const ProviderSpec& spec) const {
    // The app's scripts must run this build's command; a script of the user's stays as it is, as install
    // leaves it.
    const QDir folder(configPath(spec));
    for (const auto& name : spec.events) {
        const QString event = q(name);
        const std::optional<QByteArray> bytes = ConfigFileWriter::read(folder.filePath(event));
        if (!bytes)
            return false;
        if (containsAppMarker(*bytes) && *bytes != scriptText(command(spec, event)))
            return false;
    }
    return true;
}

bool HookInstaller::isWired(const ProviderSpec& spec) const {
    switch (spec.mechanism) {
    case HookMechanism::claudeHooks:
    case HookMechanism::cursorHooks: {
        if (spec.events.empty())
            return true;
        json root;
        return readJsonObject(configPath(spec), root) == JsonRead::parsed && HookEntries::isWired(root, spec.events);
    }
    case HookMechanism::copilotFile:
        return ownedHookFileInstalled(spec);
    case HookMechanism::tomlHooks: {
        const std::optional<QByteArray> bytes = ConfigFileWriter::read(configPath(spec));
        return bytes && TomlHookEntries::isWired(bytes->toStdString(), spec.events);
    }
    case HookMechanism::jsPlugin:
        return openCodePluginInstalled();
    case HookMechanism::scriptDir:
        return scriptHooksInstalled(spec);
    }
    return false;
}

QMap<QString, bool> HookInstaller::status() const {
    QMap<QString, bool> result;
    for (const auto& spec : env_.catalogue)
        result.insert(q(spec.id).toLower(), isWired(spec));
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
    for (const auto& spec : env_.catalogue)
        if (enabled(spec) && !isCurrent(spec))
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
    for (const auto& spec : env_.catalogue) {
        if (!enabled(spec) || spec.mechanism == HookMechanism::scriptDir)
            continue;
        const QString path = configPath(spec);
        if (QFileInfo::exists(path))
            files.append(QUrl::fromLocalFile(path));
    }
    return files;
}

} // namespace nubbo
