#include "hooks/ConfigFolderMover.h"

#include "hooks/AgentStatuses.h"
#include "hooks/HookInstaller.h"
#include "common/ProviderRegistry.h"
#include "settings/SettingsStore.h"

namespace nubbo {

ConfigFolderMover::ConfigFolderMover(SettingsStore& store, const HookInstaller& installer, AgentStatuses& statuses,
                                     QObject* parent)
    : QObject(parent), installer_(installer), statuses_(statuses) {
    // Direct: whoever changed the folder finds the outcome on the statuses as soon as the setter returns.
    connect(&store, &SettingsStore::configFolderChanged, this, &ConfigFolderMover::move, Qt::DirectConnection);
}

void ConfigFolderMover::move(const QString& id, const QString& previousFolder) {
    const ProviderSpec* spec = ProviderRegistry::spec(id.toStdString());
    if (!spec)
        return;
    const HookInstallResult result = installer_.changeConfigFolder(*spec, previousFolder);
    statuses_.setFolderProblem(id, result.message(QStringLiteral("\n")));
}

} // namespace nubbo
