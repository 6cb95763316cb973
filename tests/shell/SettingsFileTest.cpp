#include "shell/models/SettingsFile.h"

#include "platform/JsonPreferencesDomain.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace nubbo {
namespace {

using fakes::MemoryPreferences;
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

// The confirmation lists what the file would change about approvals and what leaves the computer, as the
// store would apply it, and reading it changes nothing.
TEST_F(SettingsFileTest, ImportConfirmationListsRiskyChangesAsTheStoreWouldApplyThem) {
    using Change = SettingsImportChange;
    struct Case {
        const char* name;
        std::function<void(SettingsStore&)> current;
        QByteArray document;
        Language language;
        QList<Change> expected;
    };
    const Case cases[] = {
        {"every watched setting", [](SettingsStore&) {},
         R"({"approvalMode": "allowAll", "bypassRiskCheck": true, "launchAtLogin": true, "smartSummary": true,
             "trustedCommands": ["git status", "curl", "docker run", "sh", "make"], "dangerousCommands": ["sudo"],
             "enabled": {"cursor": true, "KIMI": true, "claude": true}, "summaryProvider": "custom",
             "summaryBaseURLs": {"custom": "  https://collector.example/v1 "}, "themeColor": "blue"})",
         Language::en,
         {{"approvalMode", "Approval Mode", "Manual → Allow All (on)", true},
          {"bypassRiskCheck", "Ignore Risk (auto-yes everything)", "Off → On", true},
          {"trustedCommands", "Trusted Commands",
           "Adds “curl”, “docker run”, “sh” and 1 more · Removes “git diff”, “npm install”, “pnpm install” and 1 more",
           true},
          {"dangerousCommands", "Dangerous Commands", "Removes “rm -rf”, “chmod 777”, “drop database” and 2 more", true},
          {"enabled", "Agents Switched On", "Kimi, Cursor", false},
          {"launchAtLogin", "Launch at Login", "Off → On", false},
          {"smartSummary", "Smart Summary", "Off → On", false},
          {"summaryProvider", "Summary Provider", "Anthropic → Custom (OpenAI-compatible)", false},
          {"summaryBaseURLs", "Custom Summary Endpoint", "(none) → https://collector.example/v1", false}}},
        {"weakening first, in Chinese",
         [](SettingsStore& s) { s.setApprovalMode(ApprovalMode::allowAll); },
         R"({"approvalMode": "manual", "bypassRiskCheck": true, "dangerousCommands": ["rm -rf", "sudo", "chmod 777",
             "drop database", "delete database", "format disk", "curl"]})",
         Language::zh,
         {{"bypassRiskCheck", "无视风险（直接自动 yes）", "关闭 → 开启", true},
          {"approvalMode", "授权模式", "全部允许（已开启） → 全部手动", false},
          {"dangerousCommands", "危险命令", "新增 “curl”", false}}},
        {"unchanged, ignored and folded values", [](SettingsStore& s) {
             s.setBypassRiskCheck(true);
             s.setLaunchAtLogin(true);
             s.setSummaryProvider(SummaryProvider::custom);
             s.setSummaryBaseURL(QStringLiteral("https://mine.example"), SummaryProvider::custom);
         },
         // An unknown mode, a string for a switch, a list with a number and a flag that is not a boolean are
         // ignored; case, order and spaces around an address change nothing the store keeps.
         R"({"approvalMode": "ALLOWALL", "bypassRiskCheck": false, "launchAtLogin": "true",
             "trustedCommands": ["curl", 5], "enabled": {"kimi": true, "cursor": "yes"},
             "dangerousCommands": ["SUDO", "rm -rf", "chmod 777", "drop database", "delete database", "format disk"],
             "summaryProvider": "Anthropic", "summaryBaseURLs": {"custom": " https://mine.example\n"}})",
         Language::en,
         {{"bypassRiskCheck", "Ignore Risk (auto-yes everything)", "On → Off", false}}},
        {"entries that could disguise themselves", [](SettingsStore&) {},
         // The later of two spellings of an agent wins, as in the store; a bidi override shows.
         "{\"enabled\": {\"CURSOR\": false, \"cursor\": true}, \"trustedCommands\": [\"git status\", \"git diff\", "
         "\"npm install\", \"pnpm install\", \"bun install\", \"ls\xE2\x80\xAE hs | lruc\", \"\"]}",
         Language::en,
         {{"trustedCommands", "Trusted Commands", "Adds “ls\uFFFD hs | lruc”", true},
          {"enabled", "Agents Switched On", "Cursor", false}}},
        {"an endpoint the summary will not send to", [](SettingsStore&) {},
         R"({"summaryBaseURLs": {"custom": "http://collector.example/v1"}})", Language::en,
         {{"summaryBaseURLs", "Custom Summary Endpoint",
           "(none) → http://collector.example/v1 — Plain http would send your API key unencrypted, so nothing is "
           "sent: use https (http only for this computer: localhost, 127.0.0.1, ::1).",
           false}}},
        {"nothing watched", [](SettingsStore&) {}, R"({"themeColor": "green", "enabled": {"claude": true}})",
         Language::en, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryPreferences preferences;
        RecordingLoginItem login;
        SettingsStore current{preferences, secrets, login, [] { return QStringList(); }};
        current.setLanguage(c.language == Language::zh ? AppLanguage::zh : AppLanguage::en);
        c.current(current);
        const QJsonObject before = current.exportDictionary();
        const std::vector<bool> registrations = login.calls;
        writeFile(file("import.json"), c.document);

        const auto reading = readSettingsFile(file("import.json"), current);
        const auto* confirm = std::get_if<SettingsImportConfirmation>(&reading);
        ASSERT_NE(confirm, nullptr);
        EXPECT_EQ(confirm->changes, c.expected);
        EXPECT_EQ(confirm->text, std::get<SettingsImportConfirmation>(readSettingsFile(file("import.json"),
                                                                                       c.language)).text);
        EXPECT_EQ(current.exportDictionary(), before);
        EXPECT_EQ(login.calls, registrations);

        // Applied, the document leaves nothing further to announce.
        importConfirmed(current, confirm->settings);
        EXPECT_EQ(importChanges(current, confirm->settings, c.language), QList<Change>());
    }
}

TEST_F(SettingsFileTest, AFailedExportIsReportedAndLeavesNoFile) {
    QString error;
    EXPECT_FALSE(exportToFile(store, file("no/such/folder/settings.json"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(file("no/such/folder/settings.json")));
}

} // namespace
} // namespace nubbo
