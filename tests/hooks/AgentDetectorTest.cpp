// The detector against real processes and the real pgrep, with agent names no other process on the machine
// carries; a scripted pgrep where a test needs to see what was asked or to fake a failure.
#include "hooks/AgentDetector.h"
#include "common/ProviderRegistry.h"
#include "hooks/AgentStatuses.h"
#include "hooks/ConfigFolders.h"
#include "hooks/InitialAgentDetection.h"
#include "hooks/ProcessEnvironment.h"

#include "platform/JsonPreferencesDomain.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <unistd.h>

namespace nubbo {
namespace {

using namespace std::chrono_literals;

// Unique per test process, so parallel runs and real agents never match.
QString uniqueName(const QString& stem) {
    return QStringLiteral("zq%1%2").arg(stem).arg(QCoreApplication::applicationPid());
}

// Replaced whole, so a script that is running meanwhile sees the old or the new content.
void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    ASSERT_TRUE(file.commit());
}

void writeExecutable(const QString& path, const QByteArray& content) {
    writeFile(path, content);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A process that stays until killed: a shell waiting on its standard input, started under any path and with
// any trailing arguments, so its command line is whatever the test needs.
class FakeProcess {
public:
    FakeProcess(const QString& program, const QStringList& arguments = {}) {
        if (program != QLatin1String("/bin/sh")) {
            QDir().mkpath(QFileInfo(program).path());
            QFile::remove(program);
            EXPECT_TRUE(QFile::copy(QStringLiteral("/bin/sh"), program));
        }
        process_.start(program, QStringList{QStringLiteral("-c"), QStringLiteral("read _")} + arguments);
        // Returns once the exec has happened, so the process list shows the new command line.
        EXPECT_TRUE(process_.waitForStarted());
    }
    ~FakeProcess() { stop(); }
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.kill();
        process_.waitForFinished();
    }

private:
    QProcess process_;
};

// A settings store over a throw-away preferences file and the agents' statuses, plus a home folder and a
// scratch folder.
struct Machine {
    Machine()
        : preferences(root.filePath(QStringLiteral("preferences.json"))),
          store(preferences, secrets, loginItem, [] { return QStringList{QStringLiteral("en")}; }) {}

    QString home() const { return root.filePath(QStringLiteral("home")); }
    QString scratch(const QString& name) const { return root.filePath(QStringLiteral("scratch/") + name); }

