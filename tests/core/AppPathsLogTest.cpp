#include "core/AppPaths.h"
#include "core/NubboLog.h"

#include <QDateTime>
#include <QDir>
#include <QList>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace nubbo {
namespace {

// Sends standard error to a file for as long as it lives.
class StderrTo {
public:
    explicit StderrTo(const QString& path) : saved_(dup(STDERR_FILENO)) {
        const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StderrTo() {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

// Points HOME at a fresh folder for each test and puts everything back afterwards.
class TempHomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        savedHome_ = qgetenv("HOME");
        hadHome_ = qEnvironmentVariableIsSet("HOME");
        qputenv("HOME", QFile::encodeName(home_.path()));
        // The defaults under the home, whatever the session around the test sets.
        for (const char* name : kFolderVariables) {
            saved_.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
            qunsetenv(name);
        }
    }
    void TearDown() override {
        NubboLog::setClockForTesting({});
        if (hadHome_) qputenv("HOME", savedHome_);
        else qunsetenv("HOME");
        for (const auto& [name, value, wasSet] : saved_)
            if (wasSet) qputenv(name, value);
    }

    QString data() const { return home_.path() + "/.local/share/Nubbo"; }
    QString state() const { return home_.path() + "/.local/state/Nubbo"; }
    QString logPath() const { return state() + "/nubbo.log"; }

    QStringList logLines() const {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QString text = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(text.isEmpty() || text.endsWith('\n')) << "last line not terminated";
        QStringList lines = text.split('\n');
        lines.removeLast();
        return lines;
    }

    // A clock that gives the listed times in turn.
    static void useTimes(std::vector<double> times) {
        auto next = std::make_shared<std::atomic<size_t>>(0);
        NubboLog::setClockForTesting([times = std::move(times), next] { return times.at((*next)++); });
    }

    static constexpr const char* kFolderVariables[] = {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "NUBBO_SOCKET"};
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    QList<Saved> saved_;
    QTemporaryDir home_;
    QByteArray savedHome_;
    bool hadHome_ = false;
};

using AppPathsTest = TempHomeTest;
using NubboLogTest = TempHomeTest;

TEST_F(AppPathsTest, EachFolderIsCreatedUnderHomeOnEveryAccess) {
    ASSERT_FALSE(QFileInfo::exists(home_.path() + "/.local"));

    EXPECT_EQ(AppPaths::logsDirectory(), state());
    EXPECT_TRUE(QFileInfo(state()).isDir());

    EXPECT_EQ(AppPaths::dataDirectory(), data());
    EXPECT_EQ(AppPaths::customPetsDirectory(), data() + "/CustomPets");
    EXPECT_EQ(AppPaths::petPacksDirectory(), data() + "/PetPacks");
    EXPECT_EQ(AppPaths::backupsDirectory(), data() + "/Backups");
    for (const char* name : {"CustomPets", "PetPacks", "Backups"})
        EXPECT_TRUE(QFileInfo(data() + "/" + name).isDir()) << name;

    // The socket's folder below the runtime folder (a stand-in here, never the machine's /run/user/<uid>).
    ASSERT_TRUE(QDir(home_.path()).mkdir("run"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home_.path() + "/run"));
    EXPECT_EQ(AppPaths::socketPath(), home_.path() + "/run/nubbo/nubbo.sock");
    EXPECT_TRUE(QFileInfo(home_.path() + "/run/nubbo").isDir());

    // Removed while running: the next access brings it back.
    ASSERT_TRUE(QDir(home_.path() + "/.local").removeRecursively());
    AppPaths::backupsDirectory();
    EXPECT_TRUE(QFileInfo(data() + "/Backups").isDir());
}

TEST_F(NubboLogTest, EachCallAppendsOneLineStartingWithTheTime) {
    // Shortest round-trip renderings, always with a fraction, never in exponent form.
    useTimes({1796764052.5, 1796764053.0, 1e9, 1796764052.1, 0.1 + 0.2});
    NubboLog::log("first");
    NubboLog::log("second, with spaces and ünïcødé");
    NubboLog::log("round");
    NubboLog::log("tenth");
    NubboLog::log("sum");

    EXPECT_EQ(logLines(), QStringList({
                              "1796764052.5 first",
                              "1796764053.0 second, with spaces and ünïcødé",
                              "1000000000.0 round",
                              "1796764052.1 tenth",
                              "0.30000000000000004 sum",
                          }));
}

TEST_F(NubboLogTest, TheSystemClockGivesTheCurrentTimeWithAFraction) {
    const double before = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    NubboLog::log("now");
    const double after = QDateTime::currentMSecsSinceEpoch() / 1000.0;

    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1);
    const auto match = QRegularExpression(R"(^(\d+\.\d+) now$)").match(lines[0]);
    ASSERT_TRUE(match.hasMatch()) << lines[0].toStdString();
    const double logged = match.captured(1).toDouble();
    EXPECT_GE(logged, before - 0.001);
    EXPECT_LE(logged, after + 0.001);
}

// /dev/full fails every write with ENOSPC, as a full disk does: the line is lost, nothing waits or retries.
TEST_F(NubboLogTest, AFullDiskLosesThatLineAndLoggingGoesOn) {
    if (!QFileInfo::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    useTimes({1.5});
    NubboLog::appendToFile("/dev/full", "the agent log on a full disk\n");
    NubboLog::log("after");
    EXPECT_EQ(logLines(), QStringList({"1.5 after"}));
}

TEST_F(NubboLogTest, ALogDeletedWhileRunningIsCreatedAgainWithThatLineAlone) {
    useTimes({1.5, 2.5, 3.5});
    NubboLog::log("before");
    ASSERT_TRUE(QFile::remove(logPath()));
    NubboLog::log("after");
    EXPECT_EQ(logLines(), QStringList({"2.5 after"}));

    ASSERT_TRUE(QDir(state()).removeRecursively());
    NubboLog::log("again");
    EXPECT_EQ(logLines(), QStringList({"3.5 again"}));
}

TEST_F(NubboLogTest, TheMessageIsMirroredToStandardErrorAsData) {
    QTemporaryDir capture;
    const QString capturePath = capture.path() + "/stderr";
    {
        StderrTo redirect(capturePath);
        NubboLog::log("%s %n %% done");
    }

    QFile captured(capturePath);
    ASSERT_TRUE(captured.open(QIODevice::ReadOnly));
    EXPECT_EQ(captured.readAll(), QByteArray("NUBBO_DBG %s %n %% done\n"));
}

TEST_F(NubboLogTest, ConcurrentCallsLeaveWholeLines) {
    constexpr int kThreads = 8;
    constexpr int kLinesEach = 200;
    // Long lines make a torn write likely to show if writes were not atomic appends.
    const QString padding(300, 'x');
    std::vector<std::thread> threads;
    StderrTo quiet("/dev/null");
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &padding] {
            for (int i = 0; i < kLinesEach; ++i) NubboLog::log(QString("t%1 i%2 %3").arg(t).arg(i).arg(padding));
        });
    }
    for (auto& thread : threads) thread.join();

    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), kThreads * kLinesEach);
    const QRegularExpression shape(R"(^\d+\.\d+ (t\d+ i\d+) x{300}$)");
    QSet<QString> seen;
    for (const QString& line : lines) {
        const auto match = shape.match(line);
        ASSERT_TRUE(match.hasMatch()) << line.left(80).toStdString();
        seen.insert(match.captured(1));
    }
    EXPECT_EQ(seen.size(), kThreads * kLinesEach);
}

