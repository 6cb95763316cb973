// Real agent payloads through the real bridge into the app's services as start-up assembles them; the pet's
// behaviour is read back from nubbo.log, and a permission request is answered on the approval card.
#include "shell/AppStartup.h"
#include "BridgeRun.h"
#include "shell/GuiEnvironment.h"
#include "pet/PetWindow.h"
#include "shell/OnboardingWindowController.h"
#include "shell/SettingsWindowController.h"
#include "pet/PetViewModel.h"
#include "settings/SettingsStore.h"
#include "platform/TrustedPath.h"

#include <QApplication>
#include <QQuickView>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using nubbo::e2e::BridgeResult;
using nubbo::e2e::runBridge;
using nubbo::e2e::spinUntil;

class AppEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        saved = {qgetenv("HOME"), qgetenv("XDG_CONFIG_HOME"), qgetenv("DBUS_SESSION_BUS_ADDRESS"),
                 qgetenv("XDG_RUNTIME_DIR")};
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", nubbo::e2e::runtimeDirOf(home.path()).toLocal8Bit());
        // No desktop services: the keychain and notifications fail fast, as on a headless machine.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    }
    void TearDown() override {
        startup.reset();
        qputenv("HOME", saved[0]);
        qputenv("XDG_CONFIG_HOME", saved[1]);
        qputenv("DBUS_SESSION_BUS_ADDRESS", saved[2]);
        qputenv("XDG_RUNTIME_DIR", saved[3]);
    }

    QStringList petLines() const {
        QFile log(home.path() + "/.local/state/Nubbo/nubbo.log");
        if (!log.open(QIODevice::ReadOnly)) return {};
        QStringList lines;
        for (const auto& line : QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts)) {
            const auto message = line.section(' ', 1);
            if (message.startsWith("state ") || message.startsWith("bubble ") || message.startsWith("nubbo socket"))
                lines.append(message);
        }
        return lines;
    }

    bool logged(const QString& line) const { return petLines().contains(line); }
    QString logText() const {
        QFile log(home.path() + "/.local/state/Nubbo/nubbo.log");
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    // Whether `expected` appears in order within the pet's lines (idle scenes may come in between).
    bool inOrder(const QStringList& expected) const {
        const auto lines = petLines();
        int at = 0;
        for (const auto& line : lines)
            if (at < expected.size() && line == expected[at]) ++at;
        return at == expected.size();
    }

    QString fixture(const char* name) const { return QString(NUBBO_FIXTURES_DIR "/claude/") + name; }

    QTemporaryDir home{QDir::tempPath() + "/nubbo-e2e-XXXXXX"};
    std::array<QByteArray, 4> saved;
    std::unique_ptr<nubbo::AppStartup> startup = std::make_unique<nubbo::AppStartup>();
};

TEST_F(AppEndToEnd, AgentHooksMoveThePetAndTheCardAnswersTheAgent) {
    startup->run();
    ASSERT_TRUE(spinUntil([&] { return !petLines().filter("nubbo socket listening at").isEmpty(); }));

    for (const auto& [event, file] : {std::pair{"UserPromptSubmit", "UserPromptSubmit.json"},
                                      std::pair{"PreToolUse", "PreToolUse.Bash.json"}}) {
        const auto result = runBridge(home.path(), event, fixture(file));
        EXPECT_EQ(result.out, "");
    }
    ASSERT_TRUE(spinUntil([&] { return logged("state running"); }));

    BridgeResult decision;
    std::thread agent([&] { decision = runBridge(home.path(), "PermissionRequest", fixture("PermissionRequest.Bash.json")); });
    const bool carded = spinUntil([&] { return logged("state waitingApproval"); });
    // Pressed as the card's Allow is: it counts once the card has come to rest on screen.
    if (carded) {
        auto& pet = nubbo::PetViewModel::shared();
        const QString eventId = pet.bubbleMap().value("eventId").toString();
        EXPECT_TRUE(spinUntil([&] { return pet.answerCard(eventId, QStringLiteral("allow")); }));
    }
    // The bridge returns once the verdict is written; keep the event loop turning meanwhile.
    std::atomic<bool> done = false;
    std::thread watcher([&] {
        agent.join();
        done = true;
    });
    spinUntil([&] { return done.load(); }, 15000);
    watcher.join();
    ASSERT_TRUE(carded);
    EXPECT_TRUE(WIFEXITED(decision.status) && WEXITSTATUS(decision.status) == 0);
    EXPECT_EQ(decision.out,
              R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"allow"}}})" "\n");

    EXPECT_TRUE(inOrder({"state thinking", "bubble Claude is thinking…", "state running",
                         "bubble Claude · Running touch created-by-agent.txt", "state waitingApproval",
                         "bubble Claude wants to continue: touch created-by-agent.txt", "state coding",
                         "bubble Claude · Allowed."}))
        << petLines().join('\n').toStdString();
}

