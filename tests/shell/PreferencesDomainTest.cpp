#include "platform/JsonPreferencesDomain.h"
#include "platform/LoginItem.h"
#include "SettingsFakes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace nubbo {
namespace {

using fakes::readJsonObject;
using fakes::writeFile;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name_, value);
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

class JsonPreferencesDomainTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("Nubbo/preferences.json")); }
    QStringList asideFiles() const {
        return QDir(dir.filePath(QStringLiteral("Nubbo")))
            .entryList({QStringLiteral("preferences.json.corrupt-*")}, QDir::Files);
    }

    QTemporaryDir dir;
    QStringList logged;
    JsonPreferencesDomain::Log log = [this](const QString& line) { logged.append(line); };
};

TEST_F(JsonPreferencesDomainTest, ValuesKeepTheirTypesAcrossAReload) {
    struct Case {
        const char* key;
        QVariant written;
        QMetaType::Type readType;
        QVariant read;
    };
    const std::vector<Case> cases{
        {"bool", true, QMetaType::Bool, true},
        {"int", 10, QMetaType::LongLong, qint64(10)},
        {"big", qint64(1) << 60, QMetaType::LongLong, qint64(1) << 60},
        {"double", 1.5, QMetaType::Double, 1.5},
        // JSON cannot tell 2.0 from 2; both read back as the integer.
        {"integralDouble", 2.0, QMetaType::LongLong, qint64(2)},
        {"string", QStringLiteral("pink"), QMetaType::QString, QStringLiteral("pink")},
        {"emptyString", QString(), QMetaType::QString, QString()},
        {"list", QStringList{QStringLiteral("a"), QStringLiteral("b")}, QMetaType::QStringList,
         QStringList{QStringLiteral("a"), QStringLiteral("b")}},
    };
    {
        JsonPreferencesDomain domain(path(), log);
        for (const Case& c : cases)
            domain.setValue(QString::fromLatin1(c.key), c.written);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.key);
            EXPECT_EQ(domain.value(QString::fromLatin1(c.key)).typeId(), c.readType) << "before reload";
        }
    }
    const JsonPreferencesDomain reloaded(path(), log);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const QVariant value = reloaded.value(QString::fromLatin1(c.key));
        EXPECT_EQ(value.typeId(), c.readType);
        EXPECT_EQ(value, c.read);
    }
    EXPECT_FALSE(reloaded.value(QStringLiteral("absent")).isValid());
    EXPECT_FALSE(reloaded.contains(QStringLiteral("absent")));
    EXPECT_TRUE(logged.isEmpty()) << logged.join(QLatin1Char('\n')).toStdString();
}

TEST_F(JsonPreferencesDomainTest, RefusedValuesLeaveTheStoredOneAndAreLogged) {
    JsonPreferencesDomain domain(path(), log);
    domain.setValue(QStringLiteral("scale"), 1.25);
    domain.setValue(QStringLiteral("scale"), std::nan(""));
    domain.setValue(QStringLiteral("scale"), QVariantMap{{QStringLiteral("a"), 1}});
    EXPECT_EQ(domain.value(QStringLiteral("scale")), QVariant(1.25));
    EXPECT_EQ(readJsonObject(path()).value(QStringLiteral("scale")).toDouble(), 1.25);
    EXPECT_EQ(logged.size(), 2);
}

TEST_F(JsonPreferencesDomainTest, ABatchWritesOnceAtItsEnd) {
    JsonPreferencesDomain domain(path(), log);
    domain.setValue(QStringLiteral("before"), 1);
    {
        PreferencesBatch outer(domain);
        {
            PreferencesBatch inner(domain);
            domain.setValue(QStringLiteral("a"), 2);
        }
        domain.remove(QStringLiteral("before"));
        EXPECT_EQ(domain.value(QStringLiteral("a")), QVariant(qint64(2))) << "memory changes at once";
        const QJsonObject onDisk = readJsonObject(path());
        EXPECT_FALSE(onDisk.contains(QStringLiteral("a")));
        EXPECT_TRUE(onDisk.contains(QStringLiteral("before")));
    }
    const QJsonObject onDisk = readJsonObject(path());
    EXPECT_EQ(onDisk.value(QStringLiteral("a")).toInt(), 2);
    EXPECT_FALSE(onDisk.contains(QStringLiteral("before")));
}

TEST_F(JsonPreferencesDomainTest, AFileThatDoesNotParseIsKeptAsideBeforeStartingFresh) {
    const QByteArray damaged = R"({"settings.alwaysOnTop": false, "settings.theme)";
    for (const QByteArray& content : {damaged, QByteArray("[1, 2]"), QByteArray()}) {
        SCOPED_TRACE(content.toStdString());
        QDir(dir.filePath(QStringLiteral("Nubbo"))).removeRecursively();
        QDir().mkpath(dir.filePath(QStringLiteral("Nubbo")));
        writeFile(path(), content);
        logged.clear();

        JsonPreferencesDomain domain(path(), log);
        EXPECT_FALSE(domain.contains(QStringLiteral("settings.alwaysOnTop")));
        domain.setValue(QStringLiteral("settings.alwaysOnTop"), true);

        const QStringList aside = asideFiles();
        ASSERT_EQ(aside.size(), 1);
        QFile kept(dir.filePath(QStringLiteral("Nubbo/") + aside.first()));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), content);
        EXPECT_TRUE(readJsonObject(path()).value(QStringLiteral("settings.alwaysOnTop")).toBool());
        ASSERT_EQ(logged.size(), 1);
        EXPECT_TRUE(logged.first().contains(aside.first()));
    }
}

