// The real app in an empty home under a umask that would leave everything open to all: it serves the bridge,
// installs the hooks, and keeps its files in its XDG folders, private to the user, and nowhere else.
#include "BridgeRun.h"
#include "HomeOnlySocket.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

namespace {

using nubbo::e2e::spinUntil;

QString read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

unsigned modeOf(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

TEST(FreshHome, TheAppsFilesAreInItsOwnFoldersAndPrivate) {
    QTemporaryDir home(QDir::tempPath() + "/nubbo-fresh-XXXXXX");
    ASSERT_TRUE(home.isValid());
    const mode_t savedMask = ::umask(0);  // the app's child processes inherit it
    QProcessEnvironment env = nubbo::e2e::appEnvironment(home.path());
    // App and bridge given HOME alone meet at the same place. Where this machine has a private
    // /run/user/<uid> that place is the desktop's own app's, so the test keeps to its runtime folder there.
    const bool homeOnly = homeOnlySocket(home.path()).startsWith(home.path() + '/');
    if (homeOnly) env.remove("XDG_RUNTIME_DIR");
    const QString state = home.path() + "/.local/state/Nubbo";

    QProcess app;
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(NUBBO_APP_PATH, {});
    EXPECT_TRUE(spinUntil([&] { return read(state + "/nubbo.log").contains(" start-up finished\n"); }, 60000));
    const QString payload = home.path() + "/payload.json";
    {
        QFile file(payload);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"({"session_id":"fresh","cwd":"/tmp","prompt":"hi"})");
    }
    EXPECT_EQ(nubbo::e2e::runBridge(home.path(), "UserPromptSubmit", payload, homeOnly).out, "");
    EXPECT_TRUE(spinUntil([&] { return read(state + "/agent.log").contains(" Claude "); }));
    QProcess install;
    install.setProcessEnvironment(env);
    install.start(NUBBO_APP_PATH, {"--install-hooks"});
    EXPECT_TRUE(install.waitForFinished(20000));
    EXPECT_EQ(install.readAllStandardOutput(), "nubbo: install-hooks OK\n");
    app.terminate();
    if (!app.waitForFinished(10000)) app.kill();
    app.waitForFinished(5000);
    ::umask(savedMask);
    QFile::remove(payload);

    // The app's own folders; the shared XDG folders above them; the files the agents read (their
    // configurations, which keep the modes their owners chose, and the launcher they run).
    const QStringList own{".config/Nubbo", ".local/share/Nubbo", ".local/state/Nubbo", "run/nubbo"};
    const QStringList parents{".config", ".local", ".local/share", ".local/state", "run"};
    const QStringList agents{".claude", ".codex", ".gemini", ".config/opencode", ".nubbo"};
    QDirIterator it(home.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    int checked = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(home.path().size() + 1);
        SCOPED_TRACE(relative.toStdString());
        const auto under = [&](const QStringList& roots) {
            return std::any_of(roots.begin(), roots.end(),
                               [&](const QString& root) { return relative == root || relative.startsWith(root + '/'); });
        };
        if (under(own)) {
            EXPECT_EQ(modeOf(path), QFileInfo(path).isDir() ? 0700u : 0600u);
            ++checked;
        } else if (!parents.contains(relative)) {
            EXPECT_TRUE(under(agents)) << "created outside the app's folders";
        }
    }
    EXPECT_GE(checked, 8) << "the app's folders were not all made";
    EXPECT_EQ(modeOf(home.path() + "/.nubbo/bin/nubbo-bridge"), 0755u);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
