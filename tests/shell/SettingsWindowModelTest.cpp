// The settings and onboarding windows' words and flows, through their view models, with a real installer in
// a temporary home: no window and no dialog is needed.
#include "hooks/AgentStatuses.h"
#include "hooks/ConfigFileWriter.h"
#include "hooks/ConfigFolderMover.h"
#include "hooks/HookInstaller.h"
#include "shell/models/OnboardingModel.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"
#include "shell/models/SettingsTexts.h"
#include "shell/models/SettingsWindowModel.h"

#include <QDir>
#include <QDirIterator>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>

namespace nubbo {
namespace {

using fakes::MemoryPreferences;
using fakes::MemorySecretStore;
using fakes::RecordingLoginItem;

QString str(const QVariant& value) { return value.toString(); }

class SettingsWindowModelTest : public ::testing::Test {
protected:
    SettingsWindowModelTest() {
        services.detectAgents = [this] { ++detections; };
        services.resetPetPosition = [this] { calls << QStringLiteral("reset position:") + settings.themeColor(); };
        services.openUrl = [this](const QUrl& url) { opened << url; };
        services.petFolder = [] { return QStringLiteral("/pets"); };
        services.applicationSupport = QStringLiteral("/support");
        services.socketPath = QStringLiteral("/support/nubbo.sock");
    }

    HookInstallerEnvironment environment() {
        HookInstallerEnvironment env;
        env.home = home.path();
        env.backupsDirectory = home.filePath(QStringLiteral("Backups"));
        env.enabled = [this](const QString& id) { return settings.enabled(id); };
        env.configFolder = [this](const QString& id) { return settings.configFolder(id); };
        env.writeLauncher = [this](const QString& launcher) {
            return launcherError.isEmpty() ? ConfigFileWriter::writeAtomically(launcher, "#!/bin/sh\nexit 0\n", 0755)
                                           : launcherError;
        };
        env.writeOpenCodePlugin = [](const QString& plugin) {
            return ConfigFileWriter::writeAtomically(plugin, "// nubbo-bridge-marker\n");
        };
        env.openCodePluginText = [] { return QByteArrayLiteral("// nubbo-bridge-marker\n"); };
        env.log = [](const QString&) {};
        return env;
    }

    // Every file under the home folder with its bytes.
    std::map<QString, QByteArray> files() const {
        std::map<QString, QByteArray> all;
        QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            all[path] = ConfigFileWriter::read(path).value_or(QByteArray());
        }
        return all;
    }

    // Only Claude and Cursor (which is not enabled by default) are switched on.
    void enableClaudeAndCursor() {
        for (const char* id : {"codex", "gemini", "opencode"})
            settings.setEnabled(QString::fromLatin1(id), false);
        settings.setEnabled(QStringLiteral("cursor"), true);
    }

