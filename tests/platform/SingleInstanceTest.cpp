#include "platform/SingleInstance.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nubbo;

namespace {

const QString kAppId = QStringLiteral("dev.nubbo.Test");

TEST(SingleInstance, OneHolderPerFolderWhileItLivesAndABrokenLockNeverBlocks) {
    QTemporaryDir folder, otherHome;
    ASSERT_TRUE(folder.isValid() && otherHome.isValid());
    QStringList lines;
    const auto log = [&](const QString& line) { lines.append(line); };

    auto holder = std::make_unique<SingleInstance>(folder.path(), kAppId, log);
    EXPECT_TRUE(holder->first());
    EXPECT_FALSE(SingleInstance(folder.path(), kAppId, log).first());
    EXPECT_TRUE(SingleInstance(otherHome.path(), kAppId, log).first());

    // A program the app starts (a browser for a link) outlives it and must not inherit the lock.
    pid_t child = -1;
    char sleepPath[] = "/bin/sleep";
    char seconds[] = "30";
    char* argv[] = {sleepPath, seconds, nullptr};
    ASSERT_EQ(::posix_spawn(&child, sleepPath, nullptr, nullptr, argv, environ), 0);
    holder.reset();
    EXPECT_TRUE(SingleInstance(folder.path(), kAppId, log).first());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(lines.isEmpty()) << lines.join('\n').toStdString();

    // A lock that fails for another reason (here a file where the folder should be) lets the app start.
    const QString notAFolder = otherHome.filePath("support");
    QFile(notAFolder).open(QIODevice::WriteOnly);
    EXPECT_TRUE(SingleInstance(notAFolder, kAppId, log).first());
    EXPECT_EQ(lines.size(), 1);
}

} // namespace
