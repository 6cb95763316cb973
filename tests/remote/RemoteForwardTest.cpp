// A host's forward on the manual clock, with ssh played by a fake that records each command line: what ssh
// says becomes the host's state and reason, failures wait longer each time, and every forward comes after
// the removal of the socket a dropped connection may have left on the host.
#include "ManualTime.h"
#include "remote/RemoteForward.h"
#include "remote/RemoteHostList.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace nubbo {
namespace {

using fakes::ManualClock;
using fakes::ManualScheduler;

class FixedRandom final : public Random {
public:
    double uniform() override { return 0.5; }
    int uniformInt(int low, int) override { return low; }
};

// ssh's part: each start is a run that says lines and ends when told.
class FakeSsh final : public SshRunner {
public:
    struct Run {
        QStringList arguments;
        Handlers handlers;
        bool alive = true;
    };
    struct Process final : SshProcess {
        explicit Process(std::shared_ptr<Run> run) : run(std::move(run)) {}
        ~Process() override { run->alive = false; }
        std::shared_ptr<Run> run;
    };

    std::unique_ptr<SshProcess> start(const QStringList& arguments, Handlers handlers) override {
        runs.push_back(std::make_shared<Run>(Run{arguments, std::move(handlers)}));
        return std::make_unique<Process>(runs.back());
    }
    bool forwarding() const { return !runs.empty() && runs.back()->arguments.contains("-R"); }
    // The latest run says its lines, then ends with `exitCode` unless it is nothing.
    void play(const QStringList& lines, std::optional<int> exitCode) {
        const auto run = runs.back();
        for (const QString& line : lines)
            if (run->alive) run->handlers.line(line);
        if (exitCode && run->alive) {
            const auto finished = run->handlers.finished;  // the handler ends the run it belongs to
            finished(*exitCode);
        }
    }

    std::vector<std::shared_ptr<Run>> runs;
};

const RemoteHost kHost{"build-box", "alice@build-box", 2222, "/home/o'neil", "/home/o'neil/.nubbo/run/nubbo.sock", {}};
const QString kLocal = "/run/user/1000/nubbo/hosts/0123456789ab.sock";
const QString kSuccess = "debug1: remote forward success for: listen /home/o'neil/.nubbo/run/nubbo.sock:-2, connect " +
                         kLocal + ":-2";

struct Fixture {
    ManualClock clock;
    ManualScheduler scheduler{clock};
    FixedRandom random;
    FakeSsh ssh;
    RemoteForward forward{kHost, kLocal, ssh, scheduler, clock, random};

