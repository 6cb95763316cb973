#include "shell/models/SettingsWindowModel.h"

#include "hooks/AgentStatuses.h"
#include "hooks/CodexHookReview.h"
#include "hooks/ConfigFolders.h"
#include "hooks/HookInstaller.h"
#include "common/ProviderRegistry.h"
#include "platform/SecretStore.h"
#include "shell/models/SettingsFile.h"
#include "settings/SettingsStore.h"
#include "shell/models/SettingsTexts.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace nubbo {

namespace {

QString apiKeyName(SummaryProvider provider) { return QStringLiteral("apiKey.") + rawValue(provider); }

} // namespace

SettingsWindowModel::SettingsWindowModel(SettingsStore& settings, const HookInstaller& installer,
                                         const AgentStatuses& statuses, SecretStore& secrets,
                                         SettingsWindowServices services, QObject* parent)
    : QObject(parent), settings_(settings), installer_(installer), statuses_(statuses), secrets_(secrets),
      services_(std::move(services)), bridge_(settings, installer, services_.detectAgents),
      remoteHosts_(new RemoteHostsModel([this] { return language(); }, this)) {
    connect(&statuses_, &AgentStatuses::statusesChanged, this, &SettingsWindowModel::statusesChanged);
    connect(&statuses_, &AgentStatuses::foldersChanged, this, &SettingsWindowModel::foldersChanged);
    connect(&settings_, &SettingsStore::configFoldersChanged, this, &SettingsWindowModel::foldersChanged);
    connect(this, &SettingsWindowModel::languageChanged, this, &SettingsWindowModel::foldersChanged);
    connect(&settings_, &SettingsStore::effectiveLanguageChanged, this, [this] {
        Q_EMIT languageChanged();
        refresh();
    });
    // Switching an agent on or off changes what "installed" means.
    connect(&settings_, &SettingsStore::enabledChanged, this, &SettingsWindowModel::refresh);
    refresh();
}

Language SettingsWindowModel::language() const { return settings_.effectiveLanguage(); }

QVariantMap SettingsWindowModel::texts() const {
    if (services_.applicationSupport.isEmpty())
        return SettingsTexts::table(language());
    return SettingsTexts::table(language(),
                                ShownFolders::of(services_.applicationSupport, services_.logsFolder, QDir::homePath()));
}

QVariantMap SettingsWindowModel::options() const { return SettingsTexts::options(language()); }

QVariantList SettingsWindowModel::categories() const {
    QVariantList list;
    for (const SettingsCategory& category : SettingsTexts::categories(language()))
        list.append(QVariantMap{{QStringLiteral("id"), category.id},
                                {QStringLiteral("symbol"), category.symbol},
                                {QStringLiteral("title"), category.title},
                                {QStringLiteral("blurb"), category.blurb}});
    return list;
}

QVariantList SettingsWindowModel::agents() const {
    QVariantList list;
    for (const ProviderSpec& spec : ProviderRegistry::all())
        list.append(QVariantMap{{QStringLiteral("id"), QString::fromStdString(spec.id)},
                                {QStringLiteral("title"), QString::fromStdString(spec.title)},
                                {QStringLiteral("symbol"), QString::fromStdString(spec.iconName)},
                                {QStringLiteral("confirmed"), spec.confirmed},
                                {QStringLiteral("folderVariable"), QString::fromStdString(spec.configFolderVariable)}});
    return list;
}

QVariantMap SettingsWindowModel::folders() const {
    const QString home = installer_.home();
    QVariantMap map;
    for (const ProviderSpec& spec : ProviderRegistry::all()) {
        if (!ConfigFolders::movable(spec))
            continue;
        const QString id = QString::fromStdString(spec.id);
        const QString chosen = settings_.configFolder(id);
        const QString offer = ConfigFolders::shown(statuses_.offeredFolder(id), home);
        map.insert(id, QVariantMap{
            {QStringLiteral("folder"),
             ConfigFolders::shown(chosen.isEmpty() ? ConfigFolders::defaultFolder(spec, home) : chosen, home)},
            {QStringLiteral("custom"), !chosen.isEmpty()},
            {QStringLiteral("offer"), offer},
            {QStringLiteral("offerLine"),
             offer.isEmpty() ? QString()
                             : SettingsTexts::text(QStringLiteral("folderOffer"), language())
                                   .arg(QString::fromStdString(spec.title),
                                        QString::fromStdString(spec.configFolderVariable), offer)},
            {QStringLiteral("problem"), statuses_.folderProblem(id)},
        });
    }
    return map;
}

