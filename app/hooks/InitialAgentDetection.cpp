#include "hooks/InitialAgentDetection.h"

#include "hooks/AgentStatuses.h"

namespace nubbo {

void runInitialAgentDetection(AgentStatuses& statuses, const AgentProbe& probe) {
    for (const AgentProvider& provider : AgentProvider::allCases()) {
        AgentStatus status = AgentStatus::notFound;
        if (probe.isRunning(provider))
            status = AgentStatus::running;
        else if (probe.commandPath(provider))
            status = AgentStatus::connected;
        statuses.setStatus(provider.rawValue(), status);
    }
}

} // namespace nubbo
