#include "settings/SettingsStore.h"

#include "FifoBound.h"
#include "platform/JsonPreferencesDomain.h"
#include "common/ProviderRegistry.h"
#include "SettingsFakes.h"
#include "settings/SettingsTable.h"
#include "shell/StatusItem.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QMenu>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace nubbo {
namespace {

using fakes::MemorySecretStore;
using fakes::readJsonObject;
using fakes::RecordingLoginItem;
using fakes::writeFile;

// One machine: a preferences file in its own folder, a keychain and a login item.
struct Machine {
    Machine() {
        QDir().mkpath(folder.path());
    }
    QString path() const { return folder.filePath(QStringLiteral("preferences.json")); }
    QJsonObject onDisk() const { return readJsonObject(path()); }
    void seed(const QByteArray& json) { writeFile(path(), json); }

    // A fresh domain each time, as after a restart.
    std::unique_ptr<SettingsStore> start() {
        domain = std::make_unique<JsonPreferencesDomain>(path());
        return std::make_unique<SettingsStore>(*domain, secrets, loginItem, [this] { return uiLanguages; });
    }

    QTemporaryDir folder;
    std::unique_ptr<JsonPreferencesDomain> domain;
    MemorySecretStore secrets;
    RecordingLoginItem loginItem;
    QStringList uiLanguages{QStringLiteral("en-US")};
};

void expectDefaults(const SettingsStore& s) {
    EXPECT_FALSE(s.launchAtLogin());
    EXPECT_TRUE(s.alwaysOnTop());
    EXPECT_FALSE(s.pauseNubbo());
    EXPECT_EQ(s.petSource(), PetSource::official);
    EXPECT_EQ(s.customPetPath(), QString());
    EXPECT_EQ(s.activePackPath(), QString());
    EXPECT_EQ(s.petSizeScale(), 1.0);
    EXPECT_EQ(s.bubbleStyle(), BubbleStyle::normal);
    EXPECT_EQ(s.singleClickBehavior(), SingleClickBehavior::toggleBubble);
    EXPECT_EQ(s.doubleClickBehavior(), DoubleClickBehavior::petReaction);
    EXPECT_TRUE(s.edgeSnap());
    EXPECT_EQ(s.idleSleepMinutes(), 10);
    EXPECT_EQ(s.approvalMode(), ApprovalMode::manual);
    EXPECT_EQ(s.trustedCommands(), (QStringList{"git status", "git diff", "npm install", "pnpm install",
                                                 "bun install"}));
    EXPECT_EQ(s.dangerousCommands(), (QStringList{"rm -rf", "sudo", "chmod 777", "drop database",
                                                   "delete database", "format disk"}));
    EXPECT_FALSE(s.bypassRiskCheck());
    EXPECT_TRUE(s.showNotifications());
    EXPECT_TRUE(s.notifyApprovalRequired());
    EXPECT_TRUE(s.notifyTaskCompleted());
    EXPECT_TRUE(s.notifyRiskyAction());
    EXPECT_TRUE(s.quietWhileLooking());
    EXPECT_EQ(s.themeColor(), QStringLiteral("pink"));
    EXPECT_EQ(s.animationSpeed(), 1.0);
    EXPECT_TRUE(s.showActivityLabel());
    EXPECT_FALSE(s.showProviderChip());
    EXPECT_FALSE(s.smartSummary());
    EXPECT_EQ(s.summaryProvider(), SummaryProvider::anthropic);
    EXPECT_EQ(s.language(), AppLanguage::system);
    for (const ProviderSpec& spec : ProviderRegistry::all()) {
        EXPECT_EQ(s.enabled(QString::fromStdString(spec.id)), spec.confirmed) << spec.id;
        EXPECT_EQ(s.configFolder(QString::fromStdString(spec.id)), QString()) << spec.id;
    }
}

// Every setting away from its default.
void changeEverything(SettingsStore& s) {
    s.setLaunchAtLogin(true);
    s.setAlwaysOnTop(false);
    s.setPauseNubbo(true);
    s.setPetSource(PetSource::pack);
    s.setCustomPetPath(QStringLiteral("/pets/cat.png"));
    s.setActivePackPath(QStringLiteral("/packs/fox"));
    s.setPetSizeScale(1.5);
    s.setBubbleStyle(BubbleStyle::large);
    s.setSingleClickBehavior(SingleClickBehavior::quickPanel);
    s.setDoubleClickBehavior(DoubleClickBehavior::none);
    s.setEdgeSnap(false);
    s.setIdleSleepMinutes(30);
    s.setEnabled(QStringLiteral("claude"), false);
    s.setEnabled(QStringLiteral("cursor"), true);
    s.setConfigFolder(QStringLiteral("claude"), QStringLiteral("/work/claude-alt"));
    s.setConfigFolder(QStringLiteral("kimi"), QStringLiteral("/work/kimi"));
    s.setApprovalMode(ApprovalMode::fullAuto);
    s.setTrustedCommands({QStringLiteral("ls"), QStringLiteral("make")});
    s.setDangerousCommands({QStringLiteral("mkfs")});
    s.setBypassRiskCheck(true);
    s.setShowNotifications(false);
    s.setNotifyApprovalRequired(false);
    s.setNotifyTaskCompleted(false);
    s.setNotifyRiskyAction(false);
    s.setQuietWhileLooking(false);
    s.setThemeColor(QStringLiteral("purple"));
    s.setAnimationSpeed(2.0);
    s.setShowActivityLabel(false);
    s.setShowProviderChip(true);
    s.setSmartSummary(true);
    s.setSummaryProvider(SummaryProvider::custom);
    s.setLanguage(AppLanguage::zh);
    s.setSummaryModel(QStringLiteral("my-model"), SummaryProvider::custom);
    s.setSummaryModel(QStringLiteral("gpt-x"), SummaryProvider::openai);
    s.setSummaryBaseURL(QStringLiteral("http://localhost:8080/v1"), SummaryProvider::custom);
}

TEST(SettingsStoreTest, AFreshInstallHasTheDefaults) {
    Machine machine;
    const auto store = machine.start();
    expectDefaults(*store);
    EXPECT_FALSE(store->effectiveCustomPetPath());
    EXPECT_FALSE(store->effectivePackPath());
    EXPECT_TRUE(machine.loginItem.calls.empty());
}

TEST(SettingsStoreTest, MistypedOrUnknownStoredValuesFallBackToDefaults) {
    Machine machine;
    machine.seed(R"({
        "settings.launchAtLogin": 1,
        "settings.alwaysOnTop": "false",
        "settings.petSource": "",
        "settings.customPetPath": 42,
        "settings.petSizeScale": "big",
        "settings.bubbleStyle": "huge",
        "settings.singleClickBehavior": "ToggleBubble",
        "settings.edgeSnap": null,
        "settings.idleSleepMinutes": 2.5,
        "settings.approvalMode": ["smart"],
        "settings.trustedCommands": ["ls", 1],
        "settings.dangerousCommands": "rm -rf",
        "settings.themeColor": false,
        "settings.animationSpeed": [2],
        "settings.language": "fr",
        "settings.enable.claude": "no"
    })");
    const auto store = machine.start();
    expectDefaults(*store);
}

