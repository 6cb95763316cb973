// What the three-step onboarding window shows and does, for its QML: its texts, the pet sources, the agents
// enabled by default with their switches, detection and the bridge installation.
#pragma once

#include "shell/models/HookBridgeFlow.h"

#include <QDir>
#include <QObject>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

namespace nubbo {

class AgentStatuses;
class HookInstaller;
class SettingsStore;

class OnboardingModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantMap texts READ texts NOTIFY languageChanged)
    Q_PROPERTY(QVariantMap options READ options NOTIFY languageChanged)
    // [{id, title, symbol}] of the catalogue agents enabled by default, in catalogue order.
    Q_PROPERTY(QVariantList agents READ agents CONSTANT)
    // id → AgentStatus raw value, as last detected.
    Q_PROPERTY(QVariantMap statuses READ statuses NOTIFY statusesChanged)
    Q_PROPERTY(bool bridgeInstalled READ bridgeInstalled NOTIFY bridgeChanged)
    Q_PROPERTY(QUrl mascotUrl READ mascotUrl CONSTANT)
    // Where the file panels start.
    Q_PROPERTY(QUrl homeFolder READ homeFolder CONSTANT)

public:
    // detectAgents: every agent's status as at launch.
    OnboardingModel(SettingsStore& settings, const HookInstaller& installer, const AgentStatuses& statuses,
                    std::function<void()> detectAgents, QString resourcesDirectory, QObject* parent = nullptr);

    QVariantMap texts() const;
    QVariantMap options() const;
    QVariantList agents() const;
    QVariantMap statuses() const;
    bool bridgeInstalled() const { return bridgeInstalled_; }
    QUrl mascotUrl() const;
    static QUrl homeFolder() { return QUrl::fromLocalFile(QDir::homePath()); }

    Q_INVOKABLE void runDetection();
    // The onboarding's own confirmation, listing every file the install changes; install() answers {ok} or
    // {ok: false, title, text}.
    Q_INVOKABLE QVariantMap installPrompt() const;
    Q_INVOKABLE QVariantMap install();
    // Get Started: the window closes and lets go of the onboarding.
    Q_INVOKABLE void complete();

Q_SIGNALS:
    void languageChanged();
    void statusesChanged();
    void bridgeChanged();
    void completed();

private:
    void refresh();

    SettingsStore& settings_;
    const AgentStatuses& statuses_;
    std::function<void()> detectAgents_;
    QString resourcesDirectory_;
    HookBridgeFlow bridge_;
    bool bridgeInstalled_ = false;
};

} // namespace nubbo