    QTemporaryDir home;
    MemoryPreferences preferences;
    MemorySecretStore secrets;
    RecordingLoginItem loginItem;
    QStringList languages{QStringLiteral("en-US")};
    SettingsStore settings{preferences, secrets, loginItem, [this] { return languages; }};
    QString launcherError;
    HookInstaller installer{environment()};
    AgentStatuses statuses;
    SettingsWindowServices services;
    int detections = 0;
    QStringList calls;
    QList<QUrl> opened;
};

TEST(SettingsTextsTest, NineCategoriesAndEveryTextInBothLanguages) {
    const QStringList ids{"general", "appearance", "design", "behavior", "agent", "approval", "notifications",
                          "advanced", "about"};
    const QList<SettingsCategory> en = SettingsTexts::categories(Language::en);
    const QList<SettingsCategory> zh = SettingsTexts::categories(Language::zh);
    ASSERT_EQ(en.size(), 9);
    ASSERT_EQ(zh.size(), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(en[i].id, ids[i]);
        EXPECT_EQ(zh[i].id, ids[i]);
        EXPECT_EQ(zh[i].symbol, en[i].symbol);
        EXPECT_NE(zh[i].title, en[i].title);
        EXPECT_NE(zh[i].blurb, en[i].blurb);
    }
    EXPECT_EQ(en[4].title, QStringLiteral("Agent Integration"));
    EXPECT_EQ(zh[4].title, QStringLiteral("Agent 接入"));
    EXPECT_EQ(zh[8].blurb, QStringLiteral("Nubbo 的构建信息。"));

    // Every key reads in both languages; only names and terms the two languages share stay the same.
    const QStringList shared{"appName", "socketPrefix", "apiKey", "baseURL", "applicationSupport"};
    for (const QString& key : SettingsTexts::keys()) {
        SCOPED_TRACE(key.toStdString());
        EXPECT_FALSE(SettingsTexts::text(key, Language::en).isEmpty());
        EXPECT_EQ(SettingsTexts::text(key, Language::zh) == SettingsTexts::text(key, Language::en),
                  shared.contains(key));
    }
    EXPECT_EQ(SettingsTexts::text(QStringLiteral("no.such.key"), Language::zh), QStringLiteral("no.such.key"));
    EXPECT_EQ(SettingsTexts::versionLine(Language::en), QStringLiteral("Version " NUBBO_VERSION));
    EXPECT_EQ(SettingsTexts::versionLine(Language::zh), QStringLiteral("版本 " NUBBO_VERSION));
}

TEST(SettingsTextsTest, TheFolderTextsNameTheFoldersInUseWithTheHomeAsATilde) {
    const struct {
        QString data, logs, home, shownData, shownLogs;
    } cases[] = {
        {"/h/.local/share/Nubbo", "/h/.local/state/Nubbo", "/h", "~/.local/share/Nubbo", "~/.local/state/Nubbo"},
        {"/srv/xdg/Nubbo", "/h/st/Nubbo", "/h", "/srv/xdg/Nubbo", "~/st/Nubbo"},
        {"/home/ab/Nubbo", "/home/a/Nubbo", "/home/a", "/home/ab/Nubbo", "~/Nubbo"},
        {"/d/Nubbo", "/s/Nubbo", "/", "/d/Nubbo", "/s/Nubbo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data.toStdString());
        const ShownFolders folders = ShownFolders::of(c.data, c.logs, c.home);
        for (const Language language : {Language::en, Language::zh}) {
            const QVariantMap table = SettingsTexts::table(language, folders);
            EXPECT_EQ(str(table["applicationSupport"]), c.shownData);
            EXPECT_TRUE(str(table["applicationSupportHelp"]).contains(c.shownLogs));
            for (const auto wording : {SettingsTexts::InstallWording::settings, SettingsTexts::InstallWording::onboarding})
                EXPECT_TRUE(SettingsTexts::installPromptText({}, wording, language, folders).contains(c.shownData + "/Backups"));
            for (auto it = table.cbegin(); it != table.cend(); ++it)
                EXPECT_FALSE(str(it.value()).contains(QRegularExpression(QStringLiteral("\\{(data|logs|backups)\\}"))))
                    << it.key().toStdString();
        }
    }
}

TEST_F(SettingsWindowModelTest, TextsFollowTheLanguageAtOnce) {
    SettingsWindowModel model(settings, installer, statuses, secrets, services);
    QSignalSpy changed(&model, &SettingsWindowModel::languageChanged);
    EXPECT_EQ(str(model.texts()["settingsWindowTitle"]), QStringLiteral("Nubbo Settings"));
    EXPECT_EQ(str(model.texts()["removeBridge"]), QStringLiteral("Remove Bridge"));
    EXPECT_EQ(str(model.texts()["applicationSupport"]), QStringLiteral("/support"));

    settings.setLanguageRaw(QStringLiteral("zh"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(str(model.texts()["settingsWindowTitle"]), QStringLiteral("Nubbo 设置"));
    EXPECT_EQ(str(model.texts()["removeBridge"]), QStringLiteral("移除桥接"));
    EXPECT_EQ(str(model.categories().first().toMap()["title"]), QStringLiteral("通用"));
    EXPECT_EQ(model.categories().size(), 9);
    EXPECT_EQ(str(model.options()["statusTitles"].toMap()["running"]), QStringLiteral("运行中"));
    EXPECT_EQ(str(model.options()["approvalMode"].toList()[2].toMap()["title"]), QStringLiteral("尽量自动"));

    // Following the system: Chinese on a Chinese desktop, English elsewhere.
    languages = {QStringLiteral("zh-CN")};
    settings.setLanguageRaw(QStringLiteral("system"));
    EXPECT_EQ(str(model.texts()["getStarted"]), QStringLiteral("开始使用"));
    languages = {QStringLiteral("en-GB")};
    settings.setLanguageRaw(QStringLiteral("en"));
    settings.setLanguageRaw(QStringLiteral("system"));
    EXPECT_EQ(str(model.texts()["getStarted"]), QStringLiteral("Get Started"));
}

TEST_F(SettingsWindowModelTest, TheInstallAlertListsTheEnabledAgentsAndOnlyItsFirstButtonChangesFiles) {
    enableClaudeAndCursor();
    SettingsWindowModel model(settings, installer, statuses, secrets, services);
    const auto before = files();

    const QVariantMap prompt = model.installPrompt();
    EXPECT_EQ(str(prompt["title"]), QStringLiteral("Install Nubbo hook bridge?"));
    EXPECT_EQ(str(prompt["confirm"]), QStringLiteral("Install"));
    EXPECT_EQ(str(prompt["cancel"]), QStringLiteral("Cancel"));
    const QString text = str(prompt["text"]);
    EXPECT_TRUE(text.startsWith(QStringLiteral("This backs up, then modifies your agent configs:\n"
                                               "  • ~/.claude/settings.json\n"
                                               "  • ~/.cursor/hooks.json\n\n"
                                               "Existing Vibe Island hook entries are replaced")))
        << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("  • ~/")), 2);
    EXPECT_TRUE(text.contains(home.filePath(QStringLiteral("Backups")))) << "names the installer's backups";
    // Cancel: the alert is all that happened.
    EXPECT_EQ(files(), before);
    EXPECT_FALSE(model.bridgeInstalled());

    QSignalSpy bridge(&model, &SettingsWindowModel::bridgeChanged);
    EXPECT_EQ(model.install(), (QVariantMap{{QStringLiteral("ok"), true}}));
    EXPECT_TRUE(model.bridgeInstalled());
    EXPECT_EQ(bridge.count(), 1);
    EXPECT_EQ(detections, 1);
    EXPECT_GT(ConfigFileWriter::read(home.filePath(QStringLiteral(".cursor/hooks.json")))->count("nubbo-bridge"), 0);
    EXPECT_FALSE(QFile::exists(home.filePath(QStringLiteral(".gemini/settings.json"))));

    // Switching on an agent that is not wired yet: the bridge is missing again until the next install.
    settings.setEnabled(QStringLiteral("gemini"), true);
    EXPECT_FALSE(model.bridgeInstalled());
    settings.setEnabled(QStringLiteral("gemini"), false);

    const QVariantMap remove = model.removePrompt();
    EXPECT_EQ(str(remove["title"]), QStringLiteral("Remove Nubbo hook bridge?"));
    EXPECT_EQ(str(remove["confirm"]), QStringLiteral("Remove"));
    EXPECT_EQ(model.remove(), (QVariantMap{{QStringLiteral("ok"), true}}));
    EXPECT_FALSE(model.bridgeInstalled());
    EXPECT_EQ(detections, 2);
    EXPECT_EQ(ConfigFileWriter::read(home.filePath(QStringLiteral(".cursor/hooks.json"))).value_or("").count("nubbo-bridge"),
              0);

    // A file that does not parse: the warning names its agent, and the other agent is wired.
    ASSERT_TRUE(ConfigFileWriter::writeAtomically(home.filePath(QStringLiteral(".claude/settings.json")), "{").isEmpty());
    const QVariantMap failed = model.install();
    EXPECT_EQ(str(failed["title"]), QStringLiteral("Could not install hook bridge"));
    EXPECT_EQ(str(failed["text"]), "Claude: " + home.filePath(QStringLiteral(".claude/settings.json")) +
                                       " is not valid JSON; it was left unchanged");
    EXPECT_GT(ConfigFileWriter::read(home.filePath(QStringLiteral(".cursor/hooks.json")))->count("nubbo-bridge"), 0);
}

TEST_F(SettingsWindowModelTest, OnboardingOffersTheAgentsEnabledByDefaultAndListsEveryFileItsInstallChanges) {
    enableClaudeAndCursor();
    settings.setLanguageRaw(QStringLiteral("zh"));
    OnboardingModel model(settings, installer, statuses, [this] { ++detections; }, QString());
    QStringList ids;
    for (const QVariant& agent : model.agents())
        ids << str(agent.toMap()["id"]);
    EXPECT_EQ(ids, (QStringList{"claude", "codex", "gemini", "opencode"}));

    const QString text = str(model.installPrompt()["text"]);
    // Cursor has no row here, but the install wires it as an enabled agent: its file is listed too.
    EXPECT_TRUE(text.startsWith(QStringLiteral("将先备份、再修改已启用 agent 的配置：\n  • ~/.claude/settings.json\n"
                                               "  • ~/.cursor/hooks.json\n\n带时间戳的备份")))
        << text.toStdString();
    EXPECT_EQ(str(model.installPrompt()["title"]), QStringLiteral("安装 Nubbo hook 桥接？"));

    QSignalSpy bridge(&model, &OnboardingModel::bridgeChanged);
    EXPECT_TRUE(model.install()["ok"].toBool());
    EXPECT_TRUE(model.bridgeInstalled());
    EXPECT_EQ(bridge.count(), 1);
    EXPECT_EQ(detections, 1);
    model.runDetection();
    EXPECT_EQ(detections, 2);

    QSignalSpy completed(&model, &OnboardingModel::completed);
    model.complete();
    EXPECT_EQ(completed.count(), 1);
}

TEST_F(SettingsWindowModelTest, AFailedInstallAnswersWithTheWarning) {
    launcherError = QStringLiteral("/home/x/.nubbo/bin: Permission denied");
    settings.setLanguageRaw(QStringLiteral("zh"));
    SettingsWindowModel model(settings, installer, statuses, secrets, services);
    const QVariantMap result = model.install();
    EXPECT_FALSE(result["ok"].toBool());
    EXPECT_TRUE(result["warning"].toBool());
    EXPECT_EQ(str(result["title"]), QStringLiteral("无法安装 hook 桥接"));
    EXPECT_TRUE(str(result["text"]).contains(launcherError));
    EXPECT_FALSE(model.bridgeInstalled());
}

TEST_F(SettingsWindowModelTest, MaintenanceFlows) {
    SettingsWindowModel model(settings, installer, statuses, secrets, services);

    // Export, then import only after the confirmation.
    settings.setThemeColor(QStringLiteral("green"));
    const QUrl exported = QUrl::fromLocalFile(home.filePath(QStringLiteral("nubbo-settings.json")));
    ASSERT_TRUE(model.exportSettings(exported));
    EXPECT_FALSE(model.exportSettings(QUrl::fromLocalFile(home.filePath(QStringLiteral("missing/dir/x.json")))));
    settings.setThemeColor(QStringLiteral("purple"));
    model.confirmImport();  // nothing was read: nothing to apply
    EXPECT_EQ(settings.themeColor(), QStringLiteral("purple"));
    const QVariantMap confirmation = model.readImport(exported);
    EXPECT_TRUE(confirmation["ok"].toBool());
    EXPECT_EQ(str(confirmation["title"]), QStringLiteral("Import settings?"));
    EXPECT_EQ(str(confirmation["confirm"]), QStringLiteral("Import"));
    EXPECT_FALSE(confirmation.contains(QStringLiteral("changes")));
    EXPECT_FALSE(confirmation["warning"].toBool());
    EXPECT_EQ(settings.themeColor(), QStringLiteral("purple"));
    model.confirmImport();
    EXPECT_EQ(settings.themeColor(), QStringLiteral("green"));

    // A file that switches approvals off says so, and the risky step is marked as one.
    const QUrl risky = QUrl::fromLocalFile(home.filePath(QStringLiteral("risky.json")));
    fakes::writeFile(risky.toLocalFile(), R"({"bypassRiskCheck": true, "launchAtLogin": true})");
    const QVariantMap warned = model.readImport(risky);
    EXPECT_TRUE(warned["warning"].toBool());
    EXPECT_TRUE(warned["destructive"].toBool());
    EXPECT_FALSE(str(warned["changesHeading"]).isEmpty());
    const QVariantList changes = warned["changes"].toList();
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes[0].toMap(), (QVariantMap{{"key", "bypassRiskCheck"},
                                               {"label", "Ignore Risk (auto-yes everything)"},
                                               {"change", "Off → On"},
                                               {"weakens", true}}));
    EXPECT_EQ(str(changes[1].toMap()["key"]), QStringLiteral("launchAtLogin"));
    EXPECT_FALSE(settings.bypassRiskCheck());
    model.confirmImport();
    EXPECT_TRUE(settings.bypassRiskCheck());
    EXPECT_TRUE(settings.launchAtLogin());

    fakes::writeFile(home.filePath(QStringLiteral("list.json")), "[1, 2]");
    const QVariantMap refused = model.readImport(QUrl::fromLocalFile(home.filePath(QStringLiteral("list.json"))));
    EXPECT_FALSE(refused["ok"].toBool());
    EXPECT_EQ(str(refused["title"]), QStringLiteral("Could not read settings file"));
    model.confirmImport();  // the refused file left nothing to apply
    EXPECT_EQ(settings.themeColor(), QStringLiteral("green"));

    // Reset, and only then the pet's position.
    model.resetAll();
    EXPECT_EQ(calls, QStringList{QStringLiteral("reset position:pink")});

    model.openApplicationSupport();
    model.openPetFolder();
    EXPECT_EQ(opened, (QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/support")),
                                   QUrl::fromLocalFile(QStringLiteral("/pets"))}));
    EXPECT_EQ(model.socketLine(), QStringLiteral("Socket: /support/nubbo.sock"));

