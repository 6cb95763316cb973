#include "shell/models/HookBridgeFlow.h"

#include "hooks/ConfigFolders.h"
#include "hooks/HookInstaller.h"
#include "common/ProviderRegistry.h"
#include "settings/SettingsStore.h"
#include "shell/models/SettingsTexts.h"

#include <QDir>
#include <QFileInfo>

namespace nubbo {

HookBridgeFlow::HookBridgeFlow(SettingsStore& settings, const HookInstaller& installer, Refresh refreshStatuses)
    : settings_(settings), installer_(installer), refreshStatuses_(std::move(refreshStatuses)) {}

QStringList HookBridgeFlow::configPaths() const {
    QStringList paths;
    for (const ProviderSpec& spec : ProviderRegistry::all())
        if (settings_.enabled(QString::fromStdString(spec.id)))
            paths.append(ConfigFolders::shown(installer_.configPath(spec), installer_.home()));
    return paths;
}

ShownFolders HookBridgeFlow::shownFolders() const {
    ShownFolders folders;
    const QString backups = installer_.backupsDirectory();
    if (!backups.isEmpty())
        folders.data = ShownFolders::of(QFileInfo(backups).path(), {}, QDir::homePath()).data;
    return folders;
}

ShellAlert HookBridgeFlow::installPrompt(Scope scope, Language language) const {
    const auto wording = scope == Scope::settings ? SettingsTexts::InstallWording::settings
                                                  : SettingsTexts::InstallWording::onboarding;
    return {SettingsTexts::text(QStringLiteral("installPromptTitle"), language),
            SettingsTexts::installPromptText(configPaths(), wording, language, shownFolders()),
            SettingsTexts::text(QStringLiteral("install"), language),
            SettingsTexts::text(QStringLiteral("cancel"), language)};
}

std::optional<ShellAlert> HookBridgeFlow::install(Language language) const {
    const HookInstallResult result = installer_.install();
    if (refreshStatuses_)
        refreshStatuses_();
    if (result.ok())
        return std::nullopt;
    // Each agent that failed on a line of its own; the others are wired.
    return ShellAlert{SettingsTexts::text(QStringLiteral("installFailed"), language), result.message(),
                      SettingsTexts::text(QStringLiteral("ok"), language), QString(), true};
}

ShellAlert HookBridgeFlow::removePrompt(Language language) const {
    return {SettingsTexts::text(QStringLiteral("removePromptTitle"), language),
            SettingsTexts::text(QStringLiteral("removePromptText"), language),
            SettingsTexts::text(QStringLiteral("remove"), language),
            SettingsTexts::text(QStringLiteral("cancel"), language)};
}

std::optional<ShellAlert> HookBridgeFlow::remove(Language language) const {
    const HookInstallResult result = installer_.uninstall();
    if (refreshStatuses_)
        refreshStatuses_();
    if (result.ok())
        return std::nullopt;
    return ShellAlert{SettingsTexts::text(QStringLiteral("removeFailed"), language), result.message(),
                      SettingsTexts::text(QStringLiteral("ok"), language), QString(), true};
}

bool HookBridgeFlow::installed() const {
    const QMap<QString, bool> wired = installer_.status();
    bool any = false;
    for (const ProviderSpec& spec : ProviderRegistry::all()) {
        const QString id = QString::fromStdString(spec.id);
        if (!settings_.enabled(id))
            continue;
        any = true;
        if (!wired.value(id))
            return false;
    }
    return any;
}

} // namespace nubbo
