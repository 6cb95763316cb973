#include "platform/Clock.h"
#include "hooks/ConfigFileWriter.h"
#include "hooks/HookGuardian.h"
#include "hooks/HookInstaller.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>

using namespace nubbo;

namespace {

// The guardian calls it from its worker thread while the test runs the due work from the test thread.
class LockedManualScheduler final : public Scheduler {
public:
    TaskId schedule(double delaySeconds, std::function<void()> work) override {
        std::lock_guard lock(mutex_);
        lastDelay_ = delaySeconds;
        tasks_.emplace(nextId_, std::move(work));
        return nextId_++;
    }
    void cancel(TaskId id) override {
        std::lock_guard lock(mutex_);
        tasks_.erase(id);
    }
    int pendingCount() {
        std::lock_guard lock(mutex_);
        return int(tasks_.size());
    }
    double lastDelay() {
        std::lock_guard lock(mutex_);
        return lastDelay_;
    }
    // Lets the debounce elapse.
    void runAll() {
        std::map<TaskId, std::function<void()>> due;
        {
            std::lock_guard lock(mutex_);
            due.swap(tasks_);
        }
        for (auto& [id, work] : due)
            work();
    }

private:
    std::mutex mutex_;
    TaskId nextId_ = 1;
    double lastDelay_ = -1;
    std::map<TaskId, std::function<void()>> tasks_;
};

class HookGuardianTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        put("a/settings.json", "{}");
        put("b/hooks.json", "{}");
        setWatched({"a/settings.json", "b/hooks.json"});
    }

    void TearDown() override { guardian.reset(); }

    QString path(const QString& relative) const { return QDir(dir.path()).filePath(relative); }
    void put(const QString& relative, const QByteArray& data) const {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path(relative)).path()));
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(data);
    }
    // Temp file in the same folder, then rename over the name, as editors and agents save.
    void saveByRename(const QString& relative, const QByteArray& data) const {
        put(relative + ".tmp", data);
        ASSERT_EQ(::rename(QFile::encodeName(path(relative + ".tmp")).constData(),
                           QFile::encodeName(path(relative)).constData()),
                  0);
    }
    void setWatched(const QStringList& relatives) {
        std::lock_guard lock(mutex);
        watchedRelatives = relatives;
    }
    QStringList logged() {
        std::lock_guard lock(mutex);
        return logLines;
    }

    void startGuardian() {
        HookGuardianOptions options;
        options.repair = [this] {
            ++repairs;
            if (onRepair)
                onRepair();
        };
        // Like the installer: only the files that exist now.
        options.watched = [this] {
            ++watchedCalls;
            std::lock_guard lock(mutex);
            QList<QUrl> urls;
            for (const QString& relative : watchedRelatives)
                if (QFileInfo::exists(path(relative)) || includeMissing)
                    urls.append(QUrl::fromLocalFile(path(relative)));
            return urls;
        };
        options.log = [this](const QString& line) {
            std::lock_guard lock(mutex);
            logLines.append(line);
        };
        options.scheduler = &scheduler;
        guardian = std::make_unique<HookGuardian>(std::move(options));
        guardian->start();
        guardian->sync();
    }
    // The debounce elapses and the check runs to its end on the worker.
    void elapse() {
        scheduler.runAll();
        guardian->sync();
    }
    bool checkPending() {
        guardian->sync();
        return scheduler.pendingCount() > 0;
    }

    QTemporaryDir dir;
    LockedManualScheduler scheduler;
    std::mutex mutex;
    QStringList watchedRelatives;
    bool includeMissing = false;
    QStringList logLines;
    std::atomic<int> repairs{0};
    std::atomic<int> watchedCalls{0};
    std::function<void()> onRepair;  // runs on the worker, inside the check
    std::unique_ptr<HookGuardian> guardian;
};

TEST_F(HookGuardianTest, StartLogsTheFilesItCouldWatchAndSkipsMissingOnes) {
    put("c/config.json", "{}");
    setWatched({"a/settings.json", "b/hooks.json", "c/config.json", "d/missing.json"});
    includeMissing = true;  // a file that vanished between listing and watching
    startGuardian();
    EXPECT_EQ(logged(), QStringList{QStringLiteral("hook guardian: watching 3 config file(s)")});
    EXPECT_EQ(guardian->watchedPaths().size(), 3);
    EXPECT_FALSE(checkPending());
    EXPECT_EQ(repairs, 0);
}

TEST_F(HookGuardianTest, BurstOfEditsRunsOneCheckAfterTheDebounce) {
    startGuardian();
    for (int i = 0; i < 10; ++i)
        put("a/settings.json", QByteArray("{\"n\": ") + QByteArray::number(i) + "}");
    ASSERT_TRUE(checkPending());
    EXPECT_EQ(scheduler.pendingCount(), 1);  // every event replaced the previous check
    EXPECT_DOUBLE_EQ(scheduler.lastDelay(), 1.0);
    EXPECT_EQ(repairs, 0);
    elapse();
    EXPECT_EQ(repairs, 1);
    EXPECT_FALSE(checkPending());
    // Rechecks log nothing of their own.
    EXPECT_EQ(logged().size(), 1);
}

