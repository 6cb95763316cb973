#include "AppStartup.h"

#include "AgentEventBus.h"
#include "AgentSessionStore.h"
#include "Clock.h"
#include "FreedesktopNotifier.h"
#include "HookCommandLine.h"
#include "HookGuardian.h"
#include "HookInstaller.h"
#include "InitialAgentDetection.h"
#include "JsonPreferencesDomain.h"
#include "KeychainStore.h"
#include "LoginItem.h"
#include "NarrationSummarizer.h"
#include "NubboLog.h"
#include "NubboNotifications.h"
#include "PetViewModel.h"
#include "SettingsStore.h"

#include <QLocale>

#include <csignal>
#include <cstdio>

namespace nubbo {

AppStartup::AppStartup() = default;

AppStartup::~AppStartup() {
    // Stop intake and detection first: their threads call into everything below.
    bus_.reset();
    guardian_.reset();
    sessions_.reset();
    installer_.reset();
    viewModel_.reset();
}

void AppStartup::buildSettings() {
    if (settings_) return;
    const auto log = [](const QString& line) { NubboLog::log(line); };
    preferences_ = std::make_unique<JsonPreferencesDomain>(JsonPreferencesDomain::defaultFilePath(), log);
    loginItem_ = std::make_unique<XdgLoginItem>(log);
    settings_ = std::make_unique<SettingsStore>(*preferences_, KeychainStore::shared(), *loginItem_,
                                                [] { return QLocale::system().uiLanguages(); });
    SettingsStore::setShared(settings_.get());
    // The enable switches decide which agents get hooks.
    installer_ = std::make_unique<HookInstaller>();
}

std::optional<int> AppStartup::handleCommandLine(const QStringList& arguments) {
    const auto command = hookCommandFrom(arguments);
    if (!command) return std::nullopt;
    buildSettings();
    const QByteArray line = (runHookCommand(*command, *installer_) + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fflush(stdout);
    return 0;  // failures are reported in the line
}

void AppStartup::run() {
    // A producer that hangs up must never take the app down with it.
    std::signal(SIGPIPE, SIG_IGN);
    NubboLog::log(QStringLiteral("nubbo starting"));

    const auto log = [](const QString& line) { NubboLog::log(line); };
    clock_ = std::make_unique<SystemClock>();
    scheduler_ = std::make_unique<QtScheduler>();
    random_ = std::make_unique<SystemRandom>();
    buildSettings();
    // The pet window, the settings window and the menus are created here once the interface exists.

    notifier_ = std::make_unique<FreedesktopNotifier>(log);
    notifications_ = std::make_unique<NubboNotifications>(*settings_, *notifier_);
    NubboNotifications::setShared(notifications_.get());

    // The card's answers reach the waiting agent first, then the session that asked.
    viewModel_ = std::make_unique<PetViewModel>(*settings_, *scheduler_, *clock_, *random_, log,
                                                [](const QUuid& eventId, bool allow) {
                                                    AgentEventBus::shared().resolveApproval(eventId, allow);
                                                    AgentSessionStore::shared().resolveApproval(eventId, allow);
                                                });
    PetViewModel::setShared(viewModel_.get());

    summarizer_ = std::make_unique<NullSummarizer>();
    sessions_ = std::make_unique<AgentSessionStore>(
        *settings_, *viewModel_, *clock_, *random_,
        [notifications = notifications_.get()](AgentEventType type, const AgentEvent& event) {
            notifications->notify(type, event);
        },
        *summarizer_);
    AgentSessionStore::setShared(sessions_.get());

    installer_->ensureHealthy();
    guardian_ = std::make_unique<HookGuardian>(*installer_);
    guardian_->start();

    bus_ = std::make_unique<AgentEventBus>(*settings_, *sessions_);
    AgentEventBus::setShared(bus_.get());
    sessions_->start();
    bus_->start();

    notifications_->requestAuthorization();
    runInitialAgentDetection(*settings_);
    // The status item is set up here once the interface exists.

    // The settings window opens on the very first launch; until it exists the flag is only recorded.
    const QString firstLaunchKey = QStringLiteral("hasOpenedSettingsOnFirstLaunch");
    if (preferences_->value(firstLaunchKey).typeId() != QMetaType::Bool || !preferences_->value(firstLaunchKey).toBool())
        preferences_->setValue(firstLaunchKey, true);
}

} // namespace nubbo