// The app and a command-line run append to the same log: processes, not threads, rotate it at once.
TEST(LogRotationTest, ProcessesRotatingAtOnceKeepLinesWholeAndTheFilesBounded) {
    constexpr int kWriters = 3;
    constexpr int kLinesEach = 400;
    const QByteArray padding(60, 'x');
    struct Case {
        int files;
        bool keepsAll;  // room for every line, so none may be missing
    };
    for (const Case& c : {Case{3, false}, Case{64, true}}) {
        QTemporaryDir dir;
        const QString log = dir.filePath("agent.log");
        const LogRotation rotation{2048, c.files};
        std::vector<pid_t> children;
        for (int w = 0; w < kWriters; ++w) {
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                for (int i = 0; i < kLinesEach; ++i)
                    NubboLog::appendToFile(log, "w" + QByteArray::number(w) + " i" + QByteArray::number(i) + ' ' +
                                                    padding + '\n', rotation);
                _exit(0);
            }
            children.push_back(child);
        }
        for (const pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }

        const QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
        EXPECT_LE(files.size(), c.files) << files.join(' ').toStdString();
        const QRegularExpression shape(R"(^w\d i\d+ x{60}$)");
        QSet<QByteArray> seen;
        for (const QString& name : files) {
            EXPECT_TRUE(name == "agent.log" || QRegularExpression(R"(^agent\.log\.\d+$)").match(name).hasMatch());
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray text = file.readAll();
            EXPECT_TRUE(text.endsWith('\n')) << name.toStdString();
            for (const QByteArray& line : text.split('\n').mid(0, text.count('\n'))) {
                EXPECT_TRUE(shape.match(QString::fromUtf8(line)).hasMatch()) << line.toStdString();
                EXPECT_FALSE(seen.contains(line)) << "twice: " << line.toStdString();
                seen.insert(line);
            }
        }
        if (c.keepsAll)
            EXPECT_EQ(seen.size(), kWriters * kLinesEach);
        else
            EXPECT_LT(seen.size(), kWriters * kLinesEach);
    }
}

} // namespace
} // namespace nubbo
