// Watches the process list for each enabled agent's program and records whether it runs, stopped with its
// command still installed, or stopped with nothing installed; and, for an agent whose own variable moves its
// config folder, the folder a running process of the user's names there when it is not the one in use.
#pragma once

#include "model/AgentEvent.h"
#include "core/SettingsEnums.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

class QObject;
class QThread;
class QTimer;

namespace nubbo {

class AgentStatuses;
class SettingsStore;

// How an agent is looked for: its program in the process list (through pgrep) and on disk. Holds no mutable
// state, so it may be called from any thread.
struct AgentProbe {
    QString pgrepPath = QStringLiteral("/usr/bin/pgrep");
    // Where the per-user install locations are looked for; empty means the user's home directory.
    QString home;
    // Program names by provider id that replace the catalogue's (tests use names no real process carries).
    QHash<QString, QString> programNames;

    // The first of the catalogue's executable names, else the catalogue id, else the provider's raw value.
    QString programName(const AgentProvider& provider) const;
    // The agent's processes as pgrep lists them: whether any runs, and their ids.
    struct Processes {
        bool running = false;
        QList<qint64> ids;
    };
    // Every failure (pgrep missing, no match, a non-zero exit, output that is not UTF-8) reads as not running.
    Processes processes(const AgentProvider& provider) const;
    bool isRunning(const AgentProvider& provider) const { return processes(provider).running; }
    // The first config folder other than `current` that the agent's variable names in the environment of one
    // of these processes of the user's own; empty when none does.
    QString offeredFolder(const AgentProvider& provider, const QList<qint64>& ids, const QString& current) const;
    QString userHome() const;
    // The first executable file among the six install locations.
    std::optional<QString> commandPath(const AgentProvider& provider) const;

    // The arguments given to pgrep for a program name.
    static QStringList pgrepArguments(const QString& programName);
    // Whether pgrep's output ("<pid> <command line>" lines) shows the program as a whole word on a line that
    // belongs neither to the app itself nor to another pgrep.
    static bool listsProgram(const QByteArray& pgrepOutput, const QString& programName);
    // Those lines, trimmed; none when the output is not UTF-8.
    static QStringList programLines(const QByteArray& pgrepOutput, const QString& programName);
};

// Owns one worker thread, which alone scans and keeps the set of agents seen running. Status writes hop to
// the statuses' thread; the observer is called on the worker thread. The store (read for which agents are
// enabled) and the statuses must outlive the detector.
class AgentDetector {
public:
    using Observer = std::function<void(const AgentEvent&)>;

    AgentDetector(SettingsStore& store, AgentStatuses& statuses, AgentProbe probe = {});
    // Stops the timer and the thread and waits for a scan in progress.
    ~AgentDetector();

    AgentDetector(const AgentDetector&) = delete;
    AgentDetector& operator=(const AgentDetector&) = delete;

    // Receives agentStarted / agentStopped events; may be replaced or cleared at any time.
    void setOnChange(Observer observer);

    // Scans after firstDelay, then every interval. Calling it again restarts the timer.
    void start(std::chrono::milliseconds interval,
               std::chrono::milliseconds firstDelay = std::chrono::seconds(1));

    // Runs one scan on the worker thread and returns when it is done; its status writes are then queued on
    // the statuses' thread.
    void scanNow();

    const AgentProbe& probe() const { return probe_; }

private:
    void runOnWorker(const std::function<void()>& work);
    void scan();
    void emitStatus(const AgentProvider& provider, AgentStatus status);
    void offer(const AgentProvider& provider, const QString& folder);
    void notify(const AgentProvider& provider, AgentEventType type, const char* verb);

    SettingsStore& store_;
    AgentStatuses& statuses_;
    const AgentProbe probe_;
    QThread* thread_ = nullptr;
    // Lives on the worker thread; the timer is its child.
    QObject* context_ = nullptr;
    // Touched on the worker thread only.
    QTimer* timer_ = nullptr;
    Observer onChange_;
    // Ids of the agents seen running at the last scan.
    QSet<QString> live_;
    // The folder last offered per agent id.
    QHash<QString, QString> offers_;
};

} // namespace nubbo