TEST_F(HookGuardianTest, OtherFilesInTheSameFolderAreIgnored) {
    startGuardian();
    put("a/other.json", "{}");
    put("a/settings.json.tmp", "{}");
    QFile::remove(path("a/settings.json.tmp"));
    EXPECT_FALSE(checkPending());
}

TEST_F(HookGuardianTest, ReplacementByRenameIsNoticedAndSoAreLaterEditsOfTheNewFile) {
    startGuardian();
    {
        // A reader still holding the replaced file keeps its inode alive, so only the name changes.
        QFile reader(path("a/settings.json"));
        ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
        saveByRename("a/settings.json", "{\"saved\": 1}");
        ASSERT_TRUE(checkPending());
    }
    // Closing the last reader frees the old inode, which reports once more; take that in before time moves.
    ASSERT_TRUE(checkPending());
    elapse();
    EXPECT_EQ(repairs, 1);
    put("a/settings.json", "{\"edited\": 2}");
    ASSERT_TRUE(checkPending());
    elapse();
    EXPECT_EQ(repairs, 2);
}

TEST_F(HookGuardianTest, QSaveFileThroughASymlinkIsNoticed) {
    put("dotfiles/claude.json", "{}");
    ASSERT_TRUE(QDir().mkpath(path("c")));
    ASSERT_TRUE(QFile::link(path("dotfiles/claude.json"), path("c/settings.json")));
    setWatched({"c/settings.json"});
    startGuardian();
    QFile reader(path("dotfiles/claude.json"));
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    // Writes beside the link's target and renames there; the link's own folder sees nothing.
    QSaveFile save(path("c/settings.json"));
    save.setDirectWriteFallback(false);
    ASSERT_TRUE(save.open(QIODevice::WriteOnly));
    save.write("{\"x\": 1}");
    ASSERT_TRUE(save.commit());
    ASSERT_TRUE(QFileInfo(path("c/settings.json")).isSymLink());
    EXPECT_TRUE(checkPending());
}

TEST_F(HookGuardianTest, DeletedFileRecreatedByTheRepairIsWatchedAfterTheCheck) {
    startGuardian();
    onRepair = [this] { put("a/settings.json", "{\"repaired\": true}"); };
    ASSERT_TRUE(QFile::remove(path("a/settings.json")));
    ASSERT_TRUE(checkPending());
    elapse();
    EXPECT_EQ(repairs, 1);
    EXPECT_TRUE(guardian->watchedPaths().contains(path("a/settings.json")));
    onRepair = nullptr;
    put("a/settings.json", "{}");
    EXPECT_TRUE(checkPending());
}

TEST_F(HookGuardianTest, TheRepairsOwnWritesDoNotScheduleAnotherCheck) {
    startGuardian();
    // A repair that always rewrites (another program keeps undoing it) must not make the guardian check
    // once a second for ever.
    onRepair = [this] { saveByRename("a/settings.json", "{\"repaired\": true}"); };
    put("a/settings.json", "{}");
    ASSERT_TRUE(checkPending());
    elapse();
    EXPECT_EQ(repairs, 1);
    EXPECT_FALSE(checkPending());
}

TEST_F(HookGuardianTest, TheWatchListIsRebuiltAfterEveryCheck) {
    setWatched({"a/settings.json", "b/hooks.json", "late/config.json"});
    startGuardian();
    EXPECT_EQ(guardian->watchedPaths().size(), 2);
    // Created after the last rebind: not watched yet.
    put("late/config.json", "{}");
    EXPECT_FALSE(checkPending());
    // Another watched file changes; the check rebinds and picks it up. b's agent is disabled meanwhile.
    setWatched({"a/settings.json", "late/config.json"});
    put("a/settings.json", "{\"n\": 1}");
    ASSERT_TRUE(checkPending());
    elapse();
    EXPECT_EQ(watchedCalls, 2);
    EXPECT_EQ(guardian->watchedPaths(), (QStringList{path("a/settings.json"), path("late/config.json")}));
    put("b/hooks.json", "{\"n\": 2}");
    EXPECT_FALSE(checkPending());
    put("late/config.json", "{\"n\": 3}");
    EXPECT_TRUE(checkPending());
}

TEST_F(HookGuardianTest, StopDropsThePendingCheckAndWatchesNothingMore) {
    startGuardian();
    put("a/settings.json", "{\"n\": 1}");
    ASSERT_TRUE(checkPending());
    guardian->stop();
    EXPECT_EQ(scheduler.pendingCount(), 0);
    put("a/settings.json", "{\"n\": 2}");
    guardian->sync();
    EXPECT_EQ(scheduler.pendingCount(), 0);
    EXPECT_TRUE(guardian->watchedPaths().isEmpty());
    guardian->stop();  // twice is harmless
    EXPECT_EQ(repairs, 0);
}

