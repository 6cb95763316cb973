#include "hooks/ConfigFileWriter.h"
#include "hooks/ConfigFolders.h"
#include "hooks/HookEntries.h"
#include "hooks/HookFileLock.h"
#include "hooks/HookInstaller.h"
#include "hooks/LauncherScript.h"
#include "common/ProviderRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace nubbo;
using nlohmann::json;

namespace {

class HookInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        enabledIds = {"claude", "codex", "gemini", "opencode", "cursor", "copilot", "cline"};
    }

    HookInstallerEnvironment environment() {
        HookInstallerEnvironment env;
        env.home = home.path();
        env.backupsDirectory = path("Library/Application Support/Nubbo/Backups");
        env.enabled = [this](const QString& id) { return enabledIds.contains(id); };
        env.configFolder = [this](const QString& id) { return folders.value(id); };
        env.writeLauncher = [this](const QString& launcher) {
            if (!launcherError.isEmpty())
                return launcherError;
            return ConfigFileWriter::writeAtomically(launcher, "#!/bin/sh\n# nubbo-bridge-marker\nexit 0\n", 0755);
        };
        env.writeOpenCodePlugin = [](const QString& plugin) {
            return ConfigFileWriter::writeAtomically(plugin, "// nubbo-bridge-marker\n");
        };
        env.openCodePluginText = [] { return QByteArrayLiteral("// nubbo-bridge-marker\n"); };
        env.now = [this] { return now; };
        env.log = [this](const QString& line) { logLines.append(line); };
        // A later release may write other commands into files it wrote before.
        env.hookCommand = [this](const QString& launcher, const QString& source, const QString& event) {
            return LauncherScript::hookCommand(launcher, source, event) + commandSuffix;
        };
        env.keptBackups = keptBackups;
        return env;
    }
    HookInstaller installer() { return HookInstaller(environment()); }

    QString path(const QString& relative) const { return QDir(home.path()).filePath(relative); }
    QByteArray bytes(const QString& relative) const { return ConfigFileWriter::read(path(relative)).value_or("<missing>"); }
    json jsonAt(const QString& relative) const {
        const QByteArray data = bytes(relative);
        return json::parse(data.constBegin(), data.constEnd());
    }
    void put(const QString& relative, const QByteArray& data) const {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path(relative)).path()));
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(data);
    }
    unsigned modeOf(const QString& relative) const { return ConfigFileWriter::mode(path(relative)).value_or(0); }
    int appCommandsIn(const QString& relative) const { return int(bytes(relative).count("nubbo-bridge")); }
    void install() {
        const HookInstallResult result = installer().install();
        ASSERT_TRUE(result.ok()) << result.message().toStdString();
    }

    QTemporaryDir home;
    QSet<QString> enabledIds;
    QHash<QString, QString> folders;  // the chosen config folders by agent id
    QString launcherError;
    QString commandSuffix;
    int keptBackups = 10;
    QDateTime now{QDate(2026, 3, 4), QTime(5, 6, 7)};
    QStringList logLines;
};

const QByteArray kUserClaude = R"({
    "model": "opus",
    "env": {"PATH": "/opt/bin"},
    "hooks": {
        "PreToolUse": [{"matcher": "Bash", "hooks": [{"type": "command", "command": "audit.sh"}]}],
        "Stop": [{"hooks": [{"type": "command", "command": "/Applications/vibe-island/bin/hook"}]}]
    }
}
)";

} // namespace

TEST_F(HookInstallerTest, InstallWiresEveryEnabledAgentAndReportsStatus) {
    install();

    const QMap<QString, bool> status = installer().status();
    for (const ProviderSpec& spec : ProviderRegistry::all()) {
        const QString id = QString::fromStdString(spec.id);
        EXPECT_EQ(status.value(id), enabledIds.contains(id)) << spec.id;
        if (enabledIds.contains(id) && spec.mechanism != HookMechanism::scriptDir) {
            EXPECT_TRUE(logLines.contains(QStringLiteral("hook install: %1 -> %2")
                                              .arg(QString::fromStdString(spec.title), path(QString::fromStdString(spec.configRelativePath)))))
                << spec.id;
        }
    }
    EXPECT_TRUE(installer().openCodePluginInstalled());
    EXPECT_EQ(bytes("Library/Application Support/Nubbo/Backups/latest.txt"), "20260304-050607");

    const json settings = jsonAt(".claude/settings.json");
    EXPECT_EQ(settings["hooks"]["PreToolUse"][0]["hooks"][0]["command"],
              "'" + path(".nubbo/bin/nubbo-bridge").toStdString() + "' --source claude --event PreToolUse");
    EXPECT_EQ(modeOf(".claude/settings.json"), 0644u) << "a new file is readable, not the temp file's 0600";

    const ProviderSpec& copilot = *ProviderRegistry::spec("copilot");
    EXPECT_EQ(jsonAt(".copilot/hooks/nubbo-bridge.json"),
              HookEntries::makeOwnedFile(copilot, [&](std::string_view event) {
                  return installer().command(copilot, QString::fromStdString(std::string(event))).toStdString();
              }));

    const QString script = QStringLiteral("Documents/Cline/Hooks/PreToolUse");
    EXPECT_EQ(bytes(script), "#!/bin/sh\n# nubbo-bridge-marker\nexec '" + path(".nubbo/bin/nubbo-bridge").toUtf8() +
                                 "' --source cline --event PreToolUse\n");
    EXPECT_EQ(modeOf(script), 0755u);
}

