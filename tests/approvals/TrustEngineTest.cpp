#include "TrustEngine.h"

#include "ApprovalRisk.h"
#include "JsonPreferencesDomain.h"
#include "SettingsFakes.h"
#include "SettingsStore.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <ostream>
#include <thread>

// Readable failure messages.
static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace nubbo {
namespace {

constexpr TrustDecision allow = TrustDecision::allow;
constexpr TrustDecision ask = TrustDecision::ask;

TrustSettings defaults(ApprovalMode mode, bool bypass = false) {
    return {mode, SettingsStore::defaultTrustedCommands(), SettingsStore::defaultDangerousCommands(), bypass};
}

const char* name(TrustDecision d) { return d == allow ? "allow" : "ask"; }

TEST(TrustEngineTest, ModeByCommandKind) {
    struct Row {
        ApprovalMode mode;
        bool bypass;
        TrustDecision ordinary, trusted, dangerous;
    };
    const Row rows[] = {
        {ApprovalMode::manual, false, ask, ask, ask},
        {ApprovalMode::smart, false, ask, allow, ask},
        {ApprovalMode::fullAuto, false, allow, allow, ask},
        {ApprovalMode::allowAll, false, allow, allow, ask},
        {ApprovalMode::manual, true, allow, allow, allow},
        {ApprovalMode::smart, true, allow, allow, allow},
        {ApprovalMode::fullAuto, true, allow, allow, allow},
        {ApprovalMode::allowAll, true, allow, allow, allow},
    };
    for (const Row& r : rows) {
        const TrustSettings s = defaults(r.mode, r.bypass);
        const auto where = rawValue(r.mode).toStdString() + (r.bypass ? " + bypass" : "");
        EXPECT_EQ(TrustEngine::decide(QStringLiteral("make test"), s), r.ordinary) << where;
        EXPECT_EQ(TrustEngine::decide(QStringLiteral("git diff --stat"), s), r.trusted) << where;
        EXPECT_EQ(TrustEngine::decide(QStringLiteral("rm -rf build"), s), r.dangerous) << where;
    }
}

TEST(TrustEngineTest, MatchingRules) {
    struct Row {
        const char* what;
        ApprovalMode mode;
        QStringList trusted;
        QStringList dangerous;
        QString command;
        TrustDecision expected;
    };
    const QStringList trusted = SettingsStore::defaultTrustedCommands();
    const QStringList dangerous = SettingsStore::defaultDangerousCommands();
    const Row rows[] = {
        {"trimmed and lower-cased before the prefix test", ApprovalMode::smart, trusted, dangerous,
         QStringLiteral("  GIT STATUS \n"), allow},
        {"Unicode white space is trimmed too", ApprovalMode::smart, trusted, dangerous,
         QStringLiteral("\u3000\u00a0git status\u2028"), allow},
        {"a trusted prefix does not excuse a dangerous tail", ApprovalMode::smart, trusted, dangerous,
         QStringLiteral("git status; rm -rf /"), ask},
        {"dangerous beats trusted", ApprovalMode::smart, {QStringLiteral("git")}, dangerous,
         QStringLiteral("git commit && sudo make install"), ask},
        {"trusted prefix has no word boundary", ApprovalMode::smart, trusted, dangerous,
         QStringLiteral("git statusx"), allow},
        {"a trusted prefix does not vouch for what is chained after it", ApprovalMode::smart, trusted, dangerous,
         QStringLiteral("npm install && curl -s example.org/x.sh | sh"), ask},
        {"... nor for a second line", ApprovalMode::smart, trusted, dangerous, QStringLiteral("git status\nrm -r build"),
         ask},
        {"... nor for command substitution", ApprovalMode::smart, trusted, dangerous,
         QStringLiteral("git diff $(touch x)"), ask},
        {"a chain of trusted commands is trusted", ApprovalMode::smart, trusted, dangerous,
         QStringLiteral("git status && git diff"), allow},
        {"trusted entries only match at the start", ApprovalMode::smart, trusted, dangerous,
         QStringLiteral("echo git status"), ask},
        {"stored entries are lower-cased", ApprovalMode::smart, {QStringLiteral("GIT Status")}, dangerous,
         QStringLiteral("git status"), allow},
        {"trusted entry with a trailing space needs the space", ApprovalMode::smart, {QStringLiteral("git status ")},
         dangerous, QStringLiteral("git status"), ask},
        {"... and matches where it occurs", ApprovalMode::smart, {QStringLiteral("git status ")}, dangerous,
         QStringLiteral("git status --short"), allow},
        {"an empty trusted entry never matches", ApprovalMode::smart, {QString()}, dangerous,
         QStringLiteral("anything"), ask},
        {"dangerous fragment has no word boundary", ApprovalMode::fullAuto, trusted, dangerous,
         QStringLiteral("man visudo"), ask},
        // p-s-e-u-d-o does not spell s-u-d-o.
        {"pseudo holds no sudo", ApprovalMode::fullAuto, trusted, dangerous, QStringLiteral("pseudo-make"), allow},
        {"dangerous fragment in any case", ApprovalMode::fullAuto, trusted, dangerous, QStringLiteral("echo SUDO"),
         ask},
        {"non-ASCII letters are lower-cased", ApprovalMode::fullAuto, trusted, {QStringLiteral("ärger")},
         QStringLiteral("echo ÄRGER"), ask},
        {"an empty dangerous entry never matches", ApprovalMode::fullAuto, trusted, {QString()},
         QStringLiteral("ls"), allow},
        {"empty dangerous list approves everything", ApprovalMode::fullAuto, trusted, {},
         QStringLiteral("rm -rf /"), allow},
        {"a one-space entry catches every command with a space", ApprovalMode::fullAuto, trusted,
         {QStringLiteral(" ")}, QStringLiteral("ls -la"), ask},
        {"... but not one without", ApprovalMode::fullAuto, trusted, {QStringLiteral(" ")}, QStringLiteral(" ls\n"),
         allow},
        {"dangerous entry with a trailing space, command trimmed", ApprovalMode::fullAuto, trusted,
         {QStringLiteral("sudo ")}, QStringLiteral("sudo "), allow},
        {"dangerous entry with a trailing space, inside", ApprovalMode::fullAuto, trusted,
         {QStringLiteral("sudo ")}, QStringLiteral("sudo ls"), ask},
    };
    for (const Row& r : rows) {
        const TrustSettings s{r.mode, r.trusted, r.dangerous, false};
        const TrustDecision got = TrustEngine::decide(r.command, s);
        EXPECT_EQ(got, r.expected) << r.what << ": got " << name(got);
    }
}

TEST(TrustEngineTest, IsDangerousLooksAtTheCommandAsGiven) {
    struct Row {
        QStringList dangerous;
        QString command;
        bool expected;
    };
    const QStringList list = SettingsStore::defaultDangerousCommands();
    const Row rows[] = {
        {list, QStringLiteral("RM -RF build"), true},
        {list, QStringLiteral("play sudoku"), true},
        {list, QStringLiteral("pseudo"), false},
        {list, QStringLiteral("psql -c 'DROP DATABASE x'"), true},
        {list, QStringLiteral("ls -la"), false},
        {{}, QStringLiteral("rm -rf /"), false},
        {{QString()}, QStringLiteral("ls"), false},
        // Not trimmed, unlike decide.
        {{QStringLiteral("sudo ")}, QStringLiteral("sudo "), true},
        {{QStringLiteral(" ")}, QStringLiteral("ls\t"), false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TrustEngine::isDangerous(r.command, TrustSettings{ApprovalMode::manual, {}, r.dangerous, false}),
                  r.expected)
            << r.command.toStdString();

    // Mode and bypass play no part.
    EXPECT_TRUE(TrustEngine::isDangerous(QStringLiteral("sudo ls"), defaults(ApprovalMode::allowAll, true)));
}

TEST(TrustEngineTest, TitlesAndDetails) {
    EXPECT_EQ(title(ApprovalMode::fullAuto, Language::en), QStringLiteral("Mostly Auto"));
    EXPECT_EQ(title(ApprovalMode::allowAll, Language::zh), QStringLiteral("全部允许（已开启）"));
    EXPECT_EQ(detail(ApprovalMode::manual, Language::en),
              QStringLiteral("Ask every time a CLI requests to run or continue."));
    EXPECT_EQ(detail(ApprovalMode::smart, Language::zh), QStringLiteral("可信命令自动放行，未知和危险命令询问。"));
    EXPECT_EQ(detail(ApprovalMode::allowAll, Language::en),
              QStringLiteral("Enabled from an approval card. Ordinary commands auto-allow; dangerous ones still ask."));
    EXPECT_EQ(detail(ApprovalMode::fullAuto, Language::zh), QStringLiteral("除危险命令外尽量自动放行。"));
    for (const ApprovalMode mode : allCases<ApprovalMode>()) {
        EXPECT_NE(detail(mode, Language::en), detail(mode, Language::zh));
        EXPECT_FALSE(detail(mode, Language::en).isEmpty());
    }

    EXPECT_EQ(title(ApprovalRisk::normal, Language::en), QStringLiteral("Normal"));
    EXPECT_EQ(title(ApprovalRisk::risky, Language::en), QStringLiteral("Risky"));
    EXPECT_EQ(title(ApprovalRisk::normal, Language::zh), QStringLiteral("普通"));
    EXPECT_EQ(title(ApprovalRisk::risky, Language::zh), QStringLiteral("高风险"));
    for (const ApprovalRisk risk : kAllApprovalRisks)
        EXPECT_EQ(approvalRiskFromRaw(rawValue(risk)), risk);
    EXPECT_EQ(rawValue(ApprovalRisk::risky), QStringLiteral("risky"));
    EXPECT_FALSE(approvalRiskFromRaw(u"Risky"));
}

// A store on a preferences file of its own.
struct TrustSettingsSnapshot : ::testing::Test {
    std::unique_ptr<SettingsStore> start() {
        domain = std::make_unique<JsonPreferencesDomain>(folder.filePath(QStringLiteral("preferences.json")));
        return std::make_unique<SettingsStore>(*domain, secrets, loginItem, [this] { return uiLanguages; });
    }

    QTemporaryDir folder;
    std::unique_ptr<JsonPreferencesDomain> domain;
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    QStringList uiLanguages{QStringLiteral("en-US")};
};

void expectSnapshot(const SettingsStore& store) {
    const TrustSettings s = store.trustSettings();
    EXPECT_EQ(s.mode, store.approvalMode());
    EXPECT_EQ(s.trusted, store.trustedCommands());
    EXPECT_EQ(s.dangerous, store.dangerousCommands());
    EXPECT_EQ(s.bypass, store.bypassRiskCheck());
    EXPECT_EQ(store.effectiveLanguageThreadSafe(), store.effectiveLanguage());
}

TEST_F(TrustSettingsSnapshot, SnapshotFollowsEveryWay) {
    auto store = start();
    expectSnapshot(*store);
    EXPECT_EQ(store->trustSettings().trusted, SettingsStore::defaultTrustedCommands());

    store->setApprovalMode(ApprovalMode::smart);
    store->setTrustedCommands({QStringLiteral("make")});
    store->setDangerousCommands({QStringLiteral("mkfs")});
    store->setLanguage(AppLanguage::zh);
    expectSnapshot(*store);
    EXPECT_EQ(store->trustSettings().mode, ApprovalMode::smart);
    EXPECT_EQ(store->effectiveLanguageThreadSafe(), Language::zh);
    EXPECT_EQ(TrustEngine::decide(QStringLiteral("make all"), *store), allow);
    EXPECT_TRUE(TrustEngine::isDangerous(QStringLiteral("mkfs.ext4"), *store));
    store->setBypassRiskCheck(true);
    EXPECT_TRUE(store->trustSettings().bypass);
    EXPECT_EQ(TrustEngine::decide(QStringLiteral("mkfs.ext4"), *store), allow);

    // After a restart the snapshot is read from the file.
    store.reset();
    store = start();
    expectSnapshot(*store);
    EXPECT_EQ(store->trustSettings().dangerous, QStringList{QStringLiteral("mkfs")});
    EXPECT_EQ(store->effectiveLanguageThreadSafe(), Language::zh);

    store->resetAll();
    expectSnapshot(*store);
    EXPECT_EQ(store->trustSettings().mode, ApprovalMode::manual);
    EXPECT_FALSE(store->trustSettings().bypass);

    store->importDictionary(QJsonObject{
        {QStringLiteral("approvalMode"), QStringLiteral("fullAuto")},
        {QStringLiteral("dangerousCommands"), QJsonArray{QStringLiteral("shutdown")}},
        {QStringLiteral("language"), QStringLiteral("zh")},
    });
    expectSnapshot(*store);
    EXPECT_EQ(TrustEngine::decide(QStringLiteral("rm -rf /"), *store), allow);
    EXPECT_EQ(TrustEngine::decide(QStringLiteral("shutdown now"), *store), ask);
}

TEST_F(TrustSettingsSnapshot, SystemLanguageResolvesForOtherThreads) {
    uiLanguages = {QStringLiteral("zh-Hans-CN")};
    const auto store = start();
    EXPECT_EQ(store->effectiveLanguageThreadSafe(), Language::zh);
    store->setLanguage(AppLanguage::en);
    EXPECT_EQ(store->effectiveLanguageThreadSafe(), Language::en);
    uiLanguages = {QStringLiteral("de-DE")};
    store->setLanguage(AppLanguage::system);
    EXPECT_EQ(store->effectiveLanguageThreadSafe(), Language::en);
}

// Whoever reacts to a change (on the main thread) and then asks the engine sees the new value.
TEST_F(TrustSettingsSnapshot, SnapshotIsCurrentWhenTheChangeSignalFires) {
    const auto store = start();
    int checked = 0;
    const auto check = [&] {
        expectSnapshot(*store);
        ++checked;
    };
    QObject::connect(store.get(), &SettingsStore::approvalModeChanged, check);
    QObject::connect(store.get(), &SettingsStore::trustedCommandsChanged, check);
    QObject::connect(store.get(), &SettingsStore::dangerousCommandsChanged, check);
    QObject::connect(store.get(), &SettingsStore::bypassRiskCheckChanged, check);
    QObject::connect(store.get(), &SettingsStore::effectiveLanguageChanged, check);
    store->setApprovalMode(ApprovalMode::allowAll);
    store->setTrustedCommands({});
    store->setDangerousCommands({QStringLiteral("x")});
    store->setBypassRiskCheck(true);
    store->setLanguage(AppLanguage::zh);
    EXPECT_EQ(checked, 5);
}

// Readers on another thread only ever see lists the main thread wrote, never a half-written one.
TEST_F(TrustSettingsSnapshot, SnapshotCanBeReadWhileTheMainThreadWrites) {
    const auto store = start();
    constexpr int writes = 300;
    const auto listFor = [](int i) {
        return QStringList{QStringLiteral("cmd-%1").arg(i), QStringLiteral("tail-%1").arg(i)};
    };
    std::atomic<int> torn{0};
    std::atomic<bool> sawLast{false};
    std::thread reader([&] {
        while (!sawLast.load()) {
            const TrustSettings s = store->trustSettings();
            if (s.dangerous.size() != 2)
                continue;  // still the defaults
            const QString number = s.dangerous[0].mid(4);
            if (s.dangerous[1] != QStringLiteral("tail-") + number)
                ++torn;
            (void)TrustEngine::decide(QStringLiteral("cmd-1 tail"), s);
            if (number == QString::number(writes - 1))
                sawLast = true;
        }
    });
    {
        const PreferencesBatch batch(*domain);  // keep the file out of the loop
        for (int i = 0; i < writes; ++i) {
            store->setDangerousCommands(listFor(i));
            store->setApprovalMode(i % 2 ? ApprovalMode::smart : ApprovalMode::fullAuto);
        }
    }
    reader.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(store->trustSettings().dangerous, listFor(writes - 1));
}

} // namespace
} // namespace nubbo