TEST(SettingsStoreTest, WellTypedStoredValuesAreRead) {
    Machine machine;
    machine.seed(R"({
        "settings.petSizeScale": 2,
        "settings.animationSpeed": 0.5,
        "settings.idleSleepMinutes": 30.0,
        "settings.petSource": "custom",
        "settings.customPetPath": "/p.png",
        "settings.themeColor": "any colour",
        "settings.trustedCommands": [],
        "settings.language": "zh"
    })");
    const auto store = machine.start();
    EXPECT_EQ(store->petSizeScale(), 2.0);
    EXPECT_EQ(store->animationSpeed(), 0.5);
    EXPECT_EQ(store->idleSleepMinutes(), 30);
    EXPECT_EQ(store->effectiveCustomPetPath(), QStringLiteral("/p.png"));
    EXPECT_EQ(store->themeColor(), QStringLiteral("any colour"));
    EXPECT_TRUE(store->trustedCommands().isEmpty());
    EXPECT_EQ(store->effectiveLanguage(), Language::zh);
}

// Opening a FIFO blocks until a writer comes, and the pet would open the custom picture at every start.
TEST(SettingsStoreTest, ACustomPictureThatIsNoRegularFileIsIgnoredWithoutOpeningIt) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pet.png")), picture = dir.filePath(QStringLiteral("cat.png"));
    ASSERT_TRUE(testing::makeFifo(fifo));
    writeFile(picture, "a picture");
    for (const char* way : {"set", "imported", "stored before"}) {
        for (const QString& path : {fifo, dir.path(), picture}) {
            SCOPED_TRACE(std::string(way) + " " + path.toStdString());
            Machine machine;
            std::unique_ptr<SettingsStore> store = machine.start();
            store->importDictionary({{QStringLiteral("petSource"), QStringLiteral("custom")}});
            if (way == std::string("imported")) {
                store->importDictionary({{QStringLiteral("customPetPath"), path}});
            } else {
                store->setCustomPetPath(path);
                if (way == std::string("stored before"))
                    store.reset(), store = machine.start();
            }
            QStringList log;
            store->setLog([&log](const QString& line) { log << line; });
            std::optional<QString> effective;
            EXPECT_TRUE(testing::finishesWithin(std::chrono::seconds(10), fifo, [&] {
                effective = store->effectiveCustomPetPath();
                store->effectiveCustomPetPathRaw();
            }));
            EXPECT_EQ(store->customPetPath(), path) << "the setting itself is kept";
            EXPECT_EQ(effective, path == picture ? std::optional<QString>(picture) : std::nullopt);
            EXPECT_EQ(log, path == picture ? QStringList()
                                           : QStringList{"custom pet ignored, not a regular file: " + path});
        }
    }
}