    // A pgrep that logs each call and reports as running the names listed in a file the test rewrites.
    QString scriptedPgrep() {
        const QString path = scratch(QStringLiteral("pgrep"));
        writeExecutable(path, QStringLiteral("#!/bin/sh\n"
                                             "echo \"$*\" >> '%1'\n"
                                             "grep -qxF -- \"$2\" '%2' || exit 1\n"
                                             "echo \"4242 /usr/local/bin/$2 --resume\"\n")
                                  .arg(pgrepLog(), runningList())
                                  .toUtf8());
        setRunning({});
        return path;
    }
    QString pgrepLog() const { return scratch(QStringLiteral("pgrep.log")); }
    QString runningList() const { return scratch(QStringLiteral("running")); }
    void setRunning(const QStringList& names) {
        writeFile(runningList(), (names.join(u'\n') + u'\n').toUtf8());
    }
    QStringList pgrepCalls() const {
        QFile log(pgrepLog());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir root;
    JsonPreferencesDomain preferences;
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore store;
    AgentStatuses statuses;
};

// Scans on the worker thread, then delivers the status writes it queued for this (the main) thread.
void scan(AgentDetector& detector) {
    detector.scanNow();
    QCoreApplication::sendPostedEvents();
}

const AgentProvider kClaude{QStringLiteral("claude")};
const AgentProvider kCodex{QStringLiteral("codex")};
const AgentProvider kCursor{QStringLiteral("cursor")};

TEST(AgentDetectorProbe, CountsOnlyTheWholeNameOutsideTheApp) {
    const auto lists = [](const char* output, const char* name) {
        return AgentProbe::listsProgram(QByteArray(output), QString::fromUtf8(name));
    };
    EXPECT_TRUE(lists("101 /usr/local/bin/claude --resume\n", "claude"));
    EXPECT_TRUE(lists("101 node /home/u/.npm-global/bin/claude\n", "claude"));
    EXPECT_FALSE(lists("101 claudette\n102 /opt/xclaude\n103 claude_2\n", "claude"));
    EXPECT_FALSE(lists("101 /home/u/Nubbo.app/Contents/Helpers/nubbo-bridge --source claude\n", "claude"));
    // Another probe's own command line.
    EXPECT_FALSE(lists("101 /usr/bin/pgrep -fa claude\n", "claude"));
    EXPECT_TRUE(lists("101 /x/Nubbo.app/Contents/MacOS/Nubbo\n\n102 claude\n", "claude"));
    EXPECT_FALSE(lists("101 claude \xff\n", "claude"));
    EXPECT_FALSE(lists("", "claude"));

    EXPECT_EQ(AgentProbe().programName(kCursor), QStringLiteral("cursor-agent"));
    EXPECT_FALSE(lists("7 /opt/cursor/cursor --no-sandbox\n", "cursor-agent"));
    EXPECT_TRUE(lists("7 /usr/local/bin/cursor-agent chat\n", "cursor-agent"));

    // A name is literal text: as a pattern "c++" would match "cc" and "a.b" would match "axb".
    EXPECT_TRUE(lists("1 /usr/bin/c++ -v\n", "c++"));
    EXPECT_FALSE(lists("1 /usr/bin/cc -v\n", "c++"));
    EXPECT_FALSE(lists("1 axb\n", "a.b"));
}

TEST(AgentDetectorProbe, EveryPgrepFailureReadsAsNotRunning) {
    Machine machine;
    const QString name = uniqueName(QStringLiteral("agent"));
    AgentProbe probe;
    probe.programNames.insert(kClaude.rawValue(), name);
    const auto runningWith = [&](const QByteArray& script) {
        probe.pgrepPath = machine.scratch(QStringLiteral("pgrep-variant"));
        writeExecutable(probe.pgrepPath, "#!/bin/sh\n" + script);
        return probe.isRunning(kClaude);
    };
    const QByteArray line = "printf '4242 /usr/bin/" + name.toUtf8() + "\\n'\n";

    EXPECT_TRUE(runningWith(line + "exit 0\n"));
    EXPECT_FALSE(runningWith(line + "exit 1\n"));
    EXPECT_FALSE(runningWith(line + "kill -9 $$\n"));
    EXPECT_FALSE(runningWith("printf '4242 /usr/bin/" + name.toUtf8() + " \\377\\n'\n"));
    probe.pgrepPath = machine.scratch(QStringLiteral("no-such-pgrep"));
    EXPECT_FALSE(probe.isRunning(kClaude));
}

TEST(AgentDetectorProbe, CommandPathTakesTheFirstExecutableOfTheInstallLocations) {
    Machine machine;
    const QString name = uniqueName(QStringLiteral("agent"));
    AgentProbe probe;
    probe.home = machine.home();
    probe.programNames.insert(kClaude.rawValue(), name);
    EXPECT_EQ(probe.commandPath(kClaude), std::nullopt);

    // Neither a plain file nor a folder is a command.
    writeExecutable(machine.home() + "/.npm-global/bin/" + name, "x");
    QFile::setPermissions(machine.home() + "/.npm-global/bin/" + name, QFile::ReadOwner);
    QDir().mkpath(machine.home() + "/.local/bin/" + name);
    writeExecutable(machine.home() + "/.opencode/bin/" + name, "#!/bin/sh\n");
    EXPECT_EQ(probe.commandPath(kClaude), machine.home() + "/.opencode/bin/" + name);

    QDir(machine.home() + "/.local/bin/" + name).removeRecursively();
    writeExecutable(machine.home() + "/.local/bin/" + name, "#!/bin/sh\n");
    EXPECT_EQ(probe.commandPath(kClaude), machine.home() + "/.local/bin/" + name);
}

class AgentDetectorScan : public ::testing::Test {
protected:
    AgentDetectorScan() {
        probe.home = machine.home();
        probe.programNames.insert(kClaude.rawValue(), name);
        QObject::connect(&machine.statuses, &AgentStatuses::statusChanged, [this] {
            writesOffMainThread += QThread::currentThread() != QCoreApplication::instance()->thread();
        });
    }