TEST_F(AppEndToEnd, StartUpShowsThePetAndOpensTheSettingsOnTheFirstLaunchOnly) {
    startup->run();
    ASSERT_TRUE(spinUntil([&] { return logText().contains(" pet first frame\n"); }));
    ASSERT_NE(startup->petWindow(), nullptr);
    EXPECT_EQ(startup->petWindow()->view().size(), QSize(280, 360));
    // The last steps follow the first frame; headless there is no tray: one line says so.
    ASSERT_TRUE(spinUntil([&] { return logText().contains("status item: no system tray"); }));
    EXPECT_EQ(logText().count("status item: no system tray"), 1);
    EXPECT_EQ(startup->settingsWindow()->showCount(), 1);
    // Both windows loaded from their QML and are on screen, the welcome steps in front.
    ASSERT_NE(startup->settingsWindow()->window(), nullptr);
    EXPECT_TRUE(startup->settingsWindow()->window()->isVisible());
    EXPECT_EQ(startup->settingsWindow()->window()->size(), QSize(900, 640));
    ASSERT_TRUE(startup->onboardingWindow()->isOpen());
    EXPECT_EQ(startup->onboardingWindow()->window()->size(), QSize(540, 480));
    EXPECT_EQ(startup->onboardingWindow()->window()->title(), QStringLiteral("Welcome to Nubbo"));

    // Launch at login, with the entry a copy of the app elsewhere wrote.
    nubbo::SettingsStore::shared().setLaunchAtLogin(true);
    const QString autostart = home.path() + "/.config/autostart/nubbo.desktop";
    QDir().mkpath(QFileInfo(autostart).path());
    QFile stale(autostart);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
    stale.write("[Desktop Entry]\nType=Application\nExec=\"/old/place/Nubbo.app/Contents/MacOS/Nubbo\"\n");
    stale.close();

    startup.reset();
    startup = std::make_unique<nubbo::AppStartup>();
    startup->run();
    ASSERT_TRUE(spinUntil([&] { return logText().count("status item: no system tray") == 2; }));
    EXPECT_EQ(startup->settingsWindow()->showCount(), 0);
    EXPECT_FALSE(startup->onboardingWindow()->isOpen());
    ASSERT_TRUE(stale.open(QIODevice::ReadOnly));
    const QByteArray entry = stale.readAll();
    // A checkout under /tmp: no entry ever names a program another user could replace, so the old one stays.
    if (nubbo::isTrustedPath(QCoreApplication::applicationFilePath()))
        EXPECT_TRUE(entry.contains("\nExec=\"" + QCoreApplication::applicationFilePath().toUtf8() + "\"\n"))
            << "the entry starts the app that runs now";
    else
        EXPECT_TRUE(entry.contains("/old/place/") && logText().contains("at login: it or a folder above it"))
            << entry.toStdString();
}

} // namespace

int main(int argc, char** argv) {
    // The assembled app shows its pet window; with no display it draws offscreen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    nubbo::prepareGuiEnvironment();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
