// Installing and removing the hook bridge as the user does it from a window: the confirmation listing the
// files that will change, the installer run, the warning when it fails, and whether the bridge is in place.
#pragma once

#include "core/SettingsEnums.h"
#include "shell/models/ShellAlert.h"

#include <QStringList>

#include <functional>
#include <optional>

namespace nubbo {

class HookInstaller;
class SettingsStore;
struct ShownFolders;

class HookBridgeFlow {
public:
    // Which window asks: the onboarding words its alert for the agents it shows.
    enum class Scope { settings, onboarding };
    using Refresh = std::function<void()>;

    // refreshStatuses runs after every install and removal (the agent statuses as at launch).
    HookBridgeFlow(SettingsStore& settings, const HookInstaller& installer, Refresh refreshStatuses);

    // The configuration paths (in the agent's chosen folder, the home written "~"), in catalogue order, of every
    // enabled agent:
    // the files an install changes. The onboarding lists them all too, also an agent it does not show that
    // was switched on in the settings, since install() wires it all the same.
    QStringList configPaths() const;
    ShellAlert installPrompt(Scope scope, Language language) const;
    // Runs the installer; the warning to show when it failed.
    std::optional<ShellAlert> install(Language language) const;
    ShellAlert removePrompt(Language language) const;
    // Runs the removal; the warning naming every agent whose entries could not be taken out.
    std::optional<ShellAlert> remove(Language language) const;
    // Some agent is enabled and every enabled one is wired.
    bool installed() const;

private:
    // The data folder the alert names: the one the installer keeps its backups in.
    ShownFolders shownFolders() const;

    SettingsStore& settings_;
    const HookInstaller& installer_;
    Refresh refreshStatuses_;
};

} // namespace nubbo
