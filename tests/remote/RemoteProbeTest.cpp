// What `nubbo remote add` refuses after asking the host what it is, before anything is copied there.
#include "remote/RemoteInstaller.h"
#include "remote/RemoteHostList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace nubbo;

namespace {

// Answers the probe as told; every later step fails, so a run that got past the probe shows what it sent.
class ScriptedHost : public SshTransport {
public:
    ScriptedHost(SshRun probe, QList<QByteArray>& uploads) : probe_(std::move(probe)), uploads_(uploads) {}
    SshRun run(const RemoteDestination&, const QByteArray&, const QByteArray& upload) override {
        uploads_.append(upload);
        return uploads_.size() == 1 ? probe_ : SshRun{1, {}, QStringLiteral("stopped here"), false};
    }

private:
    SshRun probe_;
    QList<QByteArray>& uploads_;  // what each run sent, in order
};

SshRun answer(const QByteArray& os, const QByteArray& arch, const QByteArray& home = "/home/alice",
              const QByteArray& missing = "", const QByteArray& node = "build-box") {
    return {0, "os=" + os + "\narch=" + arch + "\nnode=" + node + "\nhome=" + home + "\nmissing=" + missing + "\n",
            {}, false};
}

} // namespace

TEST(RemoteProbe, RefusesAHostTheBridgeCannotServeBeforeCopyingAnything) {
    struct Row {
        const char* what;
        SshRun probe;
        QString error;
    };
    const std::vector<Row> rows = {
        {"fits", answer("Linux", "x86_64"), "could not copy the bridge to build-box: stopped here"},
        {"another architecture", answer("Linux", "aarch64"),
         "build-box is aarch64; this Nubbo has a bridge for x86_64 only"},
        {"another system", answer("Darwin", "x86_64"), "build-box runs Darwin; this Nubbo has a bridge for Linux only"},
        {"tools missing", answer("Linux", "x86_64", "/home/alice", " cmp tar"),
         "build-box lacks cmp and tar, which Nubbo needs there"},
        {"no home", answer("Linux", "x86_64", ""), "build-box has no usable home folder (\"\")"},
        {"this very home", answer("Linux", "x86_64", "/home/me/", "", "desk"),
         "build-box is this machine and this home, which Nubbo wires already"},
        {"not a shell", {0, "Welcome!\n", {}, false}, "build-box did not answer as a POSIX shell would"},
        {"needs a passphrase", {255, {}, "alice@build-box: Permission denied (publickey).", true},
         "could not reach build-box: alice@build-box: Permission denied (publickey).; "
         "run \"nubbo remote add alice@build-box:2222\" in a terminal once"},
        {"down", {255, {}, "ssh: connect to host build-box port 2222: Connection refused", false},
         "could not reach build-box: ssh: connect to host build-box port 2222: Connection refused"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir data;
        ASSERT_TRUE(data.isValid());
        const QString bridge = data.filePath("nubbo-bridge");
        QFile file(bridge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\x7f" "ELF bridge");
        file.close();
        QList<QByteArray> uploads;
        RemoteInstallerEnvironment env;
        env.dataDirectory = data.filePath("Nubbo");
        env.transport = [&](bool interactive) {
            EXPECT_FALSE(interactive);
            return std::make_unique<ScriptedHost>(row.probe, uploads);
        };
        env.bridgePath = bridge;
        env.bridgeArchitecture = "x86_64";
        env.localNodeName = "desk";
        env.localHome = "/home/me";
        const RemoteInstaller installer(env);

        const RemoteOutcome outcome = installer.add("alice@build-box:2222", false);

        EXPECT_EQ(outcome.error, row.error);
        EXPECT_FALSE(outcome.host);
        // Only a host that passed had the bridge sent to it.
        const QList<QByteArray> expected = row.error.startsWith("could not copy")
                                               ? QList<QByteArray>{{}, "\x7f" "ELF bridge"}
                                               : QList<QByteArray>{{}};
        EXPECT_EQ(uploads, expected);
        EXPECT_TRUE(installer.hosts().empty());
        EXPECT_FALSE(QFileInfo::exists(installer.hostFolder("build-box")));
    }
}
