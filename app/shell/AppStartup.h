// Builds the app's services in order and starts them. Later stages (the bus, the pet) plug in here.
#pragma once

#include "LocalSocketServer.h"

#include <QHash>
#include <QUuid>

#include <memory>
#include <mutex>

namespace nubbo {

class JsonPreferencesDomain;
class KeychainStore;
class SettingsStore;
class XdgLoginItem;

class AppStartup {
public:
    AppStartup();
    ~AppStartup();
    void run();

private:
    // Until the event bus exists, events are logged and permission requests stay parked.
    void onEvent(const AgentEvent& event, LocalSocketServer::Reply reply);

    std::unique_ptr<JsonPreferencesDomain> preferences_;
    std::unique_ptr<XdgLoginItem> loginItem_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<LocalSocketServer> server_;
    std::mutex parkedMutex_;
    QHash<QUuid, LocalSocketServer::Reply> parked_;
};

} // namespace nubbo
