#include "AppStartup.h"

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
    server_.reset();  // stops intake before the services it reaches go away
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

    server_ = std::make_unique<LocalSocketServer>();
    server_->setOnEvent([this](const AgentEvent& event, LocalSocketServer::Reply reply) { onEvent(event, reply); });
    server_->setOnParkedReleased([this](const QUuid& id) {
        std::lock_guard lock(parkedMutex_);
        parked_.remove(id);
    });
    server_->start();
}

void AppStartup::onEvent(const AgentEvent& event, LocalSocketServer::Reply reply) {
    NubboLog::log(QStringLiteral("event %1 %2: %3")
                      .arg(event.provider.rawValue(), rawValue(event.type), event.message));
    if (event.type != AgentEventType::approvalRequired) return;
    std::lock_guard lock(parkedMutex_);
    parked_.insert(event.id, std::move(reply));
}

} // namespace nubbo
