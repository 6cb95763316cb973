#include "hooks/AgentDetector.h"

#include "hooks/AgentStatuses.h"
#include "hooks/ConfigFolders.h"
#include "hooks/ProcessEnvironment.h"
#include "core/NubboLog.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QUuid>

#include <unistd.h>

namespace nubbo {
namespace {

// pgrep answers in milliseconds; one that hangs must not stall the detector for ever.
constexpr int kPgrepTimeoutMs = 5000;

// pgrep reads its pattern as an extended regular expression; a program name is literal text.
QString escapedForPgrep(const QString& name) {
    static const QString special = QStringLiteral("\\.[]()*+?{}|^$");
    QString out;
    out.reserve(name.size() * 2);
    for (const QChar c : name) {
        if (special.contains(c))
            out.append(u'\\');
        out.append(c);
    }
    return out;
}

// "<pid> <command line>": the command line, or the whole line when it has no pid.
QStringView commandLine(QStringView line) {
    line = line.trimmed();
    const qsizetype space = line.indexOf(u' ');
    return space < 0 ? line : line.mid(space + 1).trimmed();
}

// Concurrent probes (the launch-time detection beside a scan, or a user's own pgrep) see each other's
// pgrep command line, which carries the program name.
bool isPgrep(QStringView command) {
    const qsizetype end = command.indexOf(u' ');
    const QStringView argv0 = end < 0 ? command : command.left(end);
    const qsizetype slash = argv0.lastIndexOf(u'/');
    return (slash < 0 ? argv0 : argv0.mid(slash + 1)) == u"pgrep";
}

} // namespace

QString AgentProbe::programName(const AgentProvider& provider) const {
    if (const auto found = programNames.constFind(provider.rawValue()); found != programNames.constEnd())
        return *found;
    if (const ProviderSpec* spec = provider.spec()) {
        if (!spec->executableNames.empty())
            return QString::fromStdString(spec->executableNames.front());
        return QString::fromStdString(spec->id);
    }
    return provider.rawValue();
}

QStringList AgentProbe::pgrepArguments(const QString& programName) {
    // With -f the pattern is matched against the whole command line, so agents that run as scripts under
    // an interpreter ("node .../bin/claude") are found too. To print that command line for our own check,
    // the BSD pgrep takes -l, but procps pgrep prints only the 15-character process name for -l and needs
    // -a instead.
#ifdef Q_OS_MACOS
    return {QStringLiteral("-fl"), escapedForPgrep(programName)};
#else
    return {QStringLiteral("-fa"), escapedForPgrep(programName)};
#endif
}

bool AgentProbe::listsProgram(const QByteArray& pgrepOutput, const QString& programName) {
    return !programLines(pgrepOutput, programName).isEmpty();
}

QStringList AgentProbe::programLines(const QByteArray& pgrepOutput, const QString& programName) {
    if (programName.isEmpty())
        return {};
    QStringDecoder decoder(QStringConverter::Utf8);
    const QString text = decoder.decode(pgrepOutput);
    if (decoder.hasError())
        return {};
    // A whole word: "claudette" is not Claude, ".../bin/claude" is. Lookarounds rather than \b so that a
    // name beginning or ending in punctuation still matches; the name is literal text, hence escaped.
    const QRegularExpression word(QStringLiteral("(?<!\\w)") + QRegularExpression::escape(programName) +
                                  QStringLiteral("(?!\\w)"));
    QStringList lines;
    for (const QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        // The app's own processes, the bridge among them, carry agent names as arguments ("--source claude").
        if (line.contains(u"Nubbo"))
            continue;
        const QStringView command = commandLine(line);
        if (isPgrep(command))
            continue;
        if (word.match(command.toString()).hasMatch())
            lines.append(line.trimmed().toString());
    }
    return lines;
}

AgentProbe::Processes AgentProbe::processes(const AgentProvider& provider) const {
    const QString name = programName(provider);
    QProcess pgrep;
    pgrep.setProgram(pgrepPath);
    pgrep.setArguments(pgrepArguments(name));
    pgrep.setStandardInputFile(QProcess::nullDevice());
    pgrep.setStandardErrorFile(QProcess::nullDevice());
    pgrep.start(QIODevice::ReadOnly);
    if (!pgrep.waitForStarted())
        return {};
    if (!pgrep.waitForFinished(kPgrepTimeoutMs)) {
        pgrep.kill();
        pgrep.waitForFinished();
        return {};
    }
    // Exit status 1 is pgrep's "no match".
    if (pgrep.exitStatus() != QProcess::NormalExit || pgrep.exitCode() != 0)
        return {};
    Processes found;
    for (const QString& line : programLines(pgrep.readAllStandardOutput(), name)) {
        found.running = true;
        bool ok = false;
        const qint64 id = line.section(u' ', 0, 0).toLongLong(&ok);
        if (ok && id > 0)
            found.ids.append(id);
    }
    return found;
}

QString AgentProbe::userHome() const { return home.isEmpty() ? QDir::homePath() : home; }

QString AgentProbe::offeredFolder(const AgentProvider& provider, const QList<qint64>& ids,
                                  const QString& current) const {
    const ProviderSpec* spec = provider.spec();
    if (!spec || !ConfigFolders::movable(*spec))
        return {};
    const QByteArray variable = QByteArray::fromStdString(spec->configFolderVariable);
    for (const qint64 id : ids) {
        const std::optional<QByteArray> environment =
            ProcessEnvironment::read(QStringLiteral("/proc"), id, ::getuid());
        if (!environment)
            continue;
        const std::optional<QString> value = ProcessEnvironment::value(*environment, variable);
        const QString folder = value ? ConfigFolders::fromVariable(*value, userHome()) : QString();
        if (!folder.isEmpty() && folder != current)
            return folder;
    }
    return {};
}

std::optional<QString> AgentProbe::commandPath(const AgentProvider& provider) const {
    const QString name = programName(provider);
    const QString userHome = this->userHome();
    const QString candidates[] = {
        userHome + QStringLiteral("/.npm-global/bin/") + name,
        userHome + QStringLiteral("/.local/bin/") + name,
        userHome + QStringLiteral("/.opencode/bin/") + name,
        QStringLiteral("/opt/homebrew/bin/") + name,
        QStringLiteral("/usr/local/bin/") + name,
        QStringLiteral("/usr/bin/") + name,
    };
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return candidate;
    }
    return std::nullopt;
}

