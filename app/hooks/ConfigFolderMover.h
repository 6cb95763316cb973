// Moves an agent's hooks when its config folder changes, by whatever path the change came (the settings
// window, an import, a reset): the old folder is unwired, the new one wired, and what failed is kept on the
// agent's statuses for the settings window to show.
#pragma once

#include <QObject>

namespace nubbo {

class AgentStatuses;
class HookInstaller;
class SettingsStore;

// Lives on the main thread with the store; the store, the installer and the statuses must outlive it.
class ConfigFolderMover : public QObject {
    Q_OBJECT

public:
    ConfigFolderMover(SettingsStore& store, const HookInstaller& installer, AgentStatuses& statuses,
                      QObject* parent = nullptr);

private:
    void move(const QString& id, const QString& previousFolder);

    const HookInstaller& installer_;
    AgentStatuses& statuses_;
};

} // namespace nubbo
