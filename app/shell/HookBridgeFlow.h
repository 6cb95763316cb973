// Installing and removing the hook bridge as the user does it from a window: the confirmation listing the
// files that will change, the installer run, the warning when it fails, and whether the bridge is in place.
#pragma once

#include "SettingsEnums.h"
#include "ShellAlert.h"

#include <QStringList>

#include <functional>
#include <optional>

namespace nubbo {

class HookInstaller;
class SettingsStore;

class HookBridgeFlow {
public:
    // The settings window lists every enabled agent; onboarding shows and lists only the agents enabled by
    // default that are still enabled.
    enum class Scope { enabled, confirmedEnabled };
    using Refresh = std::function<void()>;

    // refreshStatuses runs after every install and removal (the agent statuses as at launch).
    HookBridgeFlow(SettingsStore& settings, const HookInstaller& installer, Refresh refreshStatuses);

    // The agents' configuration paths relative to the home folder, in catalogue order.
    QStringList configPaths(Scope scope) const;
    ShellAlert installPrompt(Scope scope, Language language) const;
    // Runs the installer; the warning to show when it failed.
    std::optional<ShellAlert> install(Language language) const;
    ShellAlert removePrompt(Language language) const;
    void remove() const;
    // Some agent is enabled and every enabled one is wired.
    bool installed() const;

private:
    SettingsStore& settings_;
    const HookInstaller& installer_;
    Refresh refreshStatuses_;
};

} // namespace nubbo
