// Builds the app's services in order and starts them. Later stages (the bus, the pet) plug in here.
#pragma once

#include <memory>

namespace nubbo {

class AgentEventBus;
class EventSink;
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
    std::unique_ptr<JsonPreferencesDomain> preferences_;
    std::unique_ptr<XdgLoginItem> loginItem_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<EventSink> sink_;  // the session store takes this place next
    std::unique_ptr<AgentEventBus> bus_;
};

} // namespace nubbo