QVariantMap SettingsWindowModel::moveConfigFolder(const QString& id, const QString& folder) {
    const ProviderSpec* spec = ProviderRegistry::spec(id.toStdString());
    if (!spec || !ConfigFolders::movable(*spec))
        return ShellAlert::outcome(std::nullopt);
    // The default folder chosen by name is the default: it moves with the home, as the agent's does.
    const QString chosen = folder == ConfigFolders::defaultFolder(*spec, installer_.home()) ? QString() : folder;
    if (chosen == settings_.configFolder(id))
        return ShellAlert::outcome(std::nullopt);
    // The store announces the change, and the hooks move before it returns.
    settings_.setConfigFolder(id, chosen);
    refresh();
    const QString problem = statuses_.folderProblem(id);
    if (problem.isEmpty())
        return ShellAlert::outcome(std::nullopt);
    return ShellAlert::outcome(ShellAlert{
        SettingsTexts::text(QStringLiteral("folderMoveFailed"), language()).arg(QString::fromStdString(spec->title)),
        problem, SettingsTexts::text(QStringLiteral("ok"), language()), QString(), true});
}

QVariantMap SettingsWindowModel::chooseConfigFolder(const QString& id, const QUrl& folder) {
    if (!folder.isLocalFile())
        return ShellAlert::outcome(std::nullopt);
    return moveConfigFolder(id, QDir::cleanPath(folder.toLocalFile()));
}

QVariantMap SettingsWindowModel::useDefaultConfigFolder(const QString& id) { return moveConfigFolder(id, QString()); }

QVariantMap SettingsWindowModel::takeOfferedFolder(const QString& id) {
    const QString offer = statuses_.offeredFolder(id);
    return offer.isEmpty() ? ShellAlert::outcome(std::nullopt) : moveConfigFolder(id, offer);
}

QUrl SettingsWindowModel::configFolderUrl(const QString& id) const {
    const ProviderSpec* spec = ProviderRegistry::spec(id.toStdString());
    if (!spec)
        return homeFolder();
    const QString chosen = settings_.configFolder(id);
    QString folder = chosen.isEmpty() ? ConfigFolders::defaultFolder(*spec, installer_.home()) : chosen;
    // A folder not made yet opens at the nearest one that is there.
    while (!QFileInfo(folder).isDir() && folder != QDir::rootPath())
        folder = QFileInfo(folder).path();
    return QUrl::fromLocalFile(folder);
}

QString SettingsWindowModel::socketLine() const {
    return SettingsTexts::text(QStringLiteral("socketPrefix"), language()) + services_.socketPath;
}

QVariantMap SettingsWindowModel::statuses() const { return statuses_.statusesMap(); }

QUrl SettingsWindowModel::logoUrl() const {
    return QUrl::fromLocalFile(QDir(services_.resourcesDirectory).filePath(QStringLiteral("AppLogo.png")));
}

QUrl SettingsWindowModel::mascotUrl() const {
    return QUrl::fromLocalFile(QDir(services_.resourcesDirectory).filePath(QStringLiteral("Mascot.png")));
}

void SettingsWindowModel::refresh() {
    const bool installed = bridge_.installed();
    QString hint;
    if (const ProviderSpec* codex = ProviderRegistry::spec("codex");
        codex && settings_.enabled(QStringLiteral("codex")) &&
        CodexHookReview::check(installer_.configPath(*codex)).status == CodexHookReview::Status::unreviewed)
        hint = SettingsTexts::text(QStringLiteral("codexReviewHint"), language());
    if (installed == bridgeInstalled_ && hint == codexHint_)
        return;
    bridgeInstalled_ = installed;
    codexHint_ = hint;
    Q_EMIT bridgeChanged();
}

QVariantMap SettingsWindowModel::installPrompt() const {
    return bridge_.installPrompt(HookBridgeFlow::Scope::settings, language()).toVariantMap();
}

QVariantMap SettingsWindowModel::install() {
    const std::optional<ShellAlert> failure = bridge_.install(language());
    refresh();
    return ShellAlert::outcome(failure);
}

QVariantMap SettingsWindowModel::removePrompt() const { return bridge_.removePrompt(language()).toVariantMap(); }

QVariantMap SettingsWindowModel::remove() {
    const std::optional<ShellAlert> failure = bridge_.remove(language());
    refresh();
    return ShellAlert::outcome(failure);
}

bool SettingsWindowModel::exportSettings(const QUrl& file) const {
    return file.isLocalFile() && exportToFile(settings_, file.toLocalFile());
}