TEST_F(HookInstallerTest, MergeKeepsTheUsersEntriesAndASecondInstallChangesNothing) {
    put(".claude/settings.json", kUserClaude);
    install();
    const QByteArray first = bytes(".claude/settings.json");

    const json settings = jsonAt(".claude/settings.json");
    EXPECT_EQ(settings["model"], "opus");
    EXPECT_EQ(settings["env"]["PATH"], "/opt/bin");
    ASSERT_EQ(settings["hooks"]["PreToolUse"].size(), 2u);
    EXPECT_EQ(settings["hooks"]["PreToolUse"][0]["hooks"][0]["command"], "audit.sh");
    EXPECT_EQ(first.count("vibe-island"), 0) << "Vibe Island entries give way to the app's";
    const int events = int(ProviderRegistry::spec("claude")->events.size());
    EXPECT_EQ(appCommandsIn(".claude/settings.json"), events);
    EXPECT_EQ(bytes("Library/Application Support/Nubbo/Backups/20260304-050607/claude-settings.json"), kUserClaude);

    now = now.addSecs(60);
    install();
    EXPECT_EQ(bytes(".claude/settings.json"), first) << "one app entry per event, nothing else moved";
}

TEST_F(HookInstallerTest, AFileThatDoesNotParseIsLeftByteForByteAndNamedInTheError) {
    const std::vector<QByteArray> damaged{"{\"model\": \"opus\",", "not json at all", "[1, 2]", "{\"a\":1} trailing"};
    for (const QByteArray& content : damaged) {
        put(".claude/settings.json", content);
        QFile::remove(path(".codex/hooks.json"));
        QFile::remove(path("Library/Application Support/Nubbo/Backups/latest.txt"));
        logLines.clear();

        const HookInstallResult result = installer().install();
        ASSERT_EQ(result.failures.size(), 1u) << content.constData();
        const QString reason = result.failures.front().reason;
        EXPECT_TRUE(reason.startsWith(path(".claude/settings.json"))) << reason.toStdString();
        EXPECT_TRUE(reason.endsWith(QStringLiteral("; it was left unchanged"))) << reason.toStdString();
        EXPECT_EQ(bytes(".claude/settings.json"), content);
        EXPECT_TRUE(installer().status().value("codex")) << "later agents are wired all the same";
        EXPECT_FALSE(installer().status().value("claude"));

        EXPECT_TRUE(installer().uninstall().ok()) << "a file without the app's entries has nothing to strip";
        // The user installs again (a removal holds off repairs until then); it fails the same way.
        EXPECT_EQ(installer().install().message(), "Claude: " + reason);
        installer().ensureHealthy();
        EXPECT_EQ(bytes(".claude/settings.json"), content) << "strip and repair leave it alone too";
        EXPECT_EQ(logLines.last(), "hook ensure: repair FAILED: Claude: " + reason);
    }
    put(".claude/settings.json", "{");
    EXPECT_EQ(installer().install().message(), "Claude: " + path(".claude/settings.json") + " is not valid JSON; it was left unchanged");

    put(".claude/settings.json", " \n");
    install();
    EXPECT_TRUE(installer().status().value("claude")) << "a blank file holds nothing to lose";
}

TEST_F(HookInstallerTest, WritesGoThroughASymlinkAndKeepTheMode) {
    put("dotfiles/claude.json", kUserClaude);
    ASSERT_EQ(::chmod(path("dotfiles/claude.json").toLocal8Bit().constData(), 0640), 0);
    ASSERT_TRUE(QDir().mkpath(path(".claude")));
    ASSERT_TRUE(QFile::link("../dotfiles/claude.json", path(".claude/settings.json")));

    install();
    EXPECT_TRUE(QFileInfo(path(".claude/settings.json")).isSymLink());
    EXPECT_EQ(appCommandsIn("dotfiles/claude.json"), int(ProviderRegistry::spec("claude")->events.size()));
    EXPECT_EQ(modeOf("dotfiles/claude.json"), 0640u);

    installer().uninstall();
    EXPECT_TRUE(QFileInfo(path(".claude/settings.json")).isSymLink()) << "restore writes through the link too";
    EXPECT_EQ(bytes("dotfiles/claude.json"), kUserClaude);
    EXPECT_EQ(modeOf("dotfiles/claude.json"), 0640u);

    // A dangling link is written at its target, so the link becomes valid instead of being replaced.
    ASSERT_TRUE(QFile::remove(path(".cursor/hooks.json")));
    ASSERT_TRUE(QFile::link(path("dotfiles/cursor.json"), path(".cursor/hooks.json")));
    install();
    EXPECT_TRUE(QFileInfo(path(".cursor/hooks.json")).isSymLink());
    EXPECT_EQ(jsonAt("dotfiles/cursor.json")["version"], 1);
}

