// How the pet names an agent: its title, and the machine it runs on when that is not this one.
#pragma once

#include "core/SettingsEnums.h"
#include "model/AgentEvent.h"

#include <QString>

#include <optional>

namespace nubbo {

// "Claude", or "Claude on build-box" ("build-box 上的 Claude") for an agent on another machine.
QString agentTitle(const AgentProvider& provider, const std::optional<QString>& host, Language language);

} // namespace nubbo
