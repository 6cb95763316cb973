// What the settings window shows and does, for its QML: the texts in the effective language, the choices of
// every picker, the agents and the bridge state, and the flows behind the buttons. The flows answer with the
// alert to show, so they run without any dialog in the tests.
#pragma once

#include "shell/models/HookBridgeFlow.h"
#include "shell/models/RemoteHostsModel.h"

#include <QJsonObject>
#include <QDir>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace nubbo {

class AgentStatuses;
class HookInstaller;
class SecretStore;
class SettingsStore;

// What the window reaches beyond the store and the installer; each empty member does nothing.
struct SettingsWindowServices {
    // Every agent's status as at launch.
    std::function<void()> detectAgents;
    std::function<void()> resetPetPosition;
    std::function<void()> openOnboarding;
    // Shows a folder in the file manager.
    std::function<void(const QUrl&)> openUrl;
    // Asks the desktop's notification service who it is: "<name> <version>", nothing when none answers.
    std::function<void(std::function<void(std::optional<QString>)>)> checkNotificationService;
    // The folder the pet pictures and packs are kept in.
    std::function<QString()> petFolder;
    QString applicationSupport;
    QString logsFolder;
    QString socketPath;
    // The bundle's Contents/Resources, for the logo and the mascot.
    QString resourcesDirectory;
};

class SettingsWindowModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantMap texts READ texts NOTIFY languageChanged)
    // Picker name → [{value, title, detail}], in the order the pickers list them.
    Q_PROPERTY(QVariantMap options READ options NOTIFY languageChanged)
    Q_PROPERTY(QVariantList categories READ categories NOTIFY languageChanged)
    // [{id, title, symbol, confirmed, folderVariable}], in catalogue order; folderVariable is empty for an
    // agent no variable of its own moves.
    Q_PROPERTY(QVariantList agents READ agents CONSTANT)
    // id → {folder, custom, offer, offerLine, problem} for the agents whose config folder can move: the folder
    // in use (the home written "~"), whether the user chose it, the folder a running agent uses instead and
    // the line saying so (empty when none), and why the hooks could not move (empty when they could).
    Q_PROPERTY(QVariantMap folders READ folders NOTIFY foldersChanged)
    // id → AgentStatus raw value, as last detected.
    Q_PROPERTY(QVariantMap statuses READ statuses NOTIFY statusesChanged)
    Q_PROPERTY(bool bridgeInstalled READ bridgeInstalled NOTIFY bridgeChanged)
    // What Codex still needs before it runs the hooks; empty when nothing.
    Q_PROPERTY(QString codexHint READ codexHint NOTIFY bridgeChanged)
    Q_PROPERTY(QString socketLine READ socketLine NOTIFY languageChanged)
    Q_PROPERTY(QUrl logoUrl READ logoUrl CONSTANT)
    Q_PROPERTY(QUrl mascotUrl READ mascotUrl CONSTANT)
    // Where the file panels start.
    Q_PROPERTY(QUrl homeFolder READ homeFolder CONSTANT)
    // The Remote hosts card.
    Q_PROPERTY(nubbo::RemoteHostsModel* remoteHosts READ remoteHosts CONSTANT)