QVariantMap SettingsWindowModel::readImport(const QUrl& file) {
    pendingImport_.reset();
    const SettingsFileReading reading = readSettingsFile(file.toLocalFile(), settings_);
    if (const auto* alert = std::get_if<SettingsFileAlert>(&reading)) {
        return ShellAlert::outcome(
            ShellAlert{alert->title, alert->text, SettingsTexts::text(QStringLiteral("ok"), language()), QString(), true});
    }
    const auto& confirmation = std::get<SettingsImportConfirmation>(reading);
    pendingImport_ = confirmation.settings;
    QVariantList changes;
    bool weakens = false;
    for (const SettingsImportChange& change : confirmation.changes) {
        changes.append(QVariantMap{{QStringLiteral("key"), change.key},
                                   {QStringLiteral("label"), change.label},
                                   {QStringLiteral("change"), change.change},
                                   {QStringLiteral("weakens"), change.weakens}});
        weakens = weakens || change.weakens;
    }
    // An import that lets more run without asking is announced like any other risky step.
    QVariantMap result = ShellAlert{confirmation.title, confirmation.text, confirmation.importButton,
                                    confirmation.cancelButton, weakens}
                             .toVariantMap();
    result.insert(QStringLiteral("ok"), true);
    result.insert(QStringLiteral("destructive"), weakens);
    if (!changes.isEmpty()) {
        result.insert(QStringLiteral("changesHeading"), confirmation.changesHeading);
        result.insert(QStringLiteral("changes"), changes);
    }
    return result;
}

void SettingsWindowModel::confirmImport() {
    if (!pendingImport_)
        return;
    const QJsonObject document = *pendingImport_;
    pendingImport_.reset();
    importConfirmed(settings_, document);
}

void SettingsWindowModel::resetAll() {
    settings_.resetAll();
    resetPetPosition();
}

void SettingsWindowModel::resetPetPosition() {
    if (services_.resetPetPosition)
        services_.resetPetPosition();
}

void SettingsWindowModel::runDetection() {
    if (services_.detectAgents)
        services_.detectAgents();
    refresh();
}

void SettingsWindowModel::rerunOnboarding() {
    if (services_.openOnboarding)
        services_.openOnboarding();
}

void SettingsWindowModel::openApplicationSupport() {
    if (services_.openUrl)
        services_.openUrl(QUrl::fromLocalFile(services_.applicationSupport));
}

void SettingsWindowModel::openPetFolder() {
    if (services_.openUrl && services_.petFolder)
        services_.openUrl(QUrl::fromLocalFile(services_.petFolder()));
}

void SettingsWindowModel::requestNotificationPermission() {
    if (!services_.checkNotificationService)
        return;
    QPointer<SettingsWindowModel> self(this);
    services_.checkNotificationService([self](std::optional<QString> server) {
        if (!self)
            return;
        const Language language = self->language();
        const auto t = [language](const char* key) { return SettingsTexts::text(QString::fromLatin1(key), language); };
        const ShellAlert alert = server ? ShellAlert{t("notificationServiceFound"),
                                                     t("notificationServiceFoundText").arg(*server), t("ok"), QString()}
                                        : ShellAlert{t("notificationServiceMissing"),
                                                     t("notificationServiceMissingText"), t("ok"), QString(), true};
        Q_EMIT self->notificationCheckFinished(alert.toVariantMap());
    });
}

QStringList SettingsWindowModel::parseCommands(const QString& text) {
    QStringList commands;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString entry = line.trimmed();
        if (!entry.isEmpty())
            commands.append(entry);
    }
    return commands;
}

QString SettingsWindowModel::commandsText(const QString& list) const {
    const QStringList commands =
        list == QLatin1String("trusted") ? settings_.trustedCommands() : settings_.dangerousCommands();
    return commands.join(QLatin1Char('\n'));
}

void SettingsWindowModel::setCommandsText(const QString& list, const QString& text) {
    const QStringList commands = parseCommands(text);
    if (list == QLatin1String("trusted"))
        settings_.setTrustedCommands(commands);
    else if (list == QLatin1String("dangerous"))
        settings_.setDangerousCommands(commands);
}

bool SettingsWindowModel::commandsMatch(const QString& list, const QString& text) const {
    const QStringList commands =
        list == QLatin1String("trusted") ? settings_.trustedCommands() : settings_.dangerousCommands();
    return parseCommands(text) == commands;
}

QString SettingsWindowModel::apiKey(const QString& providerRaw) const {
    const auto provider = fromRaw<SummaryProvider>(providerRaw);
    return provider ? secrets_.string(apiKeyName(*provider)).value_or(QString()) : QString();
}

void SettingsWindowModel::setApiKey(const QString& providerRaw, const QString& key) {
    if (const auto provider = fromRaw<SummaryProvider>(providerRaw))
        secrets_.set(key, apiKeyName(*provider));
}

QString SettingsWindowModel::summaryEndpointProblem(const QString& url) const {
    return SettingsTexts::endpointProblemKey(url);
}

} // namespace nubbo