AgentDetector::AgentDetector(SettingsStore& store, AgentStatuses& statuses, AgentProbe probe)
    : store_(store), statuses_(statuses), probe_(std::move(probe)) {
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("nubbo.detector"));
    context_ = new QObject;
    context_->moveToThread(thread_);
    // The context and its timer are deleted on the worker thread as it winds down.
    QObject::connect(thread_, &QThread::finished, context_, &QObject::deleteLater);
    thread_->start(QThread::LowPriority);
}

AgentDetector::~AgentDetector() {
    thread_->quit();
    thread_->wait();
    delete thread_;
}

void AgentDetector::runOnWorker(const std::function<void()>& work) {
    if (QThread::currentThread() == thread_)
        work();
    else
        QMetaObject::invokeMethod(context_, work, Qt::BlockingQueuedConnection);
}

void AgentDetector::setOnChange(Observer observer) {
    runOnWorker([this, &observer] { onChange_ = std::move(observer); });
}

void AgentDetector::start(std::chrono::milliseconds interval, std::chrono::milliseconds firstDelay) {
    runOnWorker([this, interval, firstDelay] {
        delete timer_;
        timer_ = new QTimer(context_);
        timer_->setInterval(firstDelay);
        QObject::connect(timer_, &QTimer::timeout, context_, [this, interval] {
            if (timer_->intervalAsDuration() != interval)
                timer_->setInterval(interval);
            scan();
        });
        timer_->start();
    });
}

void AgentDetector::scanNow() {
    runOnWorker([this] { scan(); });
}

void AgentDetector::scan() {
    // allCases() is the catalogue, so every provider here has an entry; SettingsStore::enabled falls back
    // to the entry's default.
    for (const AgentProvider& provider : AgentProvider::allCases()) {
        if (!store_.enabled(provider.rawValue())) {
            offer(provider, QString());
            continue;
        }
        const AgentProbe::Processes found = probe_.processes(provider);
        const bool running = found.running;
        const bool wasLive = live_.contains(provider.rawValue());
        if (running && !wasLive) {
            live_.insert(provider.rawValue());
            emitStatus(provider, AgentStatus::running);
            notify(provider, AgentEventType::agentStarted, " started");
        } else if (!running && wasLive) {
            live_.remove(provider.rawValue());
            emitStatus(provider, probe_.commandPath(provider) ? AgentStatus::connected : AgentStatus::notFound);
            notify(provider, AgentEventType::agentStopped, " stopped");
        }
        const ProviderSpec* spec = provider.spec();
        if (spec && ConfigFolders::movable(*spec)) {
            QString current = store_.configFolder(provider.rawValue());
            if (current.isEmpty())
                current = ConfigFolders::defaultFolder(*spec, probe_.userHome());
            offer(provider, running ? probe_.offeredFolder(provider, found.ids, current) : QString());
        }
    }
}

void AgentDetector::offer(const AgentProvider& provider, const QString& folder) {
    const QString id = provider.rawValue();
    // Logged once; written on every scan, since a folder move may have withdrawn the offer in between.
    if (offers_.value(id) != folder && !folder.isEmpty())
        NubboLog::log(QStringLiteral("agent detector: %1 runs with %2=%3, not the config folder in use")
                          .arg(provider.displayTitle(), QString::fromStdString(provider.spec()->configFolderVariable),
                               folder));
    offers_.insert(id, folder);
    AgentStatuses* statuses = &statuses_;
    QMetaObject::invokeMethod(
        statuses, [statuses, id, folder] { statuses->setOfferedFolder(id, folder); }, Qt::QueuedConnection);
}

void AgentDetector::emitStatus(const AgentProvider& provider, AgentStatus status) {
    // The statuses live on the main thread; a write still queued when they go away is dropped with them.
    AgentStatuses* statuses = &statuses_;
    QMetaObject::invokeMethod(
        statuses, [statuses, id = provider.rawValue(), status] { statuses->setStatus(id, status); },
        Qt::QueuedConnection);
}

void AgentDetector::notify(const AgentProvider& provider, AgentEventType type, const char* verb) {
    if (!onChange_)
        return;
    AgentEvent event;
    event.id = QUuid::createUuid();
    event.provider = provider;
    event.type = type;
    event.message = provider.displayTitle() + QLatin1String(verb);
    onChange_(event);
}

} // namespace nubbo