    // Only the fake agent is probed: real programs, or other tests' processes that name an agent (a fixture
    // path with "opencode" in it), must not add events of their own.
    void probeOnlyTheFakeAgent() {
        for (const auto& spec : ProviderRegistry::all())
            if (QString::fromStdString(spec.id) != kClaude.rawValue())
                machine.store.setEnabled(QString::fromStdString(spec.id), false);
    }
    std::unique_ptr<AgentDetector> makeDetector() {
        auto detector = std::make_unique<AgentDetector>(machine.store, machine.statuses, probe);
        detector->setOnChange([this](const AgentEvent& event) { events.push_back(event); });
        return detector;
    }
    AgentStatus claudeStatus() const { return machine.statuses.status(kClaude.rawValue()); }

    Machine machine;
    const QString name = uniqueName(QStringLiteral("agent"));
    AgentProbe probe;
    std::vector<AgentEvent> events;
    int writesOffMainThread = 0;
};

TEST_F(AgentDetectorScan, FollowsAnAgentProcessFromStartToStop) {
    probeOnlyTheFakeAgent();
    auto detector = makeDetector();
    scan(*detector);
    EXPECT_EQ(claudeStatus(), AgentStatus::unknown);

    FakeProcess agent(machine.scratch(QStringLiteral("bin/")) + name);
    scan(*detector);
    EXPECT_EQ(claudeStatus(), AgentStatus::running);
    scan(*detector);
    agent.stop();
    scan(*detector);
    EXPECT_EQ(claudeStatus(), AgentStatus::notFound);

    // Installed this time, and run as a script under an interpreter: the name is only in the arguments.
    const QString installed = machine.home() + "/.local/bin/" + name;
    writeExecutable(installed, "#!/bin/sh\n");
    FakeProcess script(QStringLiteral("/bin/sh"), {installed});
    scan(*detector);
    EXPECT_EQ(claudeStatus(), AgentStatus::running);
    script.stop();
    scan(*detector);
    EXPECT_EQ(claudeStatus(), AgentStatus::connected);

    // Only transitions are reported.
    ASSERT_EQ(events.size(), 4u);
    const AgentEventType expected[] = {AgentEventType::agentStarted, AgentEventType::agentStopped,
                                       AgentEventType::agentStarted, AgentEventType::agentStopped};
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].type, expected[i]);
        EXPECT_EQ(events[i].provider, kClaude);
        EXPECT_FALSE(events[i].id.isNull());
        EXPECT_FALSE(events[i].command || events[i].cwd || events[i].sessionId || events[i].exitCode);
    }
    EXPECT_EQ(events[0].message, QStringLiteral("Claude started"));
    EXPECT_EQ(events[1].message, QStringLiteral("Claude stopped"));
    EXPECT_NE(events[0].id, events[2].id);
    EXPECT_EQ(writesOffMainThread, 0);
}

TEST_F(AgentDetectorScan, LookAlikesAndTheAppsOwnProcessesDoNotCount) {
    probeOnlyTheFakeAgent();
    auto detector = makeDetector();
    FakeProcess longer(machine.scratch(QStringLiteral("bin/")) + name + QStringLiteral("ette"));
    FakeProcess prefixed(machine.scratch(QStringLiteral("bin/x")) + name);
    FakeProcess bridge(machine.scratch(QStringLiteral("Nubbo.app/Contents/Helpers/nubbo-bridge")),
                       {QStringLiteral("nubbo-bridge"), QStringLiteral("--source"), name});
    scan(*detector);
    EXPECT_EQ(claudeStatus(), AgentStatus::unknown);
    EXPECT_TRUE(events.empty());

    FakeProcess agent(machine.scratch(QStringLiteral("bin/")) + name);
    scan(*detector);
    EXPECT_EQ(claudeStatus(), AgentStatus::running);
}

TEST_F(AgentDetectorScan, NamesReachPgrepAsLiteralText) {
    // As an extended regular expression "a+1" would only find "a1".
    const QString plus = name + QStringLiteral("+1");
    probe.programNames.insert(kClaude.rawValue(), plus);
    auto detector = makeDetector();
    FakeProcess agent(machine.scratch(QStringLiteral("bin/")) + plus);
    scan(*detector);
    EXPECT_EQ(claudeStatus(), AgentStatus::running);
}

