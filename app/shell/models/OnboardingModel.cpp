#include "shell/models/OnboardingModel.h"

#include "common/ProviderRegistry.h"
#include "hooks/AgentStatuses.h"
#include "settings/SettingsStore.h"
#include "shell/models/SettingsTexts.h"

#include <QDir>

namespace nubbo {

OnboardingModel::OnboardingModel(SettingsStore& settings, const HookInstaller& installer,
                                 const AgentStatuses& statuses, std::function<void()> detectAgents,
                                 QString resourcesDirectory, QObject* parent)
    : QObject(parent), settings_(settings), statuses_(statuses), detectAgents_(std::move(detectAgents)),
      resourcesDirectory_(std::move(resourcesDirectory)), bridge_(settings, installer, detectAgents_) {
    connect(&statuses_, &AgentStatuses::statusesChanged, this, &OnboardingModel::statusesChanged);
    connect(&settings_, &SettingsStore::effectiveLanguageChanged, this, &OnboardingModel::languageChanged);
    // The page says "installed" only once the agents switched on now are wired.
    connect(&settings_, &SettingsStore::enabledChanged, this, &OnboardingModel::refresh);
    refresh();
}

QVariantMap OnboardingModel::texts() const { return SettingsTexts::table(settings_.effectiveLanguage()); }

QVariantMap OnboardingModel::options() const { return SettingsTexts::options(settings_.effectiveLanguage()); }

QVariantList OnboardingModel::agents() const {
    QVariantList list;
    for (const ProviderSpec& spec : ProviderRegistry::all()) {
        if (!spec.confirmed)
            continue;
        list.append(QVariantMap{{QStringLiteral("id"), QString::fromStdString(spec.id)},
                                {QStringLiteral("title"), QString::fromStdString(spec.title)},
                                {QStringLiteral("symbol"), QString::fromStdString(spec.iconName)}});
    }
    return list;
}

QVariantMap OnboardingModel::statuses() const { return statuses_.statusesMap(); }

QUrl OnboardingModel::mascotUrl() const {
    return QUrl::fromLocalFile(QDir(resourcesDirectory_).filePath(QStringLiteral("Mascot.png")));
}

void OnboardingModel::refresh() {
    const bool installed = bridge_.installed();
    if (installed == bridgeInstalled_)
        return;
    bridgeInstalled_ = installed;
    Q_EMIT bridgeChanged();
}

void OnboardingModel::runDetection() {
    if (detectAgents_)
        detectAgents_();
}

QVariantMap OnboardingModel::installPrompt() const {
    return bridge_.installPrompt(HookBridgeFlow::Scope::onboarding, settings_.effectiveLanguage())
        .toVariantMap();
}

QVariantMap OnboardingModel::install() {
    const std::optional<ShellAlert> failure = bridge_.install(settings_.effectiveLanguage());
    refresh();
    return ShellAlert::outcome(failure);
}

void OnboardingModel::complete() { Q_EMIT completed(); }

} // namespace nubbo