TEST_F(JsonPreferencesDomainTest, AnExistingFileThatCannotBeReplacedIsNeverWritten) {
    // A directory where the file should be: it can be neither read nor moved over.
    QDir().mkpath(path());
    QDir().mkpath(path() + QStringLiteral("/inside"));
    JsonPreferencesDomain domain(path(), log);
    EXPECT_FALSE(domain.persists());
    domain.setValue(QStringLiteral("k"), true);
    EXPECT_EQ(domain.value(QStringLiteral("k")), QVariant(true));
    EXPECT_TRUE(QFileInfo(path() + QStringLiteral("/inside")).isDir());
    EXPECT_FALSE(logged.isEmpty());
}

TEST_F(JsonPreferencesDomainTest, AFailedWriteIsLoggedAndRetriedWithTheNextChange) {
    const QString blocker = dir.filePath(QStringLiteral("Nubbo"));
    writeFile(blocker, "not a folder");
    JsonPreferencesDomain domain(path(), log);
    domain.setValue(QStringLiteral("k"), 1);
    EXPECT_EQ(logged.size(), 1);
    EXPECT_EQ(domain.value(QStringLiteral("k")), QVariant(qint64(1)));

    QFile::remove(blocker);
    domain.setValue(QStringLiteral("k"), 1);  // same value, but the file never got it
    EXPECT_EQ(readJsonObject(path()).value(QStringLiteral("k")).toInt(), 1);
}

TEST(PreferencesLocationTest, FollowsXdgConfigHomeWhenAbsolute) {
    const ScopedEnv home("HOME", "/home/someone");
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/cfg");
        EXPECT_EQ(JsonPreferencesDomain::defaultFilePath(), QStringLiteral("/tmp/cfg/Nubbo/preferences.json"));
    }
    for (const QByteArray& ignored : {QByteArray(), QByteArray("relative/cfg")}) {
        const ScopedEnv xdg("XDG_CONFIG_HOME", ignored);
        EXPECT_EQ(JsonPreferencesDomain::defaultFilePath(),
                  QStringLiteral("/home/someone/.config/Nubbo/preferences.json"));
    }
}

class XdgLoginItemTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QStringList logged;
    XdgLoginItem::Log log = [this](const QString& line) { logged.append(line); };
};

TEST_F(XdgLoginItemTest, WritesAndRemovesTheAutostartEntryUnderTheConfigHome) {
    const ScopedEnv home("HOME", dir.filePath(QStringLiteral("home")).toUtf8());
    const ScopedEnv xdg("XDG_CONFIG_HOME", QByteArray());
    // A program that exists where only root can write: the entry names no other.
    XdgLoginItem item(log, QStringLiteral("/bin/true"));
    const QString entry = dir.filePath(QStringLiteral("home/.config/autostart/nubbo.desktop"));
    EXPECT_EQ(item.entryPath(), entry);

    item.set(true);
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(file.readAll());
    file.close();
    EXPECT_TRUE(content.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(content.contains(QStringLiteral("\nType=Application\n")));
    EXPECT_TRUE(content.contains(QStringLiteral("\nExec=\"/bin/true\"\n")));
    EXPECT_TRUE(content.contains(QStringLiteral("\nTryExec=/bin/true\n")));

    item.set(true);  // already registered
    item.set(false);
    EXPECT_FALSE(QFileInfo::exists(entry));
    item.set(false);  // nothing to remove is not a failure
    EXPECT_TRUE(logged.isEmpty()) << logged.join(QLatin1Char('\n')).toStdString();

    const ScopedEnv otherXdg("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("xdg")).toUtf8());
    EXPECT_EQ(item.entryPath(), dir.filePath(QStringLiteral("xdg/autostart/nubbo.desktop")));
}

TEST(XdgDesktopEntryTest, QuotesTheExecutableSoAnyPathStartsTheApp) {
    struct Case {
        const char* path;
        const char* exec;
    };
    const Case cases[] = {
        {"/home/a b/Nubbo", R"("/home/a b/Nubbo")"},
        {"/x/100%/Nubbo", R"("/x/100%%/Nubbo")"},
        {R"(/x/"q"/N)", R"("/x/\\"q\\"/N")"},
        {R"(/x/$HOME`/N)", R"("/x/\\$HOME\\`/N")"},
        {R"(/x/back\slash/N)", R"("/x/back\\\\slash/N")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto entry = XdgLoginItem::desktopEntry(QString::fromUtf8(c.path));
        ASSERT_TRUE(entry.has_value());
        EXPECT_TRUE(entry->contains(QStringLiteral("\nExec=") + QString::fromUtf8(c.exec) + QLatin1Char('\n')))
            << entry->toStdString();
    }
    for (const char* unusable : {"", "relative/Nubbo", "/x/line\nbreak"})
        EXPECT_FALSE(XdgLoginItem::desktopEntry(QString::fromUtf8(unusable)).has_value()) << unusable;
}

TEST_F(XdgLoginItemTest, FailuresAreLoggedWithTheDirection) {
    const QString blocked = dir.filePath(QStringLiteral("autostart"));
    writeFile(blocked, "a file where the folder should be");
    XdgLoginItem cannotCreate(log, QStringLiteral("/usr/bin/Nubbo"), blocked);
    cannotCreate.set(true);
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged.first().startsWith(QStringLiteral("login item set(true) failed: ")));

    logged.clear();
    // An entry that is a non-empty folder cannot be removed.
    XdgLoginItem stuck(log, QStringLiteral("/usr/bin/Nubbo"), dir.filePath(QStringLiteral("stuck")));
    QDir().mkpath(stuck.entryPath() + QStringLiteral("/x"));
    stuck.set(false);
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged.first().startsWith(QStringLiteral("login item set(false) failed: ")));
}

} // namespace
} // namespace nubbo
