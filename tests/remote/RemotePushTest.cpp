// The script that writes the installer's changes on a host, run here with /bin/sh against a folder standing
// for the host's home: all of an agent's files or none, never over a file that changed since it was read.
#include "remote/RemoteScripts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace nubbo;

namespace {

void put(const QString& path, const QByteArray& bytes, unsigned mode = 0644) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
}

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(RemotePush, WritesAnAgentsChangesOnlyOverFilesStillAsTheyWereRead) {
    const QByteArray user = "{\"model\": \"opus\"}\n";
    const QByteArray wired = "{\"model\": \"opus\", \"hooks\": {}}\n";
    const QByteArray edited = "{\"model\": \"sonnet\"}\n";
    // Bytes a shell or printf could take for something else.
    static constexpr char kAwkward[] = "-%s\\n'$(x)`\0\xff\n";
    const QByteArray awkward(kAwkward, sizeof kAwkward - 1);
    struct Row {
        const char* what;
        std::function<void(const QString& home)> host;  // the host's files when the script runs
        std::vector<StagedChange> changes;
        int exitCode;
        QMap<QString, QByteArray> after;  // files afterwards ("<missing>": gone)
        QMap<QString, unsigned> modes = {};
        QStringList links = {};  // still symlinks afterwards
    };
    const std::vector<Row> rows = {
        {"unchanged files are replaced",
         [&](const QString& h) { put(h + "/.claude/settings.json", user, 0640); },
         {{".claude/settings.json", StagedFile{user}, StagedFile{wired}},
          {".codex/hooks.json", std::nullopt, StagedFile{awkward, 0755}}},
         0,
         {{".claude/settings.json", wired}, {".codex/hooks.json", awkward},
          {".nubbo/backups/20261211-020000/.claude/settings.json", user}},
         {{".claude/settings.json", 0640}, {".codex/hooks.json", 0755}}},
        {"a file edited meanwhile stops the agent's every write",
         [&](const QString& h) { put(h + "/.claude/settings.json", edited); },
         {{".codex/hooks.json", std::nullopt, StagedFile{wired}},
          {".claude/settings.json", StagedFile{user}, StagedFile{wired}}},
         RemoteScripts::kChangedOnHost,
         {{".claude/settings.json", edited}, {".codex/hooks.json", "<missing>"}}},
        {"a file made meanwhile is not overwritten",
         [&](const QString& h) { put(h + "/.codex/hooks.json", edited); },
         {{".codex/hooks.json", std::nullopt, StagedFile{wired}}},
         RemoteScripts::kChangedOnHost,
         {{".codex/hooks.json", edited}}},
        {"a symlinked file is replaced at its target",
         [&](const QString& h) {
             put(h + "/dotfiles/claude.json", user);
             QDir().mkpath(h + "/.claude");
             QFile::link("../dotfiles/claude.json", h + "/.claude/settings.json");
         },
         {{".claude/settings.json", StagedFile{user}, StagedFile{wired}}},
         0,
         {{"dotfiles/claude.json", wired}, {".claude/settings.json", wired}},
         {},
         {".claude/settings.json"}},
        {"a file removed only while unchanged",
         [&](const QString& h) { put(h + "/Documents/Cline/Hooks/Stop", user); },
         {{"Documents/Cline/Hooks/Stop", StagedFile{user}, std::nullopt}},
         0,
         {{"Documents/Cline/Hooks/Stop", "<missing>"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir home;
        ASSERT_TRUE(home.isValid());
        row.host(home.path());
        QProcess sh;
        sh.start("/bin/sh", {"-s"});
        sh.write(RemoteScripts::push(home.path(), "20261211-020000", row.changes));
        sh.closeWriteChannel();
        ASSERT_TRUE(sh.waitForFinished(10000));
        EXPECT_EQ(sh.exitCode(), row.exitCode) << sh.readAllStandardError().toStdString();
        for (auto it = row.after.begin(); it != row.after.end(); ++it)
            EXPECT_EQ(read(home.filePath(it.key())), it.value()) << it.key().toStdString();
        for (auto it = row.modes.begin(); it != row.modes.end(); ++it) {
            struct stat status {};
            ASSERT_EQ(::stat(QFile::encodeName(home.filePath(it.key())).constData(), &status), 0);
            EXPECT_EQ(status.st_mode & 0777, it.value()) << it.key().toStdString();
        }
        for (const QString& link : row.links)
            EXPECT_TRUE(QFileInfo(home.filePath(link)).isSymLink()) << link.toStdString();
        // Nothing of the script's own is left behind, whatever it came to.
        EXPECT_EQ(QDir(home.filePath(".nubbo")).entryList({".push*"}, QDir::AllEntries | QDir::Hidden), QStringList());
    }
}