public:
    SettingsWindowModel(SettingsStore& settings, const HookInstaller& installer, const AgentStatuses& statuses,
                        SecretStore& secrets, SettingsWindowServices services, QObject* parent = nullptr);

    QVariantMap texts() const;
    QVariantMap options() const;
    QVariantList categories() const;
    QVariantList agents() const;
    QVariantMap statuses() const;
    QVariantMap folders() const;
    bool bridgeInstalled() const { return bridgeInstalled_; }
    QString codexHint() const { return codexHint_; }
    QString socketLine() const;
    QUrl logoUrl() const;
    QUrl mascotUrl() const;
    static QUrl homeFolder() { return QUrl::fromLocalFile(QDir::homePath()); }
    RemoteHostsModel* remoteHosts() const { return remoteHosts_; }

    // Reads the bridge state and Codex's review again (the window calls it whenever it is shown).
    Q_INVOKABLE void refresh();

    // The confirmation before installing; install() runs the installer and answers {ok} or {ok: false,
    // title, text} with the warning.
    Q_INVOKABLE QVariantMap installPrompt() const;
    Q_INVOKABLE QVariantMap install();
    Q_INVOKABLE QVariantMap removePrompt() const;
    // Answers like install(): {ok}, or the warning naming each agent the removal could not unwire.
    Q_INVOKABLE QVariantMap remove();

    // The folder the dialog chose, the default one, or the one on offer: each moves the agent's hooks there
    // and answers like install(): {ok}, or the warning naming what could not be moved.
    Q_INVOKABLE QVariantMap chooseConfigFolder(const QString& id, const QUrl& folder);
    Q_INVOKABLE QVariantMap useDefaultConfigFolder(const QString& id);
    Q_INVOKABLE QVariantMap takeOfferedFolder(const QString& id);
    // Where the folder dialog opens: the agent's folder in use.
    Q_INVOKABLE QUrl configFolderUrl(const QString& id) const;

    // False when the file could not be written (dropped without a message, as a cancelled panel is).
    Q_INVOKABLE bool exportSettings(const QUrl& file) const;
    // {ok: false, title, text} for a file that is not a settings document; otherwise {ok: true} with the
    // confirmation, whose first button goes on to confirmImport(). When the document changes approvals or
    // what leaves the computer, the confirmation also holds changesHeading and changes ([{key, label, change,
    // weakens}], weakening ones first); warning and destructive say whether any weakens the approvals.
    Q_INVOKABLE QVariantMap readImport(const QUrl& file);
    Q_INVOKABLE void confirmImport();

    // Every setting back to its default, then the pet back to its place.
    Q_INVOKABLE void resetAll();
    Q_INVOKABLE void resetPetPosition();
    Q_INVOKABLE void runDetection();
    Q_INVOKABLE void rerunOnboarding();
    Q_INVOKABLE void openApplicationSupport();
    Q_INVOKABLE void openPetFolder();
    // Asks the notification service again; the answer comes as notificationCheckFinished with the alert.
    Q_INVOKABLE void requestNotificationPermission();

    // The command editors: one entry per line; blank lines and the spaces around an entry are dropped.
    Q_INVOKABLE QString commandsText(const QString& list) const;
    Q_INVOKABLE void setCommandsText(const QString& list, const QString& text);
    // Whether the editor's text already says what the store holds (then it is left as the user typed it).
    Q_INVOKABLE bool commandsMatch(const QString& list, const QString& text) const;
    static QStringList parseCommands(const QString& text);

    // The summary API key of a provider (by raw value), through the keychain.
    Q_INVOKABLE QString apiKey(const QString& providerRaw) const;
    Q_INVOKABLE void setApiKey(const QString& providerRaw, const QString& key);
    // What keeps the summary from sending to this endpoint, as the key of its text; empty when nothing does.
    Q_INVOKABLE QString summaryEndpointProblem(const QString& url) const;

Q_SIGNALS:
    void languageChanged();
    void statusesChanged();
    void foldersChanged();
    void bridgeChanged();
    void notificationCheckFinished(const QVariantMap& alert);

private:
    Language language() const;
    QVariantMap moveConfigFolder(const QString& id, const QString& folder);

    SettingsStore& settings_;
    const HookInstaller& installer_;
    const AgentStatuses& statuses_;
    SecretStore& secrets_;
    SettingsWindowServices services_;
    HookBridgeFlow bridge_;
    bool bridgeInstalled_ = false;
    QString codexHint_;
    std::optional<QJsonObject> pendingImport_;
    RemoteHostsModel* remoteHosts_;
};

} // namespace nubbo
