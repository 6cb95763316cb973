#include "hooks/HookGuardian.h"

#include "platform/Clock.h"
#include "hooks/HookInstaller.h"
#include "core/NubboLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <exception>

#include <sys/inotify.h>
#include <unistd.h>

namespace nubbo {

namespace {

// The file itself, followed through symlinks: catches writes made through any name (a dotfile manager's link,
// a hard link) and the removal of the inode.
constexpr uint32_t kFileMask = IN_MODIFY | IN_DELETE_SELF | IN_MOVE_SELF;
// Its folder: a save by rename or a delete replaces the name, not the inode the file watch follows.
constexpr uint32_t kFolderMask =
    IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

struct HookGuardian::Worker {
    struct Watch {
        bool file = false;
        QSet<QString> names;  // for a folder: the watched entries in it
    };

    Worker(HookGuardianOptions o, QObject* c) : options(std::move(o)), context(c) {
        if (!options.log)
            options.log = [](const QString& line) { NubboLog::log(line); };
    }

    void log(const QString& line) const { options.log(line); }

    void closeWatches() {
        delete notifier;
        notifier = nullptr;
        // Closing the descriptor also drops the events still queued on it, the repair's own writes among them,
        // so a check never schedules the next one by itself.
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        watches.clear();
        paths.clear();
    }

    void watchFolder(const QString& filePath) {
        const QFileInfo info(filePath);
        const int wd = inotify_add_watch(fd, QFile::encodeName(info.absolutePath()).constData(), kFolderMask);
        if (wd >= 0)
            watches[wd].names.insert(info.fileName());
    }

    void rebind(bool atStart) {
        closeWatches();
        fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd < 0) {
            log(QStringLiteral("hook guardian: cannot watch: ") + QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        const QList<QUrl> files = options.watched ? options.watched() : QList<QUrl>{};
        for (const QUrl& url : files) {
            const QString path = url.toLocalFile();
            if (path.isEmpty())
                continue;
            const int wd = inotify_add_watch(fd, QFile::encodeName(path).constData(), kFileMask);
            if (wd < 0)
                continue;  // gone or unreadable: skipped, as a file that cannot be opened
            watches[wd].file = true;
            paths.append(path);
            watchFolder(QFileInfo(path).absoluteFilePath());
            const QString target = QFileInfo(path).canonicalFilePath();
            if (!target.isEmpty() && target != QFileInfo(path).absoluteFilePath())
                watchFolder(target);  // an atomic save through a link replaces the target in its own folder
        }
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
        QObject::connect(notifier, &QSocketNotifier::activated, context, [this] { readEvents(); });
        if (atStart)
            log(QStringLiteral("hook guardian: watching %1 config file(s)").arg(paths.size()));
    }

    bool relevant(const inotify_event& event) const {
        if (event.mask & IN_Q_OVERFLOW)
            return true;  // events were lost: check rather than miss a change
        if (event.mask & IN_IGNORED)
            return false;
        const auto found = watches.constFind(event.wd);
        if (found == watches.constEnd())
            return false;
        if (found->file || (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)))
            return true;
        return event.len > 0 && found->names.contains(QFile::decodeName(event.name));
    }

    void readEvents() {
        if (fd < 0)
            return;
        alignas(inotify_event) char buffer[16 * 1024];
        bool changed = false;
        for (;;) {
            const ssize_t length = ::read(fd, buffer, sizeof buffer);
            if (length <= 0)
                break;  // EAGAIN: drained
            for (ssize_t offset = 0; offset < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                changed = changed || relevant(*event);
                offset += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        if (changed)
            scheduleCheck();
    }

    void scheduleCheck() {
        if (hasPending)
            scheduler->cancel(pending);
        const quint64 ticket = ++generation;
        hasPending = true;
        pending = scheduler->schedule(options.debounceSeconds, [this, ticket] {
            if (QThread::currentThread() == context->thread())
                runCheck(ticket);
            else
                QMetaObject::invokeMethod(context, [this, ticket] { runCheck(ticket); }, Qt::QueuedConnection);
        });
    }

    void runCheck(quint64 ticket) {
        // A task from an injected scheduler may arrive after a newer event rescheduled the check.
        if (stopped || !hasPending || ticket != generation)
            return;
        hasPending = false;
        try {
            if (options.repair)
                options.repair();
        } catch (const std::exception& error) {
            log(QStringLiteral("hook guardian: check failed: ") + QString::fromUtf8(error.what()));
        } catch (...) {
            log(QStringLiteral("hook guardian: check failed"));
        }
        // The repair may have replaced files: watch the inodes that carry the names now.
        rebind(false);
    }

    void shutdown() {
        stopped = true;
        if (hasPending)
            scheduler->cancel(pending);
        hasPending = false;
        closeWatches();
        ownScheduler.reset();  // its timers belong to this thread
    }

    HookGuardianOptions options;
    QObject* context;
    std::unique_ptr<QtScheduler> ownScheduler;
    Scheduler* scheduler = nullptr;
    int fd = -1;
    QSocketNotifier* notifier = nullptr;
    QHash<int, Watch> watches;
    QStringList paths;
    TaskId pending = 0;
    bool hasPending = false;
    quint64 generation = 0;
    bool stopped = false;
};

HookGuardian::HookGuardian(HookGuardianOptions options) {
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("dev.nubbo.Nubbo.hook-guardian"));
    context_ = new QObject;
    context_->moveToThread(thread_);
    Scheduler* injected = options.scheduler;
    worker_ = std::make_unique<Worker>(std::move(options), context_);
    thread_->start();
    runOnWorker([this, injected] {
        if (!injected)
            worker_->ownScheduler = std::make_unique<QtScheduler>();
        worker_->scheduler = injected ? injected : worker_->ownScheduler.get();
    });
}

HookGuardian::HookGuardian(const HookInstaller& installer)
    : HookGuardian([&installer] {
          HookGuardianOptions options;
          options.repair = [&installer] { installer.ensureHealthy(); };
          options.watched = [&installer] { return installer.watchedConfigFiles(); };
          return options;
      }()) {}

HookGuardian::~HookGuardian() {
    stop();
    delete context_;
    delete thread_;
}

void HookGuardian::runOnWorker(const std::function<void()>& work) const {
    if (QThread::currentThread() == thread_ || !thread_->isRunning())
        work();  // after stop nothing else touches the worker
    else
        QMetaObject::invokeMethod(context_, work, Qt::BlockingQueuedConnection);
}

void HookGuardian::start() {
    if (!thread_->isRunning())
        return;
    QMetaObject::invokeMethod(context_, [this] { if (!worker_->stopped) worker_->rebind(true); },
                              Qt::QueuedConnection);
}

void HookGuardian::rewatch() {
    if (!thread_->isRunning())
        return;
    QMetaObject::invokeMethod(context_, [this] { if (!worker_->stopped) worker_->rebind(false); },
                              Qt::QueuedConnection);
}

void HookGuardian::stop() {
    if (!thread_->isRunning())
        return;
    runOnWorker([this] { worker_->shutdown(); });
    thread_->quit();
    thread_->wait();
}

void HookGuardian::sync() {
    runOnWorker([this] { worker_->readEvents(); });
}

QStringList HookGuardian::watchedPaths() const {
    QStringList result;
    runOnWorker([this, &result] { result = worker_->paths; });
    return result;
}

} // namespace nubbo
