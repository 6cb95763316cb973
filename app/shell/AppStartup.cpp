#include "AppStartup.h"

#include "AgentEventBus.h"
#include "AgentSessionStore.h"
#include "Clock.h"
#include "FreedesktopNotifier.h"
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

namespace nubbo {

AppStartup::AppStartup() = default;

AppStartup::~AppStartup() {
    // Stop intake and detection first: their threads call into everything below.
    bus_.reset();
    sessions_.reset();
    viewModel_.reset();
}

void AppStartup::run() {
    // A producer that hangs up must never take the app down with it.
    std::signal(SIGPIPE, SIG_IGN);
    NubboLog::log(QStringLiteral("nubbo starting"));

    const auto log = [](const QString& line) { NubboLog::log(line); };
    clock_ = std::make_unique<SystemClock>();
    scheduler_ = std::make_unique<QtScheduler>();
    random_ = std::make_unique<SystemRandom>();

    preferences_ = std::make_unique<JsonPreferencesDomain>(JsonPreferencesDomain::defaultFilePath(), log);
    loginItem_ = std::make_unique<XdgLoginItem>(log);
    settings_ = std::make_unique<SettingsStore>(*preferences_, KeychainStore::shared(), *loginItem_,
                                                [] { return QLocale::system().uiLanguages(); });
    SettingsStore::setShared(settings_.get());

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

    bus_ = std::make_unique<AgentEventBus>(*settings_, *sessions_);
    AgentEventBus::setShared(bus_.get());
    sessions_->start();
    bus_->start();

    notifications_->requestAuthorization();
    runInitialAgentDetection(*settings_);
}

} // namespace nubbo