TEST(SettingsStoreTest, LegacyEnableFlagsAreCarriedOverOnce) {
    Machine machine;
    machine.seed(R"({"settings.enableGemini": false})");
    {
        const auto store = machine.start();
        EXPECT_FALSE(store->enabled(QStringLiteral("gemini")));
        EXPECT_TRUE(store->enabled(QStringLiteral("claude")));
        const QJsonObject disk = machine.onDisk();
        EXPECT_TRUE(disk.value(QStringLiteral("settings.enable.gemini")).isBool());
        EXPECT_FALSE(disk.value(QStringLiteral("settings.enable.gemini")).toBool(true));
        EXPECT_TRUE(disk.contains(QStringLiteral("settings.enableGemini")));
        // Defaults are not written.
        EXPECT_FALSE(disk.contains(QStringLiteral("settings.enable.claude")));
    }
    // The new key wins over a legacy one; a mistyped legacy value is ignored.
    machine.seed(R"({"settings.enable.codex": true, "settings.enableCodex": false,
                     "settings.enableClaude": "no", "settings.enableOpenCode": false})");
    const auto store = machine.start();
    EXPECT_TRUE(store->enabled(QStringLiteral("codex")));
    EXPECT_TRUE(store->enabled(QStringLiteral("claude")));
    EXPECT_FALSE(store->enabled(QStringLiteral("opencode")));
    EXPECT_FALSE(machine.onDisk().value(QStringLiteral("settings.enable.opencode")).toBool(true));
}

TEST(SettingsStoreTest, SettingsSurviveARestartWithTheirTypes) {
    Machine machine;
    QJsonObject exported;
    {
        const auto store = machine.start();
        changeEverything(*store);
        exported = store->exportDictionary();
    }
    const QJsonObject disk = machine.onDisk();
    EXPECT_TRUE(disk.value(QStringLiteral("settings.launchAtLogin")).isBool());
    EXPECT_EQ(disk.value(QStringLiteral("settings.petSizeScale")).toDouble(), 1.5);
    EXPECT_EQ(disk.value(QStringLiteral("settings.idleSleepMinutes")).toVariant().typeId(), QMetaType::LongLong);
    EXPECT_EQ(disk.value(QStringLiteral("settings.petSource")).toString(), QStringLiteral("pack"));
    EXPECT_EQ(disk.value(QStringLiteral("settings.trustedCommands")).toArray(),
              (QJsonArray{QStringLiteral("ls"), QStringLiteral("make")}));
    EXPECT_FALSE(disk.value(QStringLiteral("settings.enable.claude")).toBool(true));

    const auto restarted = machine.start();
    EXPECT_EQ(restarted->exportDictionary(), exported);
    EXPECT_EQ(restarted->activePackPath(), QStringLiteral("/packs/fox"));
    EXPECT_EQ(restarted->effectivePackPath(), QStringLiteral("/packs/fox"));
    EXPECT_FALSE(restarted->effectiveCustomPetPath());
}

TEST(SettingsStoreTest, ChangesAreAnnouncedOnceAndOnlyWhenTheValueChanges) {
    Machine machine;
    const auto store = machine.start();
    int scale = 0, enabled = 0, effective = 0, language = 0;
    QStringList entries;
    QObject::connect(store.get(), &SettingsStore::petSizeScaleChanged, [&] {
        ++scale;
        EXPECT_EQ(store->petSizeScale(), 1.25) << "observers see the new value";
    });
    QObject::connect(store.get(), &SettingsStore::enabledChanged, [&] { ++enabled; });
    QObject::connect(store.get(), &SettingsStore::enabledEntryChanged,
                     [&](const QString& id, bool on) { entries.append(id + (on ? "=on" : "=off")); });
    QObject::connect(store.get(), &SettingsStore::languageChanged, [&] { ++language; });
    QObject::connect(store.get(), &SettingsStore::effectiveLanguageChanged, [&] { ++effective; });

    store->setPetSizeScale(1.25);
    store->setPetSizeScale(1.25);
    EXPECT_EQ(scale, 1);

    store->setEnabled(QStringLiteral("Claude"), false);
    store->setEnabled(QStringLiteral("claude"), false);
    store->setEnabled(QStringLiteral("gemini"), true);  // already on by default
    EXPECT_EQ(enabled, 1);
    EXPECT_EQ(entries, QStringList{QStringLiteral("claude=off")});

    store->setLanguage(AppLanguage::en);  // system is en here: the shown language stays
    EXPECT_EQ(language, 1);
    EXPECT_EQ(effective, 0);
    store->setLanguage(AppLanguage::zh);
    EXPECT_EQ(effective, 1);
}

