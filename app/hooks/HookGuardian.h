// Watches the configuration files of the enabled agents and, shortly after another program changes one, asks
// the hook installer to verify and repair the wiring.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QObject;
class QThread;

namespace nubbo {

class HookInstaller;
class Scheduler;

struct HookGuardianOptions {
    // Verifies the wiring and repairs it when needed (the installer's ensureHealthy).
    std::function<void()> repair;
    // The files to watch (the installer's watchedConfigFiles); asked again after every check.
    std::function<QList<QUrl>()> watched;
    // Default: NubboLog::log.
    std::function<void(const QString&)> log;
    // Quiet time after the last change before the check runs.
    double debounceSeconds = 1.0;
    // Runs the debounced check. Null: Qt timers on the guardian's own thread. An injected scheduler may run
    // its work on any thread (the guardian moves it to its own) and must outlive the guardian; it is called
    // from the guardian's thread, so it must be thread-safe.
    Scheduler* scheduler = nullptr;
};

// Owns one worker thread, on which every file event, rebind and check runs, so they never overlap.
class HookGuardian {
public:
    explicit HookGuardian(HookGuardianOptions options);
    // Repairs through the installer, which must outlive the guardian.
    explicit HookGuardian(const HookInstaller& installer);
    // Stops and joins the worker thread.
    ~HookGuardian();

    HookGuardian(const HookGuardian&) = delete;
    HookGuardian& operator=(const HookGuardian&) = delete;

    // Watches the current files and logs "hook guardian: watching <n> config file(s)". Returns at once.
    void start();
    // Watches the files the installer names now, as after a check: an agent's config folder moved. Returns
    // at once.
    void rewatch();
    // Drops the watches and a pending check, then joins the worker thread. The guardian stays stopped.
    void stop();
    // Handles every file event already queued (and any work posted before) and returns when that is done.
    void sync();
    // The files watched since the last rebind.
    QStringList watchedPaths() const;

private:
    struct Worker;
    void runOnWorker(const std::function<void()>& work) const;

    QThread* thread_ = nullptr;
    std::unique_ptr<Worker> worker_;  // touched on the worker thread only, after construction
    QObject* context_ = nullptr;      // lives on the worker thread
};

} // namespace nubbo