    // The command editors: one entry per line, blank lines and outer spaces dropped.
    model.setCommandsText(QStringLiteral("trusted"), QStringLiteral("  git status \n\n npm test\n"));
    EXPECT_EQ(settings.trustedCommands(), (QStringList{"git status", "npm test"}));
    EXPECT_TRUE(model.commandsMatch(QStringLiteral("trusted"), QStringLiteral("git status\nnpm test\n")));
    EXPECT_FALSE(model.commandsMatch(QStringLiteral("dangerous"), QStringLiteral("git status")));
    EXPECT_EQ(model.commandsText(QStringLiteral("dangerous")), SettingsStore::defaultDangerousCommands().join('\n'));

    // API keys go to the keychain under the provider's own key.
    model.setApiKey(QStringLiteral("deepseek"), QStringLiteral(" sk-1 \n"));
    EXPECT_EQ(secrets.items.value(QStringLiteral("apiKey.deepseek")), QStringLiteral("sk-1"));
    EXPECT_EQ(model.apiKey(QStringLiteral("deepseek")), QStringLiteral("sk-1"));
    EXPECT_EQ(model.apiKey(QStringLiteral("openai")), QString());
}

TEST_F(SettingsWindowModelTest, RequestPermissionSaysWhatTheNotificationServiceAnswered) {
    std::optional<QString> server = QStringLiteral("dunst 1.9.0");
    services.checkNotificationService = [&](std::function<void(std::optional<QString>)> answered) { answered(server); };
    SettingsWindowModel model(settings, installer, statuses, secrets, services);
    QSignalSpy finished(&model, &SettingsWindowModel::notificationCheckFinished);

    model.requestNotificationPermission();
    ASSERT_EQ(finished.count(), 1);
    QVariantMap alert = finished.takeFirst().first().toMap();
    EXPECT_EQ(str(alert["title"]), QStringLiteral("Notifications are on"));
    EXPECT_TRUE(str(alert["text"]).contains(QStringLiteral("(dunst 1.9.0)")));
    EXPECT_FALSE(alert["warning"].toBool());

    server.reset();
    model.requestNotificationPermission();
    ASSERT_EQ(finished.count(), 1);
    alert = finished.takeFirst().first().toMap();
    EXPECT_EQ(str(alert["title"]), QStringLiteral("No notification service"));
    EXPECT_TRUE(alert["warning"].toBool());
}