TEST(SettingsStoreTest, QtPropertiesReadAndWriteRawValues) {
    Machine machine;
    const auto store = machine.start();
    EXPECT_TRUE(store->setProperty("petSource", QStringLiteral("custom")));
    EXPECT_EQ(store->petSource(), PetSource::custom);
    store->setProperty("petSource", QStringLiteral("nonsense"));
    EXPECT_EQ(store->property("petSource").toString(), QStringLiteral("custom"));
    store->setProperty("idleSleepMinutes", 5);
    EXPECT_EQ(machine.onDisk().value(QStringLiteral("settings.idleSleepMinutes")).toInt(), 5);
    store->setProperty("language", QStringLiteral("zh"));
    EXPECT_EQ(store->property("effectiveLanguage").toString(), QStringLiteral("zh"));
    EXPECT_EQ(store->property("enabled").toMap().value(QStringLiteral("claude")), QVariant(true));
}

// Resets, imports and change signals reach a setting through the store's property named like its row: each row
// reads its default there, and a value written there is announced once and read back after a restart.
TEST(SettingsStoreTest, EveryRowIsAPropertyThatAnnouncesAndKeepsItsValue) {
    const auto another = [](const Setting& setting) -> QVariant {
        switch (setting.type) {
        case Setting::Type::flag: return !setting.defaultValue.toBool();
        case Setting::Type::wholeNumber: return setting.defaultValue.toInt() + 1;
        case Setting::Type::number: return setting.defaultValue.toDouble() + 0.25;
        case Setting::Type::text: return QStringLiteral("/elsewhere");
        case Setting::Type::textList: return QStringList{QStringLiteral("make")};
        case Setting::Type::choice: return setting.choices.last();
        }
        return {};
    };
    Machine machine;
    QVariantMap written;
    {
        const auto store = machine.start();
        for (const Setting& setting : SettingsTable::rows()) {
            SCOPED_TRACE(setting.name.toStdString());
            const QMetaProperty property =
                store->metaObject()->property(store->metaObject()->indexOfProperty(setting.name.toLatin1()));
            ASSERT_TRUE(property.isWritable() && property.hasNotifySignal());
            EXPECT_EQ(property.read(store.get()), setting.defaultValue);
            ASSERT_NE(another(setting), setting.defaultValue);
            QSignalSpy announced(store.get(), property.notifySignal());
            written.insert(setting.name, another(setting));
            EXPECT_TRUE(property.write(store.get(), written.value(setting.name)));
            EXPECT_EQ(announced.count(), 1);
        }
    }
    const auto restarted = machine.start();
    for (auto it = written.constBegin(); it != written.constEnd(); ++it)
        EXPECT_EQ(restarted->property(it.key().toLatin1().constData()), it.value()) << it.key().toStdString();
}

TEST(SettingsStoreTest, EnabledFallsBackToTheCatalogueThenFalse) {
    Machine machine;
    const auto store = machine.start();
    EXPECT_TRUE(store->enabled(QStringLiteral("CLAUDE")));
    EXPECT_FALSE(store->enabled(QStringLiteral("cursor")));
    EXPECT_FALSE(store->enabled(QStringLiteral("not-an-agent")));

    store->setEnabled(QStringLiteral("Not-An-Agent"), true);
    EXPECT_TRUE(store->enabled(QStringLiteral("not-an-agent")));
    EXPECT_TRUE(machine.onDisk().value(QStringLiteral("settings.enable.not-an-agent")).toBool());
    store->setEnabled(QString(), true);
    EXPECT_FALSE(machine.onDisk().contains(QStringLiteral("settings.enable.")));
}