TEST_F(AgentDetectorScan, DisabledAgentsAreNeitherProbedNorChanged) {
    probe.pgrepPath = machine.scriptedPgrep();
    probe.programNames.clear();
    machine.setRunning({QStringLiteral("claude"), QStringLiteral("codex"), QStringLiteral("cursor-agent")});
    machine.store.setEnabled(kCodex.rawValue(), false);
    machine.store.setEnabled(kCursor.rawValue(), true);
    auto detector = makeDetector();
    scan(*detector);

    const QStringList calls = machine.pgrepCalls();
    EXPECT_TRUE(calls.contains(AgentProbe::pgrepArguments(QStringLiteral("claude")).join(u' ')));
    EXPECT_TRUE(calls.contains(AgentProbe::pgrepArguments(QStringLiteral("cursor-agent")).join(u' ')));
    EXPECT_FALSE(calls.contains(AgentProbe::pgrepArguments(QStringLiteral("codex")).join(u' ')));
    EXPECT_FALSE(calls.contains(AgentProbe::pgrepArguments(QStringLiteral("cursor")).join(u' ')));
    EXPECT_EQ(machine.statuses.status(kCodex.rawValue()), AgentStatus::unknown);
    EXPECT_EQ(machine.statuses.status(kCursor.rawValue()), AgentStatus::running);
    EXPECT_EQ(claudeStatus(), AgentStatus::running);

    // Disabled while running: it keeps its status and its place among the running, and stops once
    // enabled again.
    machine.store.setEnabled(kClaude.rawValue(), false);
    machine.setRunning({});
    events.clear();
    scan(*detector);
    EXPECT_EQ(claudeStatus(), AgentStatus::running);
    machine.store.setEnabled(kClaude.rawValue(), true);
    scan(*detector);
    // The real install locations decide here, since the name is the real one.
    EXPECT_EQ(claudeStatus(), probe.commandPath(kClaude) ? AgentStatus::connected : AgentStatus::notFound);
    ASSERT_EQ(events.size(), 2u); // Cursor on the first scan, Claude on the second
    EXPECT_EQ(events[1].message, QStringLiteral("Claude stopped"));
}

TEST_F(AgentDetectorScan, TimerKeepsScanningUntilTheDetectorGoes) {
    probe.pgrepPath = machine.scriptedPgrep();
    machine.setRunning({name});
    auto detector = std::make_unique<AgentDetector>(machine.store, machine.statuses, probe);
    const auto waitForClaude = [&](AgentStatus wanted) {
        QEventLoop loop;
        QObject::connect(&machine.statuses, &AgentStatuses::statusChanged, &loop, [&] {
            if (claudeStatus() == wanted)
                loop.quit();
        });
        // A safety net only: the loop ends on the status change.
        QTimer::singleShot(20s, &loop, &QEventLoop::quit);
        loop.exec();
        return claudeStatus();
    };
    detector->start(20ms, 0ms);
    EXPECT_EQ(waitForClaude(AgentStatus::running), AgentStatus::running);
    machine.setRunning({});
    EXPECT_EQ(waitForClaude(AgentStatus::notFound), AgentStatus::notFound);
    detector.reset();
}

TEST(AgentDetectorInitial, RecordsRunningElseInstalledElseNotFoundForEveryAgent) {
    Machine machine;
    AgentProbe probe;
    probe.pgrepPath = machine.scriptedPgrep();
    probe.home = machine.home();
    // Names no real install carries, so the system's own bin folders cannot interfere.
    for (const AgentProvider& provider : AgentProvider::allCases())
        probe.programNames.insert(provider.rawValue(), uniqueName(provider.rawValue()));
    // Cursor is disabled by default; the first detection looks at it all the same.
    machine.setRunning({uniqueName(QStringLiteral("claude")), uniqueName(QStringLiteral("cursor"))});
    writeExecutable(machine.home() + "/.local/bin/" + uniqueName(QStringLiteral("claude")), "#!/bin/sh\n");
    writeExecutable(machine.home() + "/.local/bin/" + uniqueName(QStringLiteral("codex")), "#!/bin/sh\n");

    runInitialAgentDetection(machine.statuses, probe);

    for (const AgentProvider& provider : AgentProvider::allCases()) {
        const QString& id = provider.rawValue();
        const AgentStatus expected = id == u"claude" || id == u"cursor" ? AgentStatus::running
                                     : id == u"codex"                   ? AgentStatus::connected
                                                                        : AgentStatus::notFound;
        EXPECT_EQ(machine.statuses.status(id), expected) << id.toStdString();
    }
}

