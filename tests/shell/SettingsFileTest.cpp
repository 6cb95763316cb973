#include "SettingsFile.h"

#include "JsonPreferencesDomain.h"
#include "SettingsFakes.h"
#include "SettingsStore.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nubbo {
namespace {

using fakes::MemorySecretStore;
using fakes::RecordingLoginItem;
using fakes::writeFile;

class SettingsFileTest : public ::testing::Test {
protected:
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    JsonPreferencesDomain domain{dir.filePath(QStringLiteral("prefs/preferences.json"))};
    MemorySecretStore secrets;
    RecordingLoginItem loginItem;
    SettingsStore store{domain, secrets, loginItem, [] { return QStringList(); }};
};

TEST_F(SettingsFileTest, ExportWritesSortedPrettyJsonThatReadsBackForImport) {
    store.setThemeColor(QStringLiteral("green"));
    const QString path = file(settingsExportFileName);
    QString error;
    ASSERT_TRUE(exportToFile(store, path, &error)) << error.toStdString();

    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray content = written.readAll();
    EXPECT_TRUE(content.startsWith("{\n    \"alwaysOnTop\": true,\n    \"animationSpeed\": 1,\n"));

    const auto reading = readSettingsFile(path, Language::en);
    const auto* confirm = std::get_if<SettingsImportConfirmation>(&reading);
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(confirm->settings, store.exportDictionary());
    EXPECT_EQ(confirm->title, QStringLiteral("Import settings?"));
    EXPECT_EQ(confirm->text, QStringLiteral("This overwrites your current settings with the values in this file. "
                                            "API keys are not affected."));
    EXPECT_EQ(confirm->importButton, QStringLiteral("Import"));
    EXPECT_EQ(confirm->cancelButton, QStringLiteral("Cancel"));

    store.setThemeColor(QStringLiteral("blue"));
    importConfirmed(store, confirm->settings);
    EXPECT_EQ(store.themeColor(), QStringLiteral("green"));
}

TEST_F(SettingsFileTest, AnythingButAJsonObjectGivesTheAlert) {
    writeFile(file("array.json"), R"([{"themeColor": "blue"}])");
    writeFile(file("text.json"), "themeColor=blue");
    writeFile(file("empty.json"), "");
    writeFile(file("huge.json"), "{\"themeColor\": \"" + QByteArray(2 * 1024 * 1024, 'a') + "\"}");
    QDir().mkpath(file("folder.json"));
    for (const char* name : {"array.json", "text.json", "empty.json", "huge.json", "folder.json", "missing.json"}) {
        SCOPED_TRACE(name);
        const auto english = readSettingsFile(file(name), Language::en);
        const auto* alert = std::get_if<SettingsFileAlert>(&english);
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->title, QStringLiteral("Could not read settings file"));
        EXPECT_EQ(alert->text, QStringLiteral("The file is not a valid Nubbo settings JSON."));
    }
    const auto chinese = readSettingsFile(file("array.json"), Language::zh);
    const auto* alert = std::get_if<SettingsFileAlert>(&chinese);
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->title, QStringLiteral("无法读取设置文件"));
    EXPECT_EQ(alert->text, QStringLiteral("该文件不是有效的 Nubbo 设置 JSON。"));
}

TEST_F(SettingsFileTest, AFailedExportIsReportedAndLeavesNoFile) {
    QString error;
    EXPECT_FALSE(exportToFile(store, file("no/such/folder/settings.json"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(file("no/such/folder/settings.json")));
}

} // namespace
} // namespace nubbo