    // Seconds until ssh is started again; -1 when it is not within ten minutes.
    double nextStart() {
        const std::size_t before = ssh.runs.size();
        for (int step = 1; step <= 60000; ++step) {
            scheduler.advance(0.01);
            if (ssh.runs.size() > before) return step * 0.01;
        }
        return -1;
    }
};

TEST(RemoteForward, WhatSshSaysBecomesTheHostsStateAndTheNextTryWaitsAccordingly) {
    struct Case {
        const char* name;
        std::optional<int> removalExit;  // nothing: the removal never ends
        QStringList removalLines;
        QStringList forwardLines;
        std::optional<int> forwardExit;  // nothing: the forward keeps running
        RemoteHostState state;
        QString reason;                  // contained in the reason; empty: the reason is empty
        double retryAfter;               // -1: no retry is waiting
    };
    const QString refusedLine = "Error: remote port forwarding failed for listen path " + kHost.socketPath;
    const std::vector<Case> cases = {
        {"forward in place", 0, {}, {"OpenSSH_9.2p1 Debian-2+deb12u10, OpenSSL 3.0.19 27 Jan 2026",
          "Authenticated to build-box ([10.0.0.2]:2222) using \"publickey\".", kSuccess}, {},
         RemoteHostState::connected, "", -1},
        {"the remote command failed, the forward goes on", 1, {"mkdir: cannot create directory"}, {kSuccess}, {},
         RemoteHostState::connected, "", -1},
        {"a success for another path", 0, {},
         {"debug1: remote forward success for: listen /home/o'neil/.nubbo/run/nubbo.sock.old:-2, connect x:-2"}, {},
         RemoteHostState::connecting, "", -1},
        {"server refuses socket forwarding", 0, {},
         {"debug1: remote forward failure for: listen /home/o'neil/.nubbo/run/nubbo.sock:-2", refusedLine}, 255,
         RemoteHostState::forwardRefused, "AllowStreamLocalForwarding", 54},
        {"connection refused", 255, {"ssh: connect to host build-box port 2222: Connection refused"}, {}, {},
         RemoteHostState::unreachable, "ssh: connect to host build-box port 2222: Connection refused", 0.9},
        {"no key the host takes", 255, {"Warning: Identity file /nonexist not accessible: No such file or directory.",
          "@@@@@@@@@@@@@@@@@@@@@@@@@@@", "alice@build-box: Permission denied (publickey)."}, {}, {},
         RemoteHostState::unreachable, "alice@build-box: Permission denied (publickey).", 0.9},
        {"unknown host key", 255, {"No ED25519 host key is known for [build-box]:2222 and you have requested strict "
          "checking.", "Host key verification failed."}, {}, {},
         RemoteHostState::unreachable, "Host key verification failed.", 0.9},
        {"dropped after connecting", 0, {}, {kSuccess, "Connection to build-box closed by remote host.",
          "Transferred: sent 3476, received 3180 bytes, in 2.5 seconds", "Bytes per second: sent 1372.7, received "
          "1255.8"}, 255, RemoteHostState::unreachable, "Connection to build-box closed by remote host.", 0.9},
        {"a banner with control characters", 255, {"\x1b]0;owned\x07Go away\r"}, {}, {},
         RemoteHostState::unreachable, "]0;ownedGo away", 0.9},
        {"no ssh to run", -1, {"ssh could not be started: execvp: No such file or directory"}, {}, {},
         RemoteHostState::unreachable, "ssh could not be started", 0.9},
        {"silent end", 255, {"debug1: Reading configuration data /etc/ssh/ssh_config"}, {}, {},
         RemoteHostState::unreachable, "ssh ended with status 255", 0.9},
        {"removal never ends", {}, {}, {}, {}, RemoteHostState::unreachable, "did not finish", 0.9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.forward.start();
        ASSERT_EQ(f.ssh.runs.size(), 1u);
        EXPECT_FALSE(f.ssh.forwarding());
        f.ssh.play(c.removalLines, c.removalExit);
        if (!c.removalExit) f.scheduler.advance(RemoteForward::kRemovalTimeout);
        const bool forwarded = f.ssh.forwarding();
        EXPECT_EQ(forwarded, c.removalExit && *c.removalExit != 255 && *c.removalExit >= 0);
        if (forwarded) f.ssh.play(c.forwardLines, c.forwardExit);
        EXPECT_EQ(rawValue(f.forward.state()), rawValue(c.state));
        if (c.reason.isEmpty()) EXPECT_EQ(f.forward.reason(), "");
        else EXPECT_TRUE(f.forward.reason().contains(c.reason)) << f.forward.reason().toStdString();
        EXPECT_FALSE(f.forward.reason().contains(QChar(0x1b)));
        if (c.retryAfter < 0) {
            EXPECT_EQ(f.scheduler.pending(), 0u);
            continue;
        }
        EXPECT_NEAR(f.nextStart(), c.retryAfter, 0.011);
        // Every try begins with the removal, and the last failure stays the reason meanwhile.
        EXPECT_FALSE(f.ssh.forwarding());
        EXPECT_EQ(rawValue(f.forward.state()), rawValue(RemoteHostState::connecting));
        EXPECT_TRUE(f.forward.reason().contains(c.reason));
    }
}

TEST(RemoteForward, BacksOffUpToAMinuteAndStartsOverAfterAForwardHeldThatLong) {
    Fixture f;
    int drops = 0;
    f.forward.setOnDropped([&] { ++drops; });
    f.forward.start();
    // The command lines: a quoted removal (and the folder made again), then the forward.
    EXPECT_EQ(f.ssh.runs[0]->arguments,
              QStringList({"-o", "BatchMode=yes", "-p", "2222", "-o", "ConnectTimeout=15", "--", "alice@build-box",
                           "mkdir -p -m 700 -- '/home/o'\\''neil/.nubbo/run' && "
                           "rm -f -- '/home/o'\\''neil/.nubbo/run/nubbo.sock'"}));
    f.ssh.play({}, 0);
    EXPECT_EQ(f.ssh.runs[1]->arguments,
              QStringList({"-v", "-N", "-o", "BatchMode=yes", "-p", "2222", "-o", "ExitOnForwardFailure=yes", "-o",
                           "StreamLocalBindUnlink=yes", "-o", "ServerAliveInterval=10", "-o", "ServerAliveCountMax=3",
                           "-o", "ControlPath=none", "-R", kHost.socketPath + ":" + kLocal, "--",
                           "alice@build-box"}));
    f.ssh.play({"Connection closed by 10.0.0.2 port 2222"}, 255);
    EXPECT_EQ(drops, 1);

    // Each failure doubles the wait up to 60 s; 0.9 of it with this draw of the jitter.
    std::vector<double> waits;
    for (int i = 0; i < 8; ++i) {
        waits.push_back(f.nextStart());
        f.ssh.play({"ssh: connect to host build-box port 2222: Connection timed out"}, 255);
    }
    const std::vector<double> expected{0.9, 1.8, 3.6, 7.2, 14.4, 28.8, 54, 54, 54};
    for (std::size_t i = 0; i < waits.size(); ++i) EXPECT_NEAR(waits[i], expected[i], 0.011) << i;

    // A forward that drops within the minute keeps the back-off; one held for a minute starts it over.
    f.nextStart();
    for (const auto& [held, wait] : std::vector<std::pair<double, double>>{{10, 54}, {61, 0.9}, {61, 0.9}, {5, 1.8}}) {
        f.ssh.play({}, 0);
        f.ssh.play({kSuccess}, std::nullopt);
        ASSERT_EQ(f.forward.state(), RemoteHostState::connected);
        f.scheduler.advance(held);
        f.ssh.play({"Connection to build-box closed by remote host."}, 255);
        EXPECT_NEAR(f.nextStart(), wait, 0.011) << "held " << held;
    }
    EXPECT_EQ(drops, 5);
}

TEST(RemoteHostList, ForwardsLeaveOutWhatSshWouldReadAsSomethingElse) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("remote-hosts.json");
    const auto load = [&](const QByteArray& json, QString* error) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(json);
        file.close();
        return RemoteHostList::load(path, error);
    };
    const QByteArray json = R"({"version":1,"hosts":[
        {"name":"build-box","destination":"alice@build-box","port":2222,"remoteHome":"/home/alice",
         "socketPath":"/home/alice/.nubbo/run/nubbo.sock","addedAt":"2026-12-11T02:00:00Z"},
        {"name":"gpu","destination":"gpu","port":null,"remoteHome":"/home/me","socketPath":"/home/me/.nubbo/run/nubbo.sock"},
        {"name":"evil","destination":"-oProxyCommand=touch /tmp/x","remoteHome":"/e","socketPath":"/home/e/.nubbo/run/nubbo.sock"},
        {"name":"spaced","destination":"a b","remoteHome":"/e","socketPath":"/home/e/.nubbo/run/nubbo.sock"},
        {"name":"relative","destination":"r","remoteHome":"/r","socketPath":"home/r/.nubbo/run/nubbo.sock"},
        {"name":"colon","destination":"c","remoteHome":"/c","socketPath":"/home/c:d/.nubbo/run/nubbo.sock"},
        {"name":"port","destination":"p","port":70000,"remoteHome":"/p","socketPath":"/home/p/.nubbo/run/nubbo.sock"}]})";
    QString error;
    QStringList skipped;
    std::vector<QString> names;
    for (const RemoteHost& host : load(json, &error).forwardable(&skipped))
        names.push_back(host.name + " " + host.destination + " " + host.socketPath);
    EXPECT_EQ(error, "");
    EXPECT_EQ(names, (std::vector<QString>{"build-box alice@build-box /home/alice/.nubbo/run/nubbo.sock",
                                           "gpu gpu /home/me/.nubbo/run/nubbo.sock"}));
    EXPECT_EQ(skipped.size(), 5) << skipped.join('\n').toStdString();
    for (const QByteArray& unreadable : {QByteArray(R"({"version":2,"hosts":[]})"), QByteArray(R"({"version":1})"),
                                         QByteArray("{\"version\":1,\"hosts\":[")}) {
        QString why;
        EXPECT_TRUE(load(unreadable, &why).hosts().empty());
        EXPECT_FALSE(why.isEmpty()) << unreadable.constData();
    }
}

} // namespace
} // namespace nubbo