// The folder a running agent names in its environment, read as /proc holds it: NUL-separated entries, the
// user's own processes only, never more than the bounded read.
TEST(AgentDetectorEnvironment, TheVariableNamesAFolderOnlyInTheUsersOwnReadableEnvironment) {
    QTemporaryDir proc;
    const QString home = QStringLiteral("/home/ada");
    // NAME=value entries, each ended by a NUL.
    const auto entries = [](std::initializer_list<QByteArray> list) {
        QByteArray bytes;
        for (const QByteArray& entry : list)
            bytes += entry + '\0';
        return bytes;
    };
    const struct {
        const char* name;
        std::optional<QByteArray> environ;  // nothing: the process is gone
        bool othersProcess;
        const char* folder;  // what is offered; "" for nothing
    } cases[] = {
        {"among others", entries({"A=1", "CLAUDE_CONFIG_DIR=/work/./claude-alt/", "B=2"}), false, "/work/claude-alt"},
        {"last, without a final NUL", entries({"A=1"}) + "CLAUDE_CONFIG_DIR=~/alt", false, "/home/ada/alt"},
        {"the home itself", entries({"CLAUDE_CONFIG_DIR=~"}), false, "/home/ada"},
        {"empty", entries({"CLAUDE_CONFIG_DIR="}), false, ""},
        {"relative", entries({"CLAUDE_CONFIG_DIR=alt"}), false, ""},
        {"a longer name", entries({"XCLAUDE_CONFIG_DIR=/x", "CLAUDE_CONFIG_DIRS=/y"}), false, ""},
        {"absent", entries({"HOME=/home/ada"}), false, ""},
        {"past the bounded read", entries({"P=" + QByteArray(ProcessEnvironment::kMaxBytes, 'x'), "CLAUDE_CONFIG_DIR=/far"}),
         false, ""},
        {"another user's", entries({"CLAUDE_CONFIG_DIR=/theirs"}), true, ""},
        {"gone", std::nullopt, false, ""},
    };
    qint64 pid = 100;
    for (const auto& c : cases) {
        ++pid;
        if (c.environ)
            writeFile(proc.filePath(QStringLiteral("%1/environ").arg(pid)), *c.environ);
        // The test owns every file; another user's process is one owned by someone the reader is not.
        const uint reader = c.othersProcess ? ::getuid() + 1 : ::getuid();
        const std::optional<QByteArray> environment = ProcessEnvironment::read(proc.path(), pid, reader);
        const std::optional<QString> value =
            environment ? ProcessEnvironment::value(*environment, "CLAUDE_CONFIG_DIR") : std::nullopt;
        EXPECT_EQ(value ? ConfigFolders::fromVariable(*value, home) : QString(), QString::fromLatin1(c.folder)) << c.name;
    }
    // An environment that cannot be read (here a folder in the file's place) reads as none.
    ASSERT_TRUE(QDir().mkpath(proc.filePath(QStringLiteral("200/environ"))));
    EXPECT_EQ(ProcessEnvironment::read(proc.path(), 200, ::getuid()), std::nullopt);
}

// Statuses say what was last seen, never what was saved: every agent starts unknown, and QML reads raw values.
TEST(AgentStatusesTest, StartUnknownForEveryAgentAndReadAsRawValues) {
    AgentStatuses statuses;
    for (const ProviderSpec& spec : ProviderRegistry::all())
        EXPECT_EQ(statuses.status(QString::fromStdString(spec.id)), AgentStatus::unknown) << spec.id;
    EXPECT_EQ(statuses.statusesMap().size(), qsizetype(ProviderRegistry::all().size()));
    statuses.setStatus(QStringLiteral("Codex"), AgentStatus::notFound);
    EXPECT_EQ(statuses.property("statuses").toMap().value(QStringLiteral("codex")), QVariant("notFound"));
}

} // namespace
} // namespace nubbo
