#include "shell/LegacyLayoutMove.h"

#include "hooks/BackupRecord.h"
#include "hooks/ConfigFileWriter.h"
#include "hooks/HookInstaller.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace nubbo {
namespace {

const QByteArray kUserClaude = R"({"model": "opus", "hooks": {"Stop": [{"hooks": [{"type": "command", "command": "audit.sh"}]}]}}
)";

class LegacyLayoutMoveTest : public ::testing::Test {
protected:
    QString path(const QString& relative) const { return home->path() + u'/' + relative; }
    QString old() const { return path(QStringLiteral("Library/Application Support/Nubbo")); }
    LegacyLayout layout() const {
        return {old(), path(QStringLiteral(".local/share/Nubbo")), path(QStringLiteral(".local/state/Nubbo")),
                path(QStringLiteral(".config/Nubbo/preferences.json"))};
    }
    void put(const QString& relative, const QByteArray& bytes) const {
        QFile file(path(relative));
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    QByteArray bytes(const QString& file) const { return ConfigFileWriter::read(file).value_or("<missing>"); }
    HookInstaller hooks(const QString& backups) const {
        HookInstallerEnvironment env;
        env.home = home->path();
        env.backupsDirectory = backups;
        env.enabled = [](const QString& id) { return id == QStringLiteral("claude"); };
        env.writeLauncher = [](const QString& file) { return ConfigFileWriter::writeAtomically(file, "#!/bin/sh\n"); };
        env.now = [] { return QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)); };
        env.log = [](const QString&) {};
        return HookInstaller(env);
    }
    bool move(const LegacyLayoutMove::Options& options = {}) {
        return LegacyLayoutMove::run(layout(), [](const QString&) {}, options);
    }
    // Every file under root by its path relative to home, after `rename`; the record is checked on its own.
    QMap<QString, QByteArray> filesUnder(const QString& root, const std::function<QString(QString)>& rename) const {
        QMap<QString, QByteArray> files;
        for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
            const QString file = it.next(), relative = rename(QDir(home->path()).relativeFilePath(file));
            if (!relative.isEmpty() && !relative.endsWith(QStringLiteral("written.json"))) files.insert(relative, bytes(file));
        }
        return files;
    }
    // The preferences, with their paths into the app's pictures under `base`.
    QJsonObject preferences(const QString& base) const {
        return {{"settings.customPetPath", base + QStringLiteral("/CustomPets/custom-1.png")},
                {"settings.activePackPath", base + QStringLiteral("/PetPacks/pack-1")},
                {"settings.language", "zh"},
                {"settings.elsewhere", QJsonArray{"/srv/pets/a.png"}}};
    }
    QByteArray latest(const QString& base) const { return (base + QStringLiteral("/Backups/20260304-050607")).toUtf8(); }

    // A home as an earlier release left it: the hooks installed with their backups, a pack, a custom picture,
    // logs, the stale socket and locks, and preferences and a record that point into the old folder.
    void makeOldHome() {
        home.emplace();
        put(QStringLiteral(".claude/settings.json"), kUserClaude);
        const QString backups = old() + QStringLiteral("/Backups");
        ASSERT_TRUE(hooks(backups).install().ok());
        BackupRecord record = BackupRecord::load(BackupRecord::path(backups));
        record.files[QStringLiteral("claude-settings.json")].backup = QString::fromUtf8(latest(old()));
        ASSERT_TRUE(record.save(BackupRecord::path(backups)).isEmpty());
        const QString support = QStringLiteral("Library/Application Support/Nubbo/");
        put(support + QStringLiteral("Backups/latest.txt"), latest(old()));
        put(support + QStringLiteral("PetPacks/pack-1/idle.png"), QByteArray("\x89PNG\0fox", 8));
        put(support + QStringLiteral("CustomPets/custom-1.png"), QByteArray("\x89PNG\0cat", 8));
        put(support + QStringLiteral("Logs/nubbo.log"), "1 nubbo starting\n");
        put(support + QStringLiteral("Logs/agent.log"), "1 claude Stop\n");
        put(support + QStringLiteral("nubbo.sock"), "");
        put(support + QStringLiteral("app.lock"), ":1.42");
        put(QStringLiteral(".config/Nubbo/preferences.json"), QJsonDocument(preferences(old())).toJson());
        // The app makes its new folders before the move.
        ASSERT_TRUE(QDir().mkpath(layout().dataFolder) && QDir().mkpath(layout().logsFolder));
    }

    // Where each of the old home's files must end up, with its bytes.
    QMap<QString, QByteArray> expectedFiles() const {
        QMap<QString, QByteArray> files = filesUnder(old(), [](QString relative) {
            relative.remove(0, QStringLiteral("Library/Application Support/Nubbo/").size());
            if (relative == QStringLiteral("nubbo.sock") || relative.endsWith(QStringLiteral(".lock"))) return QString();
            return relative.startsWith(QStringLiteral("Logs/")) ? QStringLiteral(".local/state/Nubbo") + relative.mid(4)
                                                                : QStringLiteral(".local/share/Nubbo/") + relative;
        });
        files[QStringLiteral(".local/share/Nubbo/Backups/latest.txt")] = latest(layout().dataFolder);
        return files;
    }

    // emptyParentsMayStay: a stop after the old folder went but before its empty parents did; a later run
    // sees no old folder and looks no further.
    void expectMoved(const QMap<QString, QByteArray>& expected, bool emptyParentsMayStay = false) const {
        const QMap<QString, QByteArray> files = filesUnder(path(QStringLiteral(".local")), [](QString relative) { return relative; });
        EXPECT_TRUE(files == expected) << "every file at its new place with its bytes: "
                                       << files.keys().join(u' ').toStdString();
        const QString backups = layout().dataFolder + QStringLiteral("/Backups");
        EXPECT_EQ(BackupRecord::load(BackupRecord::path(backups)).files.value(QStringLiteral("claude-settings.json")).backup,
                  QString::fromUtf8(latest(layout().dataFolder)));
        EXPECT_EQ(QJsonDocument::fromJson(bytes(layout().preferencesFile)).object(), preferences(layout().dataFolder));
        EXPECT_EQ(ConfigFileWriter::mode(layout().preferencesFile), 0600u);
        EXPECT_FALSE(QFileInfo::exists(old()));
        if (emptyParentsMayStay)
            EXPECT_FALSE(QDirIterator(path(QStringLiteral("Library")), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories).hasNext());
        else
            EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("Library")))) << "the old folder's empty parents go";
        // The moved backups still give the agent's file back as it was.
        const HookInstallResult result = hooks(backups).uninstall();
        EXPECT_TRUE(result.ok()) << result.message().toStdString();
        EXPECT_EQ(bytes(path(QStringLiteral(".claude/settings.json"))), kUserClaude);
    }

    std::optional<QTemporaryDir> home;
};