TEST_F(HookInstallerTest, UninstallLeavesNoAppEntriesAfterRepeatedInstalls) {
    struct Case {
        const char* name;
        int installs;
        int secondsBetween;
    };
    const std::vector<Case> cases{{"one install", 1, 0}, {"two runs", 2, 60}, {"two in one second", 2, 0}, {"three runs", 3, 5}};
    for (const Case& c : cases) {
        ASSERT_TRUE(QDir(path("Library")).removeRecursively());
        put(".claude/settings.json", kUserClaude);
        put(".cursor/hooks.json", R"({"version": 2, "hooks": {"stop": [{"command": "say done"}]}})");
        QFile::remove(path(".codex/hooks.json"));
        // Nothing changed the files after the first install: its backups hold the user's state.
        const QString firstRun = now.toString("yyyyMMdd-HHmmss");
        for (int i = 0; i < c.installs; ++i) {
            install();
            now = now.addSecs(c.secondsBetween);
        }
        logLines.clear();
        installer().uninstall();

        for (const char* file : {".claude/settings.json", ".cursor/hooks.json", ".codex/hooks.json", ".gemini/settings.json"})
            EXPECT_EQ(appCommandsIn(file), 0) << c.name << " " << file;
        EXPECT_EQ(jsonAt(".claude/settings.json")["hooks"]["PreToolUse"][0]["hooks"][0]["command"], "audit.sh") << c.name;
        EXPECT_EQ(jsonAt(".cursor/hooks.json")["version"], 2) << c.name;
        EXPECT_TRUE(logLines.contains("hook restore: Claude from backup " + firstRun)) << c.name;
        EXPECT_EQ(bytes(".claude/settings.json"), kUserClaude) << c.name << ": every user byte, Vibe Island included";
        EXPECT_FALSE(QFileInfo::exists(path(".copilot/hooks/nubbo-bridge.json"))) << c.name;
        EXPECT_FALSE(installer().openCodePluginInstalled()) << c.name;
        if (c.installs == 1) {
            EXPECT_EQ(jsonAt(".codex/hooks.json"), json::parse(R"({"hooks":{}})")) << "no backup: the file the app created is stripped";
        }
    }
}

TEST_F(HookInstallerTest, UnwiringRestoresAFileNobodyChangedAndOnlyStripsOneTheUserEdited) {
    const QByteArray kimiUser = "# mine\ndefault_model = \"k2\"\n";
    struct Case {
        const char* name;
        bool editBetweenInstalls;  // the user edits the wired files, then the app installs again
        bool editAfter;            // the user edits the wired files before they are unwired
        bool bySwitchingOff;       // unwired by an install with the agents switched off, not by uninstall
        bool byMoving = false;     // unwired by choosing other config folders, which are wired instead
    };
    const std::vector<Case> cases{{"untouched", false, false, false},
                                  {"edited after the installs", false, true, false},
                                  {"edited between the installs", true, false, false},
                                  {"untouched, switched off", false, false, true},
                                  {"edited, switched off", false, true, true},
                                  {"untouched, moved", false, false, false, true},
                                  {"edited, moved", false, true, false, true}};
    const auto edit = [this] {
        json settings = jsonAt(".claude/settings.json");
        settings["model"] = "sonnet";
        settings["permissions"] = json{{"allow", json::array({"Bash(ls)"})}};
        put(".claude/settings.json", QByteArray::fromStdString(settings.dump()));
        put(".kimi-code/config.toml", "theme = \"dark\"\n" + bytes(".kimi-code/config.toml"));
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(QDir(path("Library")).removeRecursively());
        enabledIds = {"claude", "kimi"};
        folders.clear();
        commandSuffix.clear();
        put(".claude/settings.json", kUserClaude);
        put(".kimi-code/config.toml", kimiUser);
        install();
        if (c.editBetweenInstalls)
            edit();
        // The second install rewrites every entry, so each file changes again.
        commandSuffix = " --v2";
        now = now.addSecs(60);
        install();
        if (c.editAfter)
            edit();
        if (c.bySwitchingOff) {
            enabledIds.clear();
            install();
        } else if (c.byMoving) {
            for (const char* id : {"claude", "kimi"}) {
                folders.insert(QString::fromLatin1(id), path(QStringLiteral("moved/") + id));
                const HookInstallResult moved = installer().changeConfigFolder(*ProviderRegistry::spec(id), {});
                EXPECT_TRUE(moved.ok()) << c.name << ": " << moved.message().toStdString();
            }
            EXPECT_TRUE(installer().isCurrent(*ProviderRegistry::spec("claude"))) << c.name;
            EXPECT_GT(appCommandsIn("moved/claude/settings.json"), 0) << c.name;
            EXPECT_GT(appCommandsIn("moved/kimi/config.toml"), 0) << c.name;
        } else {
            EXPECT_TRUE(installer().uninstall().ok()) << c.name;
        }

        EXPECT_EQ(appCommandsIn(".claude/settings.json"), 0) << c.name;
        EXPECT_EQ(appCommandsIn(".kimi-code/config.toml"), 0) << c.name;
        if (!c.editBetweenInstalls && !c.editAfter) {
            EXPECT_EQ(bytes(".claude/settings.json"), kUserClaude) << c.name;
            EXPECT_EQ(bytes(".kimi-code/config.toml"), kimiUser) << c.name;
            continue;
        }
        const json settings = jsonAt(".claude/settings.json");
        EXPECT_EQ(settings["model"], "sonnet") << c.name;
        EXPECT_EQ(settings["permissions"]["allow"][0], "Bash(ls)") << c.name;
        EXPECT_EQ(settings["hooks"]["PreToolUse"][0]["hooks"][0]["command"], "audit.sh") << c.name;
        EXPECT_EQ(bytes(".kimi-code/config.toml"), "theme = \"dark\"\n" + kimiUser) << c.name;
    }
}