TEST(SettingsStoreTest, SummaryModelsAndEndpoints) {
    Machine machine;
    machine.seed(R"({"summary.model.openai": "", "summary.baseURL.anthropic": "http://evil.example"})");
    const auto store = machine.start();
    EXPECT_EQ(store->summaryModel(SummaryProvider::openai), QStringLiteral("gpt-4o-mini"));
    EXPECT_EQ(store->summaryModel(SummaryProvider::anthropic), QStringLiteral("claude-haiku-4-5"));
    EXPECT_EQ(store->summaryModel(SummaryProvider::deepseek), QStringLiteral("deepseek-chat"));
    EXPECT_EQ(store->summaryModel(SummaryProvider::custom), QString());

    store->setSummaryModel(QStringLiteral("  gpt-4.1\n"), SummaryProvider::openai);
    EXPECT_EQ(machine.onDisk().value(QStringLiteral("summary.model.openai")).toString(), QStringLiteral("gpt-4.1"));
    EXPECT_EQ(store->summaryModel(SummaryProvider::openai), QStringLiteral("gpt-4.1"));
    store->setSummaryModel(QStringLiteral(" \n"), SummaryProvider::openai);
    EXPECT_TRUE(machine.onDisk().value(QStringLiteral("summary.model.openai")).isString()) << "empty is stored";
    EXPECT_EQ(store->summaryModel(SummaryProvider::openai), QStringLiteral("gpt-4o-mini"));

    EXPECT_EQ(store->summaryBaseURL(SummaryProvider::anthropic), QStringLiteral("https://api.anthropic.com"));
    EXPECT_EQ(store->summaryBaseURL(SummaryProvider::openai), QStringLiteral("https://api.openai.com/v1"));
    EXPECT_EQ(store->summaryBaseURL(SummaryProvider::deepseek), QStringLiteral("https://api.deepseek.com/v1"));
    EXPECT_EQ(store->summaryBaseURL(SummaryProvider::custom), QString());
    store->setSummaryBaseURL(QStringLiteral("\thttp://localhost:11434/v1 \n"), SummaryProvider::custom);
    EXPECT_EQ(store->summaryBaseURL(SummaryProvider::custom), QStringLiteral("http://localhost:11434/v1"));
}

TEST(SettingsStoreTest, ExportHasExactlyTheDocumentedKeys) {
    Machine machine;
    const auto store = machine.start();
    store->setActivePackPath(QStringLiteral("/packs/fox"));
    const QJsonObject exported = store->exportDictionary();
    QStringList keys = exported.keys();
    QStringList expected{"version", "launchAtLogin", "alwaysOnTop", "pauseNubbo", "petSource", "customPetPath",
                         "petSizeScale", "bubbleStyle", "singleClickBehavior", "doubleClickBehavior", "edgeSnap",
                         "idleSleepMinutes", "enabled", "approvalMode", "trustedCommands", "dangerousCommands",
                         "bypassRiskCheck", "showNotifications", "notifyApprovalRequired", "notifyTaskCompleted",
                         "notifyRiskyAction", "quietWhileLooking", "themeColor", "animationSpeed", "showActivityLabel",
                         "showProviderChip", "smartSummary", "summaryProvider", "summaryModels",
                         "summaryBaseURLs", "language", "configFolders"};
    keys.sort();
    expected.sort();
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(exported.value(QStringLiteral("version")).toInt(), 1);
    EXPECT_EQ(exported.value(QStringLiteral("enabled")).toObject().size(),
              qsizetype(ProviderRegistry::all().size()));
    EXPECT_EQ(exported.value(QStringLiteral("summaryModels")).toObject(),
              (QJsonObject{{"anthropic", "claude-haiku-4-5"}, {"openai", "gpt-4o-mini"},
                           {"deepseek", "deepseek-chat"}, {"custom", ""}}));
    EXPECT_EQ(exported.value(QStringLiteral("summaryBaseURLs")).toObject(), (QJsonObject{{"custom", ""}}));
    // Only the agents whose own variable moves their folder have one to choose.
    const QJsonObject folders = exported.value(QStringLiteral("configFolders")).toObject();
    EXPECT_EQ(folders.keys(), (QStringList{"claude", "codebuddy", "codex", "copilot", "gemini", "kimi", "opencode",
                                           "qoder", "qwen"}));
    EXPECT_EQ(folders.value(QStringLiteral("claude")), QJsonValue(QString()));
}

TEST(SettingsStoreTest, ConfigFoldersAreAbsoluteAndAnnouncedWithTheFolderTheyReplace) {
    Machine machine;
    const auto store = machine.start();
    QStringList announced;
    QObject::connect(store.get(), &SettingsStore::configFolderChanged, [&](const QString& id, const QString& previous) {
        announced.append(id + QLatin1Char(':') + previous);
    });
    const struct {
        const char* id;
        const char* folder;
        const char* kept;  // what the store holds afterwards
    } cases[] = {
        {"Claude", "/work/./claude-alt/", "/work/claude-alt"},
        {"claude", "/work/claude-alt", "/work/claude-alt"},  // the same folder: nothing announced
        {"claude", "work/relative", "/work/claude-alt"},     // relative: ignored
        {"claude", "", ""},
        {"cline", "/work/cline", ""},  // no variable of Cline's moves its hooks
        {"nosuchagent", "/work/x", ""},
        {"gemini", "/home/alt", "/home/alt"},
    };
    for (const auto& c : cases) {
        store->setConfigFolder(QString::fromLatin1(c.id), QString::fromLatin1(c.folder));
        EXPECT_EQ(store->configFolder(QString::fromLatin1(c.id)), QString::fromLatin1(c.kept)) << c.id << " " << c.folder;
    }
    EXPECT_EQ(announced, (QStringList{"claude:", "claude:/work/claude-alt", "gemini:"}));
    EXPECT_EQ(machine.onDisk().value(QStringLiteral("settings.configFolder.gemini")), QJsonValue("/home/alt"));
    EXPECT_FALSE(machine.onDisk().contains(QStringLiteral("settings.configFolder.claude")));
}

TEST(SettingsStoreTest, ExportThenImportOnAnotherMachineReproducesTheSettings) {
    Machine first;
    const auto source = first.start();
    changeEverything(*source);
    first.secrets.set(QStringLiteral("sk-secret"), QStringLiteral("apiKey.openai"));
    const QJsonObject exported = source->exportDictionary();
    EXPECT_FALSE(QJsonDocument(exported).toJson().contains("sk-secret"));

    Machine second;
    const auto target = second.start();
    target->importDictionary(exported);
    EXPECT_EQ(target->exportDictionary(), exported);
    EXPECT_EQ(target->activePackPath(), QString()) << "pack paths are per machine";
    EXPECT_EQ(second.loginItem.calls, std::vector<bool>{true});
    EXPECT_TRUE(second.secrets.items.isEmpty());

    // Persisted, not just in memory.
    const auto restarted = second.start();
    EXPECT_EQ(restarted->exportDictionary(), exported);
}

TEST(SettingsStoreTest, ImportSkipsValuesOfTheWrongType) {
    Machine machine;
    const auto store = machine.start();
    store->setPetSizeScale(1.25);
    const QJsonObject before = store->exportDictionary();

    // Only the claude flag is acceptable here.
    store->importDictionary(QJsonDocument::fromJson(R"({
        "petSizeScale": "2", "language": "xx", "enabled": {"Claude": false}
    })").object());
    QJsonObject expected = before;
    QJsonObject flags = expected.value(QStringLiteral("enabled")).toObject();
    flags.insert(QStringLiteral("claude"), false);
    expected.insert(QStringLiteral("enabled"), flags);
    EXPECT_EQ(store->exportDictionary(), expected);
    EXPECT_FALSE(machine.onDisk().value(QStringLiteral("settings.enable.claude")).toBool(true));

    const QJsonObject afterClaude = store->exportDictionary();
    store->importDictionary(QJsonDocument::fromJson(R"({
        "version": 99,
        "launchAtLogin": "true",
        "alwaysOnTop": 0,
        "petSource": "Pack",
        "customPetPath": null,
        "idleSleepMinutes": 7.5,
        "enabled": {"codex": false, "gemini": "off"},
        "trustedCommands": ["ls", 3],
        "dangerousCommands": {"0": "rm"},
        "themeColor": ["blue"],
        "animationSpeed": true,
        "summaryProvider": "Anthropic",
        "summaryModels": {"openai": "gpt-x", "custom": 5},
        "summaryBaseURLs": "http://x",
        "activePackPath": "/packs/x",
        "unknownKey": 1
    })").object());
    EXPECT_EQ(store->exportDictionary(), afterClaude);
    EXPECT_EQ(store->activePackPath(), QString());
    EXPECT_TRUE(machine.loginItem.calls.empty());
}

TEST(SettingsStoreTest, ImportAppliesWellTypedValues) {
    Machine machine;
    const auto store = machine.start();
    store->importDictionary(QJsonDocument::fromJson(R"({
        "idleSleepMinutes": 5.0,
        "petSizeScale": 2,
        "enabled": {"Cursor": true, "someday-agent": true},
        "summaryModels": {"openai": "  gpt-x\n", "nobody": "m"},
        "summaryBaseURLs": {"custom": " http://h/v1 ", "anthropic": "http://a"}
    })").object());
    EXPECT_EQ(store->idleSleepMinutes(), 5);
    EXPECT_EQ(store->petSizeScale(), 2.0);
    EXPECT_TRUE(store->enabled(QStringLiteral("cursor")));
    EXPECT_TRUE(store->enabled(QStringLiteral("someday-agent")));
    const QJsonObject disk = machine.onDisk();
    EXPECT_TRUE(disk.value(QStringLiteral("settings.enable.someday-agent")).toBool());
    EXPECT_EQ(disk.value(QStringLiteral("summary.model.openai")).toString(), QStringLiteral("gpt-x"));
    EXPECT_FALSE(disk.contains(QStringLiteral("summary.model.nobody")));
    EXPECT_EQ(store->summaryBaseURL(SummaryProvider::custom), QStringLiteral("http://h/v1"));
    EXPECT_EQ(disk.value(QStringLiteral("summary.baseURL.anthropic")).toString(), QStringLiteral("http://a"));
}

TEST(SettingsStoreTest, ResetRestoresDefaultsButKeepsSummaryChoicesAndKeys) {
    Machine machine;
    machine.seed(R"({"settings.enableClaude": false, "hasOpenedSettingsOnFirstLaunch": true})");
    machine.secrets.set(QStringLiteral("sk-a"), QStringLiteral("apiKey.anthropic"));
    const auto store = machine.start();
    changeEverything(*store);
    machine.loginItem.calls.clear();

    store->resetAll();
    expectDefaults(*store);
    EXPECT_EQ(machine.loginItem.calls, std::vector<bool>{false});
    EXPECT_EQ(store->summaryModel(SummaryProvider::custom), QStringLiteral("my-model"));
    EXPECT_EQ(store->summaryModel(SummaryProvider::openai), QStringLiteral("gpt-x"));
    EXPECT_EQ(store->summaryBaseURL(SummaryProvider::custom), QStringLiteral("http://localhost:8080/v1"));
    EXPECT_EQ(machine.secrets.string(QStringLiteral("apiKey.anthropic")), QStringLiteral("sk-a"));

    const QJsonObject disk = machine.onDisk();
    EXPECT_FALSE(disk.contains(QStringLiteral("settings.enableClaude")));
    EXPECT_TRUE(disk.value(QStringLiteral("settings.enable.claude")).toBool());
    EXPECT_TRUE(disk.value(QStringLiteral("hasOpenedSettingsOnFirstLaunch")).toBool());

    // The defaults are what a restart reads, and the legacy flag does not come back.
    const auto restarted = machine.start();
    expectDefaults(*restarted);
}

TEST(SettingsStoreTest, LaunchAtLoginDrivesTheLoginItem) {
    Machine machine;
    const auto store = machine.start();
    store->setLaunchAtLogin(true);
    store->setLaunchAtLogin(false);
    store->setProperty("launchAtLogin", true);
    EXPECT_EQ(machine.loginItem.calls, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(machine.onDisk().value(QStringLiteral("settings.launchAtLogin")).toBool());
}

TEST(SettingsStoreTest, TheOldSummaryKeyMovesToItsNewItemWithoutBeingLost) {
    struct Case {
        const char* name;
        QHash<QString, QString> before;
        bool dropWrites;
        QHash<QString, QString> after;
    };
    const QString oldItem = QStringLiteral("anthropicAPIKey");
    const QString newItem = QStringLiteral("apiKey.anthropic");
    const Case cases[] = {
        {"moved", {{oldItem, "sk-old"}}, false, {{newItem, "sk-old"}}},
        {"new one kept", {{oldItem, "sk-old"}, {newItem, "sk-new"}}, false, {{oldItem, "sk-old"}, {newItem, "sk-new"}}},
        {"nothing to move", {{newItem, "sk-new"}}, false, {{newItem, "sk-new"}}},
        {"keychain dropped the write", {{oldItem, "sk-old"}}, true, {{oldItem, "sk-old"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        machine.secrets.items = c.before;
        machine.secrets.dropWrites = c.dropWrites;
        machine.start();
        EXPECT_EQ(machine.secrets.items, c.after);
    }
}

// Allow All goes back, in one click, to the mode it replaced, whoever switched it on and across restarts.
TEST(SettingsStoreTest, AllowAllRemembersTheModeItReplacedAndGoesBackToIt) {
    using enum ApprovalMode;
    const auto modes = [](std::vector<ApprovalMode> list) {
        return [list](SettingsStore& s) { for (ApprovalMode mode : list) s.setApprovalMode(mode); };
    };
    struct Case {
        QByteArray seed;
        std::function<void(SettingsStore&)> steps;
        ApprovalMode back;
    };
    const Case cases[] = {
        {"{}", modes({allowAll}), manual},
        {"{}", [](SettingsStore& s) { s.setApprovalMode(smart); s.setProperty("approvalMode", "allowAll"); }, smart},
        // Switching it on again keeps the way back; switching it on after another mode takes that one.
        {"{}", modes({smart, allowAll, allowAll}), smart},
        {"{}", modes({smart, allowAll, manual, fullAuto, allowAll}), fullAuto},
        {"{}", [](SettingsStore& s) { s.setApprovalMode(smart); s.importDictionary({{"approvalMode", "allowAll"}}); },
         smart},
        // Unknown: on from an older release, or a kept value that leads nowhere.
        {R"({"settings.approvalMode": "allowAll"})", modes({}), manual},
        {R"({"settings.approvalMode": "allowAll", "approval.modeBeforeAllowAll": "allowAll"})", modes({}), manual},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed.toStdString() + " to " + rawValue(c.back).toStdString());
        Machine machine;
        machine.seed(c.seed);
        c.steps(*machine.start());
        const auto store = machine.start();  // kept across a restart
        ASSERT_EQ(store->approvalMode(), allowAll);
        EXPECT_EQ(store->property("approvalNotice").toMap().value("wayBack").toString(),
                  QStringLiteral("Back to ") + title(c.back, Language::en));
        EXPECT_TRUE(QMetaObject::invokeMethod(store.get(), "leaveAllowAll"));
        store->leaveAllowAll();  // only ever leaves Allow All
        EXPECT_EQ(machine.start()->approvalMode(), c.back);
    }

    // Ignore Risk's way back only switches it off, and the tray's tooltip follows each change.
    Machine machine;
    const auto store = machine.start();
    StatusItem tray([](QMenu&) {}, [](const QString&) {});
    tray.followApprovalNotice(*store);
    store->setApprovalMode(smart);
    store->setApprovalMode(allowAll);
    store->setBypassRiskCheck(true);
    EXPECT_EQ(tray.toolTip(), QString::fromUtf16(u"Nubbo — Ignore Risk is on: every command is approved without asking"));
    EXPECT_TRUE(QMetaObject::invokeMethod(store.get(), "turnOffIgnoreRisk"));
    EXPECT_EQ(store->approvalMode(), allowAll);
    store->setLanguage(AppLanguage::zh);
    EXPECT_EQ(tray.toolTip(), QString::fromUtf16(u"Nubbo — 全部允许已开启：普通命令自动放行，不再询问"));
    store->leaveAllowAll();
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Nubbo"));
}

TEST(SettingsStoreTest, EffectiveLanguage) {
    struct Case {
        AppLanguage chosen;
        QStringList system;
        Language expected;
    };
    const Case cases[] = {
        {AppLanguage::system, {"zh-Hans-CN", "en-US"}, Language::zh},
        {AppLanguage::system, {"en-US", "zh-Hans-CN"}, Language::en},
        {AppLanguage::system, {}, Language::en},
        {AppLanguage::system, {"de-DE"}, Language::en},
        {AppLanguage::en, {"zh-CN"}, Language::en},
        {AppLanguage::zh, {}, Language::zh},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system.join(',').toStdString());
        Machine machine;
        machine.uiLanguages = c.system;
        const auto store = machine.start();
        store->setLanguage(c.chosen);
        EXPECT_EQ(store->effectiveLanguage(), c.expected);
    }
}

TEST(SettingsEnumsTest, RawValuesRoundTripAndNothingElseParses) {
    const auto check = [](auto type) {
        using E = decltype(type);
        for (const E value : allCases<E>()) {
            EXPECT_EQ(fromRaw<E>(rawValue(value)), value);
            EXPECT_FALSE(fromRaw<E>(rawValue(value).toUpper()));
            EXPECT_FALSE(title(value, Language::en).isEmpty());
            EXPECT_FALSE(title(value, Language::zh).isEmpty());
        }
        EXPECT_FALSE(fromRaw<E>(QString()));
    };
    check(PetSource{});
    check(BubbleStyle{});
    check(SingleClickBehavior{});
    check(DoubleClickBehavior{});
    check(AgentStatus{});
    check(AppLanguage{});
    check(ApprovalMode{});
    check(SummaryProvider{});
    EXPECT_EQ(allCases<ApprovalMode>().size(), 4u);
    EXPECT_EQ(title(SummaryProvider::custom, Language::zh), QStringLiteral("自定义（OpenAI 兼容）"));
}

} // namespace
} // namespace nubbo
