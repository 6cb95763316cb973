#include "remote/RemoteInstaller.h"

#include "core/AppPaths.h"
#include "core/NubboLog.h"
#include "hooks/BackupRecord.h"
#include "hooks/ConfigFileWriter.h"
#include "hooks/HookFileLock.h"
#include "hooks/HookInstaller.h"
#include "hooks/LauncherScript.h"
#include "remote/RemoteHostList.h"
#include "remote/RemoteScripts.h"
#include "remote/SshProcessTransport.h"
#include "remote/StagingHome.h"
#include "common/ProviderRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <sys/utsname.h>

namespace nubbo {
namespace {

const QString kAgentSeparator = QStringLiteral(" | ");
const QString kStampFormat = QStringLiteral("yyyyMMdd-HHmmss");

QString q(const std::string& text) { return QString::fromStdString(text); }

struct Uname {
    QString machine, node;
};

Uname uname() {
    struct utsname name {};
    if (::uname(&name) != 0)
        return {};
    return {QString::fromUtf8(name.machine), QString::fromUtf8(name.nodename)};
}

bool isUsableHome(const QString& home) {
    if (!home.startsWith(QLatin1Char('/')))
        return false;
    for (const QChar c : home)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

// The catalogue paths a wiring may read or write under a home, relative to it.
QStringList pathsOf(const ProviderSpec& spec) {
    QStringList paths{q(spec.configRelativePath)};
    for (const std::string& file : formerHookFiles(spec)) paths.append(q(file));
    for (const std::string& folder : formerHookFolders(spec)) paths.append(q(folder));
    return paths;
}

bool covers(const QStringList& paths, const QString& file) {
    for (const QString& path : paths)
        if (file == path || file.startsWith(path + QLatin1Char('/')))
            return true;
    return false;
}

QString joined(const QStringList& titles) {
    return QLocale(QLocale::English).createSeparatedList(titles);
}

} // namespace

RemoteInstaller::RemoteInstaller(RemoteInstallerEnvironment environment) : env_(std::move(environment)) {
    if (env_.dataDirectory.isEmpty())
        env_.dataDirectory = AppPaths::dataDirectory();
    if (!env_.transport)
        env_.transport = [](bool interactive) -> std::unique_ptr<SshTransport> {
            return std::make_unique<SshProcessTransport>(AppPaths::runtimeDirectory(), interactive);
        };
    if (env_.bridgePath.isEmpty() && QCoreApplication::instance())
        env_.bridgePath =
            QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../Helpers/nubbo-bridge"));
    const Uname here = uname();
    if (env_.bridgeArchitecture.isEmpty())
        env_.bridgeArchitecture = here.machine;
    if (env_.localNodeName.isEmpty())
        env_.localNodeName = here.node;
    if (env_.localHome.isEmpty())
        env_.localHome = QDir::homePath();
    if (env_.catalogue.empty())
        env_.catalogue = ProviderRegistry::all();
    if (!env_.now)
        env_.now = [] { return QDateTime::currentDateTime(); };
}

std::vector<ProviderSpec> RemoteInstaller::hostCatalogue(const std::vector<ProviderSpec>& catalogue) {
    std::vector<ProviderSpec> result;
    for (const ProviderSpec& spec : catalogue)
        if (spec.mechanism != HookMechanism::jsPlugin)
            result.push_back(spec);
    return result;
}

QString RemoteInstaller::listPath() const {
    return QDir(env_.dataDirectory).filePath(QStringLiteral("remote-hosts.json"));
}

QString RemoteInstaller::hostFolder(const QString& name) const {
    return QDir(env_.dataDirectory).filePath(QStringLiteral("Hosts/") + name);
}

std::vector<RemoteHost> RemoteInstaller::hosts(QString* error) const {
    return RemoteHostList::load(listPath(), error).hosts();
}

bool RemoteInstaller::enabled(const ProviderSpec& spec) const { return HookInstaller::enabledFor(spec, env_.enabled); }

void RemoteInstaller::progress(const QString& line) const {
    if (env_.progress)
        env_.progress(line);
}

// ---- add --------------------------------------------------------------------------------------------------

RemoteOutcome RemoteInstaller::add(const QString& destinationText, bool interactive) const {
    QString why;
    const std::optional<RemoteDestination> address = RemoteDestination::parse(destinationText, &why);
    if (!address)
        return {QStringLiteral("\"%1\" is not [USER@]HOST[:PORT]: %2").arg(destinationText, why), {}};
    QString listError;
    const RemoteHostList list = RemoteHostList::load(listPath(), &listError);
    if (!listError.isEmpty())
        return {listError, {}};
    const RemoteHost* known = list.find(address->name);
    if (known && known->address() != *address)
        return {QStringLiteral("%1 is already added as %2; remove it first").arg(address->name, known->address().text()),
                {}};

    RemoteOutcome outcome;
    {
        // One operation per host at a time, in this process and any other.
        const HookFileLock lock(QDir(hostFolder(address->name)).filePath(QStringLiteral("host.lock")));
        outcome = addLocked(*address, destinationText, interactive, known ? std::optional(known->addedAt) : std::nullopt);
    }
    // A host that never made it into the list leaves nothing behind.
    if (!outcome.host && !known)
        QDir(hostFolder(address->name)).removeRecursively();
    return outcome;
}

RemoteOutcome RemoteInstaller::addLocked(const RemoteDestination& address, const QString& typed, bool interactive,
                                         std::optional<QDateTime> addedAt) const {
    const std::unique_ptr<SshTransport> transport = env_.transport(interactive);
    QString home;
    if (const std::optional<QString> error = probe(*transport, address, typed, &home))
        return {*error, {}};

    const std::optional<QByteArray> bridge = ConfigFileWriter::read(env_.bridgePath);
    if (!bridge || bridge->isEmpty())
        return {QStringLiteral("this Nubbo has no bridge to copy (%1 is missing)").arg(env_.bridgePath), {}};
    progress(QStringLiteral("Copying the bridge (%1 MB) to %2:~/.nubbo/bin")
                 .arg(QString::number(double(bridge->size()) / 1e6, 'f', 1), address.name));
    const SshRun copied = transport->run(address, RemoteScripts::installBridge(home), *bridge);
    if (!copied.ok())
        return {QStringLiteral("could not copy the bridge to %1: %2").arg(address.name, copied.reason), {}};

    RemoteHost host{address.name, address.destination, address.port, home, RemoteHost::socketPathFor(home),
                    addedAt.value_or(env_.now().toUTC())};
    QString error;
    const QStringList failures = wire(*transport, host, false, &error);
    // The bridge is there: the forward can start, and a repair can finish what failed.
    if (const QString saveError = saveHost(host); !saveError.isEmpty())
        return {saveError, {}};
    if (!error.isEmpty())
        return {error, host};
    if (!failures.isEmpty())
        return {failures.join(kAgentSeparator), host};
    progress(QStringLiteral("Saved %1; Nubbo forwards its socket there while it runs").arg(host.name));
    return {{}, host};
}

std::optional<QString> RemoteInstaller::probe(SshTransport& transport, const RemoteDestination& address,
                                              const QString& typed, QString* home) const {
    progress(QStringLiteral("Connecting to %1").arg(address.text()));
    const SshRun run = transport.run(address, RemoteScripts::probe());
    if (!run.reached()) {
        QString error = QStringLiteral("could not reach %1: %2").arg(address.name, run.reason);
        if (run.needsPrompt)
            error += QStringLiteral("; run \"nubbo remote add %1\" in a terminal once").arg(typed);
        return error;
    }
    const std::optional<HostFacts> facts = HostFacts::parse(run.output);
    if (!run.ok() || !facts)
        return run.reason.isEmpty() ? QStringLiteral("%1 did not answer as a POSIX shell would").arg(address.name)
                                    : QStringLiteral("%1 did not answer as a POSIX shell would: %2").arg(address.name, run.reason);
    if (!facts->missing.isEmpty())
        return QStringLiteral("%1 lacks %2, which Nubbo needs there").arg(address.name, joined(facts->missing));
    if (facts->os != QLatin1String("Linux"))
        return QStringLiteral("%1 runs %2; this Nubbo has a bridge for Linux only").arg(address.name, facts->os);
    if (facts->arch != env_.bridgeArchitecture)
        return QStringLiteral("%1 is %2; this Nubbo has a bridge for %3 only")
            .arg(address.name, facts->arch, env_.bridgeArchitecture);
    if (!isUsableHome(facts->home))
        return QStringLiteral("%1 has no usable home folder (\"%2\")").arg(address.name, facts->home);
    if (facts->nodeName == env_.localNodeName && QDir::cleanPath(facts->home) == QDir::cleanPath(env_.localHome))
        return QStringLiteral("%1 is this machine and this home, which Nubbo wires already").arg(address.name);
    progress(QStringLiteral("%1: %2 %3, home %4").arg(address.name, facts->os, facts->arch, facts->home));
    *home = QDir::cleanPath(facts->home);
    return std::nullopt;
}

// ---- wiring -----------------------------------------------------------------------------------------------

QStringList RemoteInstaller::wire(SshTransport& transport, const RemoteHost& host, bool uninstall,
                                  QString* error) const {
    const std::vector<ProviderSpec> catalogue = hostCatalogue(env_.catalogue);
    QStringList paths, wired;
    for (const ProviderSpec& spec : catalogue) {
        paths += pathsOf(spec);
        if (enabled(spec))
            wired.append(q(spec.title));
    }
    for (const ProviderSpec& spec : env_.catalogue)
        if (spec.mechanism == HookMechanism::jsPlugin && enabled(spec) && !uninstall)
            progress(QStringLiteral("%1 is not wired on hosts yet").arg(q(spec.title)));

    const QString folder = hostFolder(host.name);
    const QString staging = QDir(folder).filePath(QStringLiteral("home"));
    // The host's files are the truth: nothing of an earlier run's copy may pass for them.
    QDir(staging).removeRecursively();
    if (!QDir().mkpath(staging)) {
        *error = QStringLiteral("could not create %1").arg(staging);
        return {};
    }
    const SshRun fetched = transport.run(host.address(), RemoteScripts::fetch(host.remoteHome, paths));
    const std::optional<QByteArray> archive = RemoteScripts::archiveIn(fetched.output);
    if (!fetched.ok() || !archive) {
        *error = QStringLiteral("could not read the agents' files on %1: %2")
                     .arg(host.name, fetched.reason.isEmpty() ? QStringLiteral("no answer") : fetched.reason);
        return {};
    }
    if (const QString unpackError = StagingHome::unpack(*archive, staging, paths); !unpackError.isEmpty()) {
        *error = unpackError;
        return {};
    }
    const StagedFiles before = StagingHome::snapshot(staging);

    if (!uninstall)
        progress(QStringLiteral("Wiring %1 in %2's own files").arg(joined(wired), host.name));
    HookInstallerEnvironment hooks;
    hooks.home = staging;
    hooks.backupsDirectory = QDir(folder).filePath(QStringLiteral("Backups"));
    hooks.catalogue = catalogue;
    hooks.enabled = [this, &catalogue](const QString& id) {
        for (const ProviderSpec& spec : catalogue)
            if (q(spec.id).toLower() == id)
                return enabled(spec);
        return false;
    };
    // A folder chosen for an agent here names this machine's files: a host keeps its agents' default folders.
    hooks.configFolder = [](const QString&) { return QString(); };
    const QString launcher = RemoteHost::launcherPathFor(host.remoteHome);
    hooks.hookCommand = [launcher](const QString&, const QString& source, const QString& event) {
        return LauncherScript::hookCommand(launcher, source, event);
    };
    // The host's launcher was written with the bridge.
    hooks.writeLauncher = [](const QString&) { return QString(); };
    hooks.now = env_.now;
    hooks.log = [name = host.name](const QString& line) { NubboLog::log(QStringLiteral("remote %1: ").arg(name) + line); };
    const HookInstaller installer(hooks);
    const BackupRecord recordBefore = BackupRecord::load(installer.recordPath());
    const HookInstallResult result = uninstall ? installer.uninstall() : installer.install();
    if (!result.error.isEmpty()) {
        *error = result.error;
        return {};
    }
    QStringList failures;
    // The installer names the local copies; the user knows the files as the host's.
    const auto onHost = [&](QString reason) {
        return reason.replace(staging + QLatin1Char('/'), host.name + QStringLiteral(":~/"));
    };
    for (const HookAgentFailure& failure : result.failures)
        failures.append(failure.title + QStringLiteral(": ") + onHost(failure.reason));

    // Each agent's changes as one step on the host: all of them, or none when a file changed there meanwhile.
    const std::vector<StagedChange> changes = StagingHome::changes(before, StagingHome::snapshot(staging));
    const QString stamp = env_.now().toString(kStampFormat);
    BackupRecord record = BackupRecord::load(installer.recordPath());
    bool recordChanged = false;
    for (const ProviderSpec& spec : catalogue) {
        std::vector<StagedChange> own;
        for (const StagedChange& change : changes)
            if (covers(pathsOf(spec), change.path))
                own.push_back(change);
        if (own.empty())
            continue;
        const SshRun pushed = transport.run(host.address(), RemoteScripts::push(host.remoteHome, stamp, own));
        if (pushed.ok())
            continue;
        failures.append(q(spec.title) + QStringLiteral(": ") +
                        (pushed.reason.isEmpty() ? QStringLiteral("%1 could not be reached").arg(host.name)
                                                 : pushed.reason));
        // Nothing was written there: the record must not claim the installer's bytes are on the host.
        const QString name = BackupRecord::name(spec);
        if (recordBefore.files.contains(name))
            record.files.insert(name, recordBefore.files.value(name));
        else
            record.files.remove(name);
        recordChanged = true;
    }
    if (recordChanged)
        if (const QString recordError = record.save(installer.recordPath()); !recordError.isEmpty())
            NubboLog::log(QStringLiteral("remote %1: could not keep the record of written files: %2").arg(host.name, recordError));
    return failures;
}

// ---- remove -----------------------------------------------------------------------------------------------

RemoteOutcome RemoteInstaller::remove(const QString& name, bool interactive, bool forget) const {
    QString listError;
    const RemoteHostList list = RemoteHostList::load(listPath(), &listError);
    if (!listError.isEmpty())
        return {listError, {}};
    const RemoteHost* found = list.find(name);
    if (!found)
        return {QStringLiteral("no remote host is named %1").arg(name), {}};
    const RemoteHost host = *found;

    const HookFileLock lock(QDir(hostFolder(name)).filePath(QStringLiteral("host.lock")));
    const std::unique_ptr<SshTransport> transport = env_.transport(interactive);
    progress(QStringLiteral("Connecting to %1").arg(host.address().text()));
    const SshRun reached = transport->run(host.address(), QByteArrayLiteral("exit 0\n"));
    QString error;
    if (!reached.reached()) {
        error = QStringLiteral("could not reach %1: %2").arg(name, reached.reason);
        if (reached.needsPrompt)
            error += QStringLiteral("; run \"nubbo remote remove %1\" in a terminal").arg(name);
    } else {
        progress(QStringLiteral("Unwiring the agents in %1's own files").arg(name));
        const QStringList failures = wire(*transport, host, true, &error);
        if (error.isEmpty() && !failures.isEmpty())
            error = failures.join(kAgentSeparator);
        if (error.isEmpty()) {
            const SshRun removed = transport->run(host.address(), RemoteScripts::removeBridge(host.remoteHome));
            if (!removed.ok())
                error = QStringLiteral("could not remove the bridge from %1: %2").arg(name, removed.reason);
        }
    }
    if (!error.isEmpty() && !forget)
        return {error + QStringLiteral("; %1 stays in the list (--forget drops it here only)").arg(name), host};
    if (!error.isEmpty())
        progress(error + QStringLiteral("; what is on %1 stays there").arg(name));
    if (const QString forgetError = forgetHost(name); !forgetError.isEmpty())
        return {forgetError, host};
    progress(QStringLiteral("Removed %1").arg(name));
    return {};
}

// ---- the list ---------------------------------------------------------------------------------------------

QString RemoteInstaller::saveHost(const RemoteHost& host) const {
    const HookFileLock lock(RemoteHostList::lockPath(listPath()));
    QString error;
    RemoteHostList list = RemoteHostList::load(listPath(), &error);
    if (!error.isEmpty())
        return error;
    list.add(host);
    return list.save(listPath());
}

QString RemoteInstaller::forgetHost(const QString& name) const {
    {
        const HookFileLock lock(RemoteHostList::lockPath(listPath()));
        QString error;
        RemoteHostList list = RemoteHostList::load(listPath(), &error);
        if (!error.isEmpty())
            return error;
        if (list.remove(name))
            if (QString saveError = list.save(listPath()); !saveError.isEmpty())
                return saveError;
    }
    QDir(hostFolder(name)).removeRecursively();
    return {};
}

} // namespace nubbo