TEST_F(HookInstallerTest, EachAgentIsWiredAndWatchedInTheFolderChosenForIt) {
    // Where each agent reads its hooks under a chosen folder F, by its own variable; the folder it reads while
    // the variable is unset; nullptr where no variable of the agent's moves them.
    const struct {
        const char* id;
        const char* variable;
        const char* inFolder;
        const char* defaultFolder;
    } catalogue[] = {
        {"claude", "CLAUDE_CONFIG_DIR", "settings.json", ".claude"},
        {"codex", "CODEX_HOME", "hooks.json", ".codex"},
        {"gemini", "GEMINI_CLI_HOME", ".gemini/settings.json", ""},
        {"opencode", "XDG_CONFIG_HOME", "opencode/plugins/nubbo.js", ".config"},
        {"qwen", "QWEN_HOME", "settings.json", ".qwen"},
        {"qoder", "QODER_CONFIG_DIR", "settings.json", ".qoder"},
        {"codebuddy", "CODEBUDDY_CONFIG_DIR", "settings.json", ".codebuddy"},
        {"kimi", "KIMI_CODE_HOME", "config.toml", ".kimi-code"},
        {"iflow", "", nullptr, nullptr},
        {"cursor", "", nullptr, nullptr},
        {"copilot", "COPILOT_HOME", "hooks/nubbo-bridge.json", ".copilot"},
        {"cline", "", nullptr, nullptr},
    };
    ASSERT_EQ(std::size(catalogue), ProviderRegistry::all().size());
    // Claude was wired in its default folder; the folders below are then chosen with no move (by hand, in the
    // preferences), and the install takes the app's entries out of the default folder.
    put(".claude/settings.json", kUserClaude);
    enabledIds = {"claude"};
    install();
    for (const auto& row : catalogue) {
        const QString id = QString::fromLatin1(row.id);
        enabledIds.insert(id);
        folders.insert(id, path(QStringLiteral("chosen/") + id));
    }
    install();
    const QList<QUrl> watched = installer().watchedConfigFiles();
    for (const auto& row : catalogue) {
        const ProviderSpec& spec = *ProviderRegistry::spec(row.id);
        EXPECT_EQ(spec.configFolderVariable, row.variable) << row.id;
        const QString expected = row.inFolder ? path(QStringLiteral("chosen/%1/%2").arg(row.id, row.inFolder))
                                              : path(QString::fromStdString(spec.configRelativePath));
        EXPECT_EQ(installer().configPath(spec), expected) << row.id;
        EXPECT_TRUE(installer().isCurrent(spec)) << row.id;
        if (spec.mechanism != HookMechanism::scriptDir)
            EXPECT_TRUE(watched.contains(QUrl::fromLocalFile(expected))) << row.id;
        if (row.inFolder) {
            EXPECT_EQ(appCommandsIn(QString::fromStdString(spec.configRelativePath)), 0) << row.id;
            EXPECT_EQ(ConfigFolders::defaultFolder(spec, home.path()), QDir::cleanPath(path(row.defaultFolder)))
                << row.id;
        }
    }
    EXPECT_EQ(installer().openCodePluginPath(), path("chosen/opencode/opencode/plugins/nubbo.js"));
    EXPECT_EQ(jsonAt(".claude/settings.json")["hooks"]["PreToolUse"][0]["hooks"][0]["command"], "audit.sh");

    // A relative folder names nothing the agent would find: the default one is used.
    folders.insert(QStringLiteral("claude"), QStringLiteral("relative/claude"));
    EXPECT_EQ(installer().configPath(*ProviderRegistry::spec("claude")), path(".claude/settings.json"));

    // After the user removed the bridge, a move only unwires: the new folder stays untouched.
    folders.insert(QStringLiteral("claude"), path("chosen/claude"));
    ASSERT_TRUE(installer().uninstall().ok());
    folders.remove(QStringLiteral("claude"));
    EXPECT_TRUE(installer().changeConfigFolder(*ProviderRegistry::spec("claude"), path("chosen/claude")).ok());
    EXPECT_EQ(appCommandsIn("chosen/claude/settings.json"), 0);
    EXPECT_EQ(appCommandsIn(".claude/settings.json"), 0);
}