TEST_F(LegacyLayoutMoveTest, AMoveStoppedAfterAnyChangeIsFinishedByTheNextRun) {
    makeOldHome();
    // An earlier release still running keeps its files where it reads them.
    const int held = ::open(QFile::encodeName(old() + QStringLiteral("/app.lock")).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_FALSE(move());
    ::close(held);
    EXPECT_TRUE(QFileInfo::exists(old() + QStringLiteral("/Backups/latest.txt")));

    for (const bool copyAlways : {false, true}) {
        makeOldHome();
        int changes = 0;
        ASSERT_TRUE(move({[&changes] { return ++changes > 0; }, copyAlways}));
        // k == changes: the first run finishes and the second finds nothing to do.
        for (int k = 0; k <= changes; ++k) {
            SCOPED_TRACE(testing::Message() << (copyAlways ? "copying" : "renaming") << ", stopped after " << k);
            makeOldHome();
            const QMap<QString, QByteArray> expected = expectedFiles();
            int left = k;
            EXPECT_EQ(move({[&left] { return left-- > 0; }, copyAlways}), k == changes);
            const bool oldFolderGone = !QFileInfo::exists(old());
            EXPECT_TRUE(move({{}, copyAlways}));
            expectMoved(expected, oldFolderGone && k < changes);
        }
    }
}

} // namespace
} // namespace nubbo
