// Where an agent's configuration is when the user, or the agent's own environment variable, puts its config
// folder somewhere other than the default (CLAUDE_CONFIG_DIR=/x: /x/settings.json).
#pragma once

#include "common/ProviderSpec.h"

#include <QString>

namespace nubbo::ConfigFolders {

// Whether a variable of the agent's own moves its config folder.
inline bool movable(const ProviderSpec& spec) { return !spec.configFolderVariable.empty(); }
// The folder the agent reads while its variable is unset: absolute, under the home.
QString defaultFolder(const ProviderSpec& spec, const QString& home);
// The agent's configuration file (or folder) inside `folder`; the default one for an empty folder, a
// relative one, or an agent no variable moves.
QString configPath(const ProviderSpec& spec, const QString& home, const QString& folder);
// The folder a value of the variable names: an absolute path, or one starting with "~/" (the home), cleaned.
// Empty for an empty or relative value, which names no folder the app can know.
QString fromVariable(const QString& value, const QString& home);
// The home written "~" for the views.
QString shown(const QString& folder, const QString& home);

} // namespace nubbo::ConfigFolders