TEST_F(HookInstallerTest, AnAgentThatFailsIsNamedAndTheOthersAreStillWiredAndUnwired) {
    enabledIds = {"claude", "codex", "gemini", "kimi", "cursor", "opencode"};
    struct Case {
        const char* file;
        QByteArray content;
        const char* id;
        const char* reason;
    };
    const std::vector<Case> cases{{".claude/settings.json", "{\"model\": ", "claude", "is not valid JSON"},
                                  {".kimi-code/config.toml", "model = \n", "kimi", "is not valid TOML"},
                                  {".cursor/hooks.json", "[1, 2]", "cursor", "does not hold a JSON object"}};
    for (const Case& c : cases) {
        put(c.file, c.content);
        const HookInstallResult result = installer().install();
        ASSERT_EQ(result.failures.size(), 1u) << c.id;
        EXPECT_EQ(result.failures.front().id, c.id);
        EXPECT_TRUE(result.failures.front().reason.startsWith(path(c.file)));
        EXPECT_TRUE(result.failures.front().reason.contains(c.reason)) << result.failures.front().reason.toStdString();
        EXPECT_TRUE(result.message().startsWith(result.failures.front().title + ": " + path(c.file)));
        EXPECT_EQ(bytes(c.file), c.content);
        for (const QString& id : enabledIds)
            EXPECT_EQ(installer().status().value(id), id != c.id) << c.id << " " << id.toStdString();
        QFile::remove(path(c.file));
    }

    // Broken after it was wired: the removal goes on past it and says the app's entries are still there.
    install();
    put(".codex/hooks.json", bytes(".codex/hooks.json").chopped(3));
    put(".gemini/settings.json", bytes(".gemini/settings.json").chopped(3));
    const HookInstallResult removal = installer().uninstall();
    ASSERT_EQ(removal.failures.size(), 2u);
    EXPECT_EQ(removal.message(), "Codex: " + path(".codex/hooks.json") +
                                     " is not valid JSON; the app's entries were left in it\nGemini: " +
                                     path(".gemini/settings.json") + " is not valid JSON; the app's entries were left in it");
    for (const char* id : {"claude", "kimi", "cursor", "opencode"})
        EXPECT_FALSE(installer().status().value(id)) << id;
}

