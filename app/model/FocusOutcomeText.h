// The pet's one line on why going to an agent's terminal did not work, in the user's language.
#pragma once

#include "core/SettingsEnums.h"
#include "model/FocusOutcome.h"

#include <QString>

namespace nubbo {

// agent: the agent's display title ("Claude Code"). Empty for focused: there is nothing to say.
QString focusOutcomeLine(FocusOutcome outcome, const QString& agent, Language language);

} // namespace nubbo
