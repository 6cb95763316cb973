// The statuses the app starts with, before the detector has seen any agent come or go.
#pragma once

#include "hooks/AgentDetector.h"

namespace nubbo {

class AgentStatuses;

// For every catalogue agent, in catalogue order: running when its program runs, else connected when its
// command is installed, else notFound. Written on the calling thread, which must be the statuses'.
void runInitialAgentDetection(AgentStatuses& statuses, const AgentProbe& probe = {});

} // namespace nubbo