TEST_F(HookInstallerTest, OldBackupFoldersGoButNotTheOnesARestoreStillNeeds) {
    keptBackups = 3;
    enabledIds = {"claude", "codex"};
    QStringList runs;
    const auto installNow = [&] {
        runs.append(now.toString("yyyyMMdd-HHmmss"));
        install();
        now = now.addSecs(60);
    };
    put(".claude/settings.json", kUserClaude);
    installNow();  // the only copy of Claude's file from before the app touched it
    // An earlier release's entries: this backup is what a restore of the untouched file needs.
    put(".codex/hooks.json", R"({"hooks": {"Stop": [{"hooks": [{"command": "/old/nubbo-bridge"}]}]}, "mine": 1})");
    installNow();
    for (int i = 0; i < 6; ++i) {
        put(".claude/settings.json", R"({"model": ")" + QByteArray::number(i) + R"("})");
        installNow();
    }
    const QStringList kept = QDir(path("Library/Application Support/Nubbo/Backups")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(kept, (QStringList{runs[0], runs[1], runs[5], runs[6], runs[7]}));
    EXPECT_EQ(bytes("Library/Application Support/Nubbo/Backups/latest.txt"), runs.last().toUtf8());

    installer().uninstall();
    EXPECT_EQ(jsonAt(".codex/hooks.json"), json::parse(R"({"hooks": {}, "mine": 1})")) << "restored from its backup, then stripped";
    EXPECT_TRUE(logLines.contains("hook restore: Codex from backup " + runs[1]));
}

TEST_F(HookInstallerTest, UninstallWithoutLatestStripsAndLeavesVibeIslandAlone) {
    install();
    json settings = jsonAt(".claude/settings.json");
    settings["hooks"]["Stop"].push_back(json{{"hooks", json::array({json{{"command", "vibe-island hook"}}})}});
    settings["hooks"]["PreToolUse"][0]["hooks"].push_back(json{{"command", "lint"}});  // a mixed group
    put(".claude/settings.json", QByteArray::fromStdString(settings.dump()));
    ASSERT_TRUE(QFile::remove(path("Library/Application Support/Nubbo/Backups/latest.txt")));

    installer().uninstall();
    EXPECT_EQ(appCommandsIn(".claude/settings.json"), 0);
    const json stripped = jsonAt(".claude/settings.json");
    EXPECT_EQ(stripped["hooks"]["Stop"][0]["hooks"][0]["command"], "vibe-island hook");
    EXPECT_EQ(stripped["hooks"]["PreToolUse"], json::parse(R"([{"matcher":"*","hooks":[{"command":"lint"}]}])"));
}

TEST_F(HookInstallerTest, DisablingAnAgentRemovesOnlyTheAppsEntries) {
    put(".codex/hooks.json", R"({"hooks": {"Stop": [{"hooks": [{"command": "notify"}]}]}, "other": true})");
    put("Documents/Cline/Hooks/TaskStart", "#!/bin/sh\necho mine\n");
    install();
    ASSERT_TRUE(installer().status().value("codex"));

    enabledIds.remove("codex");
    enabledIds.remove("copilot");
    enabledIds.remove("opencode");
    enabledIds.remove("cline");
    install();
    EXPECT_EQ(jsonAt(".codex/hooks.json"), json::parse(R"({"hooks": {"Stop": [{"hooks": [{"command": "notify"}]}]}, "other": true})"));
    EXPECT_FALSE(QFileInfo::exists(path(".copilot/hooks/nubbo-bridge.json")));
    EXPECT_FALSE(installer().openCodePluginInstalled());
    EXPECT_EQ(bytes("Documents/Cline/Hooks/TaskStart"), "#!/bin/sh\necho mine\n");
    EXPECT_FALSE(QFileInfo::exists(path("Documents/Cline/Hooks/PreToolUse")));
    EXPECT_TRUE(installer().status().value("claude"));
}

TEST_F(HookInstallerTest, ScriptsKeepTheUsersAndRewriteTheAppsOwn) {
    // Where earlier releases wrote them: the app's own go on the next install, the user's stay.
    put("Documents/Cline/Rules/Hooks/PreToolUse", "#!/bin/sh\n# nubbo-bridge-marker\nexec /old/nubbo-bridge\n");
    put("Documents/Cline/Rules/Hooks/TaskResume", "#!/bin/sh\necho mine\n");
    put("Documents/Cline/Hooks/TaskStart", "#!/bin/sh\necho mine\n");
    put("Documents/Cline/Hooks/TaskCancel", QByteArray("\xff\xfe binary user tool", 19));
    put("Documents/Cline/Hooks/PreToolUse", "#!/bin/sh\nexec /old/nubbo-bridge\n");
    ASSERT_EQ(::chmod(path("Documents/Cline/Hooks/PreToolUse").toLocal8Bit().constData(), 0600), 0);

    install();
    EXPECT_EQ(bytes("Documents/Cline/Hooks/TaskStart"), "#!/bin/sh\necho mine\n");
    EXPECT_EQ(bytes("Documents/Cline/Hooks/TaskCancel"), QByteArray("\xff\xfe binary user tool", 19));
    EXPECT_TRUE(logLines.contains("hook install: Cline keeping existing TaskStart hook"));
    EXPECT_TRUE(logLines.contains("hook install: Cline keeping existing TaskCancel hook"));
    EXPECT_TRUE(bytes("Documents/Cline/Hooks/PreToolUse").contains("nubbo-bridge-marker"));
    EXPECT_EQ(modeOf("Documents/Cline/Hooks/PreToolUse"), 0755u);
    EXPECT_TRUE(installer().status().value("cline"));
    EXPECT_FALSE(QFileInfo::exists(path("Documents/Cline/Rules/Hooks/PreToolUse")));
    EXPECT_EQ(bytes("Documents/Cline/Rules/Hooks/TaskResume"), "#!/bin/sh\necho mine\n");

    installer().uninstall();
    EXPECT_EQ(bytes("Documents/Cline/Hooks/TaskStart"), "#!/bin/sh\necho mine\n");
    EXPECT_FALSE(QFileInfo::exists(path("Documents/Cline/Hooks/PreToolUse")));
}

TEST_F(HookInstallerTest, EnsureHealthyRepairsOnlyWhenAnEnabledAgentIsUnwired) {
    enabledIds = {"claude", "cursor"};
    install();
    logLines.clear();
    installer().ensureHealthy();
    EXPECT_EQ(logLines, QStringList{"hook ensure: healthy, no action"}) << "disabled agents are not checked";

    json settings = jsonAt(".claude/settings.json");
    settings["hooks"].erase("Stop");
    put(".claude/settings.json", QByteArray::fromStdString(settings.dump()));
    now = now.addSecs(1);
    installer().ensureHealthy();
    EXPECT_EQ(logLines.last(), "hook ensure: repaired stale/missing hooks");
    EXPECT_TRUE(installer().status().value("claude"));

    // Entries an older release wrote still fire but wait the wrong time: a Qwen time-out in seconds is read
    // as milliseconds. They are rewritten as an install writes them now.
    enabledIds = {"qwen"};
    install();
    json qwen = jsonAt(".qwen/settings.json");
    qwen["hooks"]["PermissionRequest"][0]["hooks"][0]["timeout"] = 86400;
    put(".qwen/settings.json", QByteArray::fromStdString(qwen.dump()));
    EXPECT_TRUE(installer().status().value("qwen"));
    installer().ensureHealthy();
    EXPECT_EQ(logLines.last(), "hook ensure: repaired stale/missing hooks");
    EXPECT_EQ(jsonAt(".qwen/settings.json")["hooks"]["PermissionRequest"][0]["hooks"][0]["timeout"], 86400000);
    installer().ensureHealthy();
    EXPECT_EQ(logLines.last(), "hook ensure: healthy, no action");

    // Files the app owns whole are current only with the very bytes this build writes: a plug-in or a script
    // from an older release still carries the marker, and is refreshed; a script of the user's is not touched.
    enabledIds = {"opencode", "cline"};
    install();
    const QString script = "Documents/Cline/Hooks/" + QString::fromStdString(ProviderRegistry::spec("cline")->events.front());
    const struct {
        const char* name;
        QString file;
        QByteArray old;
        bool repaired;
    } stale[] = {{"an older plug-in", ".config/opencode/plugins/nubbo.js", "// nubbo-bridge-marker\n// v1\n", true},
                 {"an older script", script, "#!/bin/sh\n# nubbo-bridge-marker\nexec old-bridge\n", true},
                 {"the user's script", script, "#!/bin/sh\necho mine\n", false}};
    for (const auto& c : stale) {
        put(c.file, c.old);
        installer().ensureHealthy();
        EXPECT_EQ(logLines.last(), c.repaired ? "hook ensure: repaired stale/missing hooks" : "hook ensure: healthy, no action")
            << c.name;
        EXPECT_EQ(bytes(c.file) != c.old, c.repaired) << c.name;
    }

    launcherError = QStringLiteral("disk full");
    EXPECT_EQ(installer().install().error, "disk full") << "a failed launcher write ends install";
}

TEST_F(HookInstallerTest, InstallAndRepairWaitWhileAnotherHolderHasTheLock) {
    // Another holder (a command-line run, the guardian's thread) is half-way through writing.
    std::optional<HookFileLock> other(std::in_place, installer().lockPath());
    ASSERT_TRUE(other->held());
    EXPECT_EQ(QFileInfo(installer().lockPath()).fileName(), "hooks.lock");

    const HookInstaller waiting = installer();
    auto installed = std::async(std::launch::async, [&] { return waiting.install(); });
    auto repaired = std::async(std::launch::async, [&] { waiting.ensureHealthy(); });
    // A negative check on real threads: nothing may be written while the lock is held elsewhere.
    EXPECT_EQ(installed.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    EXPECT_EQ(bytes(".claude/settings.json"), "<missing>");

    other.reset();
    EXPECT_TRUE(installed.get().ok());
    repaired.get();
    EXPECT_TRUE(installer().isWired(*ProviderRegistry::spec("claude")));
    EXPECT_EQ(appCommandsIn(".claude/settings.json"), int(ProviderRegistry::spec("claude")->events.size()));
}

TEST_F(HookInstallerTest, WatchedFilesAreTheExistingFilesOfEnabledAgents) {
    enabledIds = {"claude", "cursor", "cline", "opencode"};
    put(".claude/settings.json", "{}");
    put(".codex/hooks.json", "{}");  // exists, but codex is disabled
    EXPECT_EQ(installer().watchedConfigFiles(), QList<QUrl>{QUrl::fromLocalFile(path(".claude/settings.json"))});
    install();
    EXPECT_EQ(installer().watchedConfigFiles(),
              (QList<QUrl>{QUrl::fromLocalFile(path(".claude/settings.json")), QUrl::fromLocalFile(path(".config/opencode/plugins/nubbo.js")),
                           QUrl::fromLocalFile(path(".cursor/hooks.json"))}));
}

TEST_F(HookInstallerTest, KimiIsWiredInItsTomlAndTheEntriesOfTheOldJsonFileGo) {
    enabledIds = {"kimi"};
    const QByteArray user = "# mine\ndefault_model = \"k2\"\n";
    put(".kimi-code/config.toml", user);
    put(".kimi/settings.json", R"({"theme": "dark", "hooks": {"Stop": [{"hooks": [{"command": "nubbo-bridge"}]}]}})");
    install();
    EXPECT_TRUE(bytes(".kimi-code/config.toml").startsWith(user));
    EXPECT_EQ(appCommandsIn(".kimi-code/config.toml"), int(ProviderRegistry::spec("kimi")->events.size()));
    EXPECT_EQ(jsonAt(".kimi/settings.json"), json::parse(R"({"theme": "dark", "hooks": {}})"));
    EXPECT_TRUE(installer().status().value("kimi"));
    EXPECT_TRUE(installer().isCurrent(*ProviderRegistry::spec("kimi")));

    // A broken file is named and left alone.
    put(".kimi-code/config.toml", "model = \n");
    const HookInstallResult broken = installer().install();
    EXPECT_TRUE(broken.message().contains(QStringLiteral("config.toml is not valid TOML"))) << broken.message().toStdString();
    EXPECT_EQ(bytes(".kimi-code/config.toml"), "model = \n");

    put(".kimi-code/config.toml", user);
    install();
    installer().uninstall();
    EXPECT_EQ(bytes(".kimi-code/config.toml"), user) << "restored from the backup, then stripped";
}

TEST_F(HookInstallerTest, SpecsAreTheSharedJsonFilesAndEmptyEventListsCountAsWired) {
    QStringList ids;
    for (const ProviderSpec& spec : installer().specs())
        ids.append(QString::fromStdString(spec.id));
    EXPECT_EQ(ids, (QStringList{"claude", "codex", "gemini", "qwen", "qoder", "codebuddy", "kimi", "iflow", "cursor"}));

    HookInstallerEnvironment env = environment();
    ProviderSpec silent{"silent", "Silent", "", ProviderFamily::claude, {}, HookMechanism::claudeHooks, ".silent.json", {}, true};
    env.catalogue = {silent};
    EXPECT_TRUE(HookInstaller(env).status().value("silent"));
}

TEST(HookCommand, QuotesTheLauncherPathSoTheShellSeesItWhole) {
    for (const QString& launcher : {QStringLiteral("/home/a/.nubbo/bin/nubbo-bridge"), QStringLiteral("/home/o'neil $x/.nubbo/bin/nubbo-bridge"),
                                    QStringLiteral("/tmp/'; touch pwned; '/nubbo-bridge")}) {
        const QString command = LauncherScript::hookCommand(launcher, "claude", "PreToolUse");
        QProcess shell;
        shell.start("/bin/sh", {"-c", "printf '%s|' " + command});
        ASSERT_TRUE(shell.waitForFinished(10000));
        EXPECT_EQ(QString::fromUtf8(shell.readAllStandardOutput()), launcher + "|--source|claude|--event|PreToolUse|");
    }
}

TEST(HookConfigFileWriter, ReplacesAtomicallyThroughLinkChainsKeepingTheMode) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("real/config.json");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("real")));
    ASSERT_TRUE(ConfigFileWriter::writeAtomically(target, "old").isEmpty());
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0604), 0);
    // A second name for the old inode shows whether the write replaced the file or rewrote it in place.
    ASSERT_EQ(::link(QFile::encodeName(target).constData(), QFile::encodeName(dir.filePath("old-inode")).constData()), 0);
    ASSERT_TRUE(QFile::link(target, dir.filePath("hop2")));
    ASSERT_TRUE(QFile::link("hop2", dir.filePath("hop1")));

    EXPECT_EQ(ConfigFileWriter::resolveWriteTarget(dir.filePath("hop1")), target);
    EXPECT_EQ(ConfigFileWriter::writeAtomically(dir.filePath("hop1"), "new"), QString());
    EXPECT_TRUE(QFileInfo(dir.filePath("hop1")).isSymLink());
    EXPECT_TRUE(QFileInfo(dir.filePath("hop2")).isSymLink());
    EXPECT_EQ(ConfigFileWriter::read(target), QByteArray("new"));
    EXPECT_EQ(ConfigFileWriter::read(dir.filePath("old-inode")), QByteArray("old"));
    EXPECT_EQ(ConfigFileWriter::mode(target), 0604u);
    EXPECT_EQ(QDir(dir.filePath("real")).entryList(QDir::Files), QStringList{"config.json"}) << "no temp file left";

    ASSERT_TRUE(QFile::link("loop-b", dir.filePath("loop-a")));
    ASSERT_TRUE(QFile::link("loop-a", dir.filePath("loop-b")));
    EXPECT_EQ(ConfigFileWriter::resolveWriteTarget(dir.filePath("loop-a")), dir.filePath("loop-a"));

    const QString blocked = dir.filePath("file-not-folder/x.json");
    ASSERT_TRUE(ConfigFileWriter::writeAtomically(dir.filePath("file-not-folder"), "x").isEmpty());
    EXPECT_FALSE(ConfigFileWriter::writeAtomically(blocked, "y").isEmpty()) << "a failure is reported, not swallowed";
}

