#include "hooks/InitialAgentDetection.h"

#include "settings/SettingsStore.h"

namespace nubbo {

void runInitialAgentDetection(SettingsStore& store, const AgentProbe& probe) {
    for (const AgentProvider& provider : AgentProvider::allCases()) {
        AgentStatus status = AgentStatus::notFound;
        if (probe.isRunning(provider))
            status = AgentStatus::running;
        else if (probe.commandPath(provider))
            status = AgentStatus::connected;
        store.setStatus(provider.rawValue(), status);
    }
}

} // namespace nubbo
