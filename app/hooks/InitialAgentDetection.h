// The statuses the app starts with, before the detector has seen any agent come or go.
#pragma once

#include "hooks/AgentDetector.h"

namespace nubbo {

class SettingsStore;

// For every catalogue agent, in catalogue order: running when its program runs, else connected when its
// command is installed, else notFound. Written on the calling thread, which must be the store's.
void runInitialAgentDetection(SettingsStore& store, const AgentProbe& probe = {});

} // namespace nubbo
