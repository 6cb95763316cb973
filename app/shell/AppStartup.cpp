#include "AppStartup.h"

#include "AgentEventBus.h"
#include "EventSink.h"
#include "InitialAgentDetection.h"
#include "JsonPreferencesDomain.h"
#include "KeychainStore.h"
#include "LoginItem.h"
#include "NubboLog.h"
#include "SettingsStore.h"

#include <QLocale>

#include <csignal>

namespace nubbo {

AppStartup::AppStartup() = default;

AppStartup::~AppStartup() {
    bus_.reset();  // stops intake and detection before the services they reach go away
}

void AppStartup::run() {
    // A producer that hangs up must never take the app down with it.
    std::signal(SIGPIPE, SIG_IGN);
    NubboLog::log(QStringLiteral("nubbo starting"));

    const auto log = [](const QString& line) { NubboLog::log(line); };
    preferences_ = std::make_unique<JsonPreferencesDomain>(JsonPreferencesDomain::defaultFilePath(), log);
    loginItem_ = std::make_unique<XdgLoginItem>(log);
    settings_ = std::make_unique<SettingsStore>(*preferences_, KeychainStore::shared(), *loginItem_,
                                                [] { return QLocale::system().uiLanguages(); });
    SettingsStore::setShared(settings_.get());

    sink_ = std::make_unique<LoggingEventSink>();
    bus_ = std::make_unique<AgentEventBus>(*settings_, *sink_);
    AgentEventBus::setShared(bus_.get());
    bus_->start();

    runInitialAgentDetection(*settings_);
}

} // namespace nubbo