TEST_F(SettingsWindowModelTest, AFolderOnOfferIsTakenAndAFailedMoveAnswersWithTheWarning) {
    enableClaudeAndCursor();
    ConfigFolderMover mover(settings, installer, statuses);
    SettingsWindowModel model(settings, installer, statuses, secrets, services);
    ASSERT_TRUE(model.install()["ok"].toBool());
    const auto claude = [&model] { return model.folders()[QStringLiteral("claude")].toMap(); };
    EXPECT_EQ(str(claude()["folder"]), QStringLiteral("~/.claude"));
    EXPECT_FALSE(claude()["custom"].toBool());
    EXPECT_FALSE(model.folders().contains(QStringLiteral("cursor"))) << "no variable of Cursor's moves its hooks";

    QSignalSpy changed(&model, &SettingsWindowModel::foldersChanged);
    statuses.setOfferedFolder(QStringLiteral("claude"), home.filePath(QStringLiteral("work/claude-alt")));
    EXPECT_FALSE(changed.isEmpty());
    EXPECT_EQ(str(claude()["offerLine"]), QStringLiteral("Claude is running with CLAUDE_CONFIG_DIR=~/work/claude-alt"));
    ASSERT_TRUE(model.takeOfferedFolder(QStringLiteral("claude"))["ok"].toBool());
    EXPECT_EQ(str(claude()["folder"]), QStringLiteral("~/work/claude-alt"));
    EXPECT_TRUE(claude()["custom"].toBool());
    EXPECT_TRUE(files()[home.filePath(QStringLiteral("work/claude-alt/settings.json"))].contains("nubbo-bridge"));
    EXPECT_FALSE(files()[home.filePath(QStringLiteral(".claude/settings.json"))].contains("nubbo-bridge"));
    EXPECT_TRUE(model.bridgeInstalled());
    EXPECT_TRUE(str(model.installPrompt()["text"]).contains(QStringLiteral("• ~/work/claude-alt/settings.json")));

    // A folder whose settings do not parse: the hooks cannot go there, and the window says which file.
    ASSERT_TRUE(ConfigFileWriter::writeAtomically(home.filePath(QStringLiteral("broken/settings.json")), "{").isEmpty());
    const QVariantMap failed =
        model.chooseConfigFolder(QStringLiteral("claude"), QUrl::fromLocalFile(home.filePath(QStringLiteral("broken"))));
    EXPECT_FALSE(failed["ok"].toBool());
    EXPECT_EQ(str(failed["title"]), QStringLiteral("Could not move Claude's hooks"));
    EXPECT_TRUE(str(failed["text"]).contains(home.filePath(QStringLiteral("broken/settings.json"))));
    EXPECT_EQ(str(claude()["problem"]), str(failed["text"]));
    EXPECT_FALSE(model.bridgeInstalled());

    // The default folder chosen by name is the default again, wired again.
    ASSERT_TRUE(model.chooseConfigFolder(QStringLiteral("claude"), QUrl::fromLocalFile(home.filePath(QStringLiteral(".claude"))))["ok"]
                    .toBool());
    EXPECT_FALSE(claude()["custom"].toBool());
    EXPECT_TRUE(claude()["problem"].toString().isEmpty());
    EXPECT_TRUE(model.bridgeInstalled());
}

TEST_F(SettingsWindowModelTest, CodexWiredButNotYetTrustedGetsItsHint) {
    SettingsWindowModel model(settings, installer, statuses, secrets, services);
    EXPECT_TRUE(model.codexHint().isEmpty());
    ASSERT_TRUE(model.install()["ok"].toBool());
    EXPECT_TRUE(model.codexHint().contains(QStringLiteral("Trust all and continue")));
    settings.setEnabled(QStringLiteral("codex"), false);
    EXPECT_TRUE(model.codexHint().isEmpty());
}

} // namespace
} // namespace nubbo