TEST_F(HookGuardianTest, AThrowingRepairIsLoggedAndWatchingGoesOn) {
    startGuardian();
    onRepair = [] { throw std::runtime_error("disk full"); };
    put("a/settings.json", "{\"n\": 1}");
    ASSERT_TRUE(checkPending());
    elapse();
    EXPECT_TRUE(logged().contains(QStringLiteral("hook guardian: check failed: disk full")));
    put("a/settings.json", "{\"n\": 2}");
    EXPECT_TRUE(checkPending());
}

// With the real installer and Qt timers: the user's tool drops the app's entry and it comes back.
TEST(HookGuardianInstallerTest, RestoresADeletedClaudeEntryAfterTheDebounce) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    std::mutex mutex;
    QStringList logLines;
    HookInstallerEnvironment env;
    env.home = home.path();
    env.backupsDirectory = QDir(home.path()).filePath(QStringLiteral("Backups"));
    env.enabled = [](const QString& id) { return id == QStringLiteral("claude"); };
    env.writeLauncher = [](const QString& launcher) {
        return ConfigFileWriter::writeAtomically(launcher, "#!/bin/sh\nexit 0\n", 0755);
    };
    env.log = [&](const QString& line) {
        std::lock_guard lock(mutex);
        logLines.append(line);
    };
    const HookInstaller installer(env);
    ASSERT_TRUE(installer.install().ok());
    const QString settings = QDir(home.path()).filePath(QStringLiteral(".claude/settings.json"));
    ASSERT_TRUE(installer.status().value(QStringLiteral("claude")));

    HookGuardianOptions options;
    options.repair = [&] { installer.ensureHealthy(); };
    options.watched = [&] { return installer.watchedConfigFiles(); };
    options.log = env.log;
    options.debounceSeconds = 0.05;
    HookGuardian guardian(std::move(options));
    guardian.start();
    guardian.sync();
    ASSERT_EQ(guardian.watchedPaths(), QStringList{settings});

    ASSERT_FALSE(ConfigFileWriter::writeAtomically(settings, "{\"model\": \"opus\"}\n").size());
    QDeadlineTimer deadline(10000);
    while (!installer.status().value(QStringLiteral("claude")) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(installer.status().value(QStringLiteral("claude")));
    EXPECT_TRUE(ConfigFileWriter::read(settings).value_or("").contains("\"model\""));
    guardian.sync();
    std::lock_guard lock(mutex);
    EXPECT_TRUE(logLines.contains(QStringLiteral("hook guardian: watching 1 config file(s)")));
    EXPECT_EQ(logLines.count(QStringLiteral("hook ensure: repaired stale/missing hooks")), 1);
}

// The user removes the bridge while the app runs: the guardian sees the files change and must not put the
// entries back.
TEST(HookGuardianInstallerTest, AUserRemovalIsNotUndoneByTheCheck) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    std::mutex mutex;
    QStringList logLines;
    HookInstallerEnvironment env;
    env.home = home.path();
    env.backupsDirectory = QDir(home.path()).filePath(QStringLiteral("Backups"));
    env.enabled = [](const QString& id) { return id == QStringLiteral("claude"); };
    env.writeLauncher = [](const QString& launcher) {
        return ConfigFileWriter::writeAtomically(launcher, "#!/bin/sh\nexit 0\n", 0755);
    };
    env.log = [&](const QString& line) {
        std::lock_guard lock(mutex);
        logLines.append(line);
    };
    const HookInstaller installer(env);
    ASSERT_TRUE(installer.install().ok());

    LockedManualScheduler scheduler;
    HookGuardianOptions options;
    options.repair = [&] { installer.ensureHealthy(); };
    options.watched = [&] { return installer.watchedConfigFiles(); };
    options.log = env.log;
    options.scheduler = &scheduler;
    HookGuardian guardian(std::move(options));
    guardian.start();
    guardian.sync();
    ASSERT_EQ(guardian.watchedPaths().size(), 1);

    installer.uninstall();
    guardian.sync();
    ASSERT_EQ(scheduler.pendingCount(), 1) << "the removal's own writes are seen";
    scheduler.runAll();
    guardian.sync();
    EXPECT_FALSE(installer.status().value(QStringLiteral("claude")));
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(logLines.contains(QStringLiteral("hook ensure: skipped, the bridge was removed by the user")));
        EXPECT_FALSE(logLines.contains(QStringLiteral("hook ensure: repaired stale/missing hooks")));
    }

    // Installing from another process (--install-hooks) ends the removal; the guardian repairs again.
    ASSERT_TRUE(HookInstaller(env).install().ok());
    const QString settings = QDir(home.path()).filePath(QStringLiteral(".claude/settings.json"));
    guardian.sync();
    scheduler.runAll();
    guardian.sync();
    ASSERT_TRUE(ConfigFileWriter::writeAtomically(settings, "{}\n").isEmpty());
    guardian.sync();
    ASSERT_EQ(scheduler.pendingCount(), 1);
    scheduler.runAll();
    guardian.sync();
    EXPECT_TRUE(installer.status().value(QStringLiteral("claude")));
}

} // namespace