TEST_F(HookInstallerTest, AUserRemovalHoldsAcrossRepairsAndRestartsUntilTheUserWiresAgain) {
    enabledIds = {"claude", "cline"};
    install();
    installer().uninstall();
    EXPECT_TRUE(installer().removedByUser());
    logLines.clear();
    // The start-up repair of this run and of the next one (a fresh installer over the same files).
    installer().ensureHealthy();
    HookInstaller(environment()).ensureHealthy();
    EXPECT_EQ(logLines, QStringList(2, "hook ensure: skipped, the bridge was removed by the user"));
    EXPECT_FALSE(installer().status().value("claude"));
    EXPECT_FALSE(installer().status().value("cline"));

    // Switching an agent on is a request to wire it.
    EXPECT_TRUE(installer().agentSwitchedOn("claude"));
    EXPECT_FALSE(installer().removedByUser());
    EXPECT_TRUE(installer().status().value("claude"));
    EXPECT_TRUE(installer().status().value("cline"));
    logLines.clear();
    installer().ensureHealthy();
    EXPECT_EQ(logLines, QStringList{"hook ensure: healthy, no action"});
    // Without a removal, switching on leaves the wiring to the install the window runs.
    EXPECT_TRUE(installer().agentSwitchedOn("codex"));
    EXPECT_FALSE(installer().status().value("codex"));

    // An install the user runs (the window, --install-hooks) ends a removal too, and repairs resume.
    installer().uninstall();
    install();
    EXPECT_FALSE(installer().removedByUser());
    put(".claude/settings.json", "{}");
    installer().ensureHealthy();
    EXPECT_EQ(logLines.last(), "hook ensure: repaired stale/missing hooks");
}

TEST_F(HookInstallerTest, AFullDiskLeavesTheUsersConfigurationAsItWasAndSaysSo) {
    put(".claude/settings.json", kUserClaude);
    ConfigFileWriter::simulateFullDiskForTesting(true);
    const QString direct = ConfigFileWriter::writeAtomically(path(".claude/settings.json"), "{\"hooks\": {}}\n");
    const HookInstallResult result = installer().install();
    ConfigFileWriter::simulateFullDiskForTesting(false);

    EXPECT_TRUE(direct.endsWith("No space left on device")) << direct.toStdString();
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.message().contains("No space left on device")) << result.message().toStdString();
    EXPECT_EQ(bytes(".claude/settings.json"), kUserClaude);
    EXPECT_EQ(QDir(path(".claude")).entryList(QDir::Files | QDir::Hidden), QStringList{"settings.json"})
        << "the half-written temp file is gone";
    install();
    EXPECT_EQ(appCommandsIn(".claude/settings.json") > 0, true) << "with room again the install goes through";
}
