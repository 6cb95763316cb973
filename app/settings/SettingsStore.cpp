#include "settings/SettingsStore.h"

#include "approvals/ApprovalModeTexts.h"
#include "platform/LoginItem.h"
#include "core/NubboLog.h"
#include "platform/PreferencesDomain.h"
#include "common/ProviderRegistry.h"
#include "platform/SecretStore.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QFile>
#include <QJsonValue>
#include <QMetaProperty>
#include <QMutexLocker>
#include <QtGlobal>

#include <atomic>
#include <limits>
#include <sys/stat.h>

namespace nubbo {

namespace {

namespace key {
// Not a setting (never exported or imported): where Allow All's way back leads.
constexpr QLatin1String modeBeforeAllowAll("approval.modeBeforeAllowAll");

QString enable(const QString& lowerID) { return QStringLiteral("settings.enable.") + lowerID; }
QString configFolder(const QString& lowerID) { return QStringLiteral("settings.configFolder.") + lowerID; }
QString summaryModel(SummaryProvider provider) { return QStringLiteral("summary.model.") + rawValue(provider); }
QString summaryBaseURL(SummaryProvider provider) { return QStringLiteral("summary.baseURL.") + rawValue(provider); }

// Flags written by earlier releases, read once to carry the user's choice over.
QString legacyEnable(const QString& lowerID) {
    if (lowerID == QLatin1String("claude"))
        return QStringLiteral("settings.enableClaude");
    if (lowerID == QLatin1String("codex"))
        return QStringLiteral("settings.enableCodex");
    if (lowerID == QLatin1String("gemini"))
        return QStringLiteral("settings.enableGemini");
    if (lowerID == QLatin1String("opencode"))
        return QStringLiteral("settings.enableOpenCode");
    return {};
}
} // namespace key

const QString oldSummaryKeyItem = QStringLiteral("anthropicAPIKey");
const QString summaryKeyItem = QStringLiteral("apiKey.anthropic");

std::atomic<SettingsStore*> sharedStore{nullptr};

QString readString(const PreferencesDomain& domain, const QString& key) {
    const QVariant stored = domain.value(key);
    return stored.typeId() == QMetaType::QString ? stored.toString() : QString();
}

QString catalogueID(const ProviderSpec& spec) { return QString::fromStdString(spec.id).toLower(); }

// The catalogue agents whose folder their own variable moves: only theirs can be chosen.
bool folderMovable(const QString& lowerID) {
    const ProviderSpec* spec = ProviderRegistry::spec(lowerID.toStdString());
    return spec && !spec->configFolderVariable.empty();
}

// A folder as stored: absolute and cleaned, or empty for the default; nothing for anything else.
std::optional<QString> acceptedFolder(const QString& folder) {
    if (folder.isEmpty())
        return QString();
    if (!QDir::isAbsolutePath(folder))
        return std::nullopt;
    return QDir::cleanPath(folder);
}

const Setting& settingNamed(QStringView name) {
    const Setting* setting = SettingsTable::find(name);
    Q_ASSERT_X(setting, "SettingsStore", "no such setting");
    return *setting;
}

// The setting's property of the same name.
QMetaProperty metaProperty(const QString& name) {
    const QMetaObject& meta = SettingsStore::staticMetaObject;
    return meta.property(meta.indexOfProperty(name.toLatin1().constData()));
}

} // namespace

SettingsStore::SettingsStore(PreferencesDomain& preferences, SecretStore& secrets, LoginItem& loginItem,
                             PreferredLanguages preferredLanguages, QObject* parent)
    : QObject(parent), preferences_(preferences), secrets_(secrets), loginItem_(loginItem),
      preferredLanguages_(std::move(preferredLanguages)), log_([](const QString& line) { NubboLog::log(line); }) {
    // The migrations below may write several keys; persist them once.
    const PreferencesBatch batch(preferences_);
    load();
    migrateSummaryAPIKey();
    loadEnabled();
    loadConfigFolders();
    for (Signal artInput : {&SettingsStore::petSourceChanged, &SettingsStore::customPetPathChanged,
                            &SettingsStore::activePackPathChanged})
        connect(this, artInput, this, &SettingsStore::effectivePetArtChanged);
    for (Signal noticeInput : {&SettingsStore::approvalModeChanged, &SettingsStore::dangerousCommandsChanged,
                               &SettingsStore::bypassRiskCheckChanged, &SettingsStore::effectiveLanguageChanged})
        connect(this, noticeInput, this, &SettingsStore::approvalNoticeChanged);
}

SettingsStore::~SettingsStore() {
    SettingsStore* self = this;
    sharedStore.compare_exchange_strong(self, nullptr);
}

SettingsStore& SettingsStore::shared() {
    SettingsStore* store = sharedStore.load();
    if (!store)
        qFatal("SettingsStore::shared() called before the app installed a store");
    return *store;
}

void SettingsStore::setShared(SettingsStore* store) { sharedStore.store(store); }

bool SettingsStore::hasShared() { return sharedStore.load() != nullptr; }

QStringList SettingsStore::defaultTrustedCommands() { return settingNamed(u"trustedCommands").defaultValue.toStringList(); }

QStringList SettingsStore::defaultDangerousCommands() {
    return settingNamed(u"dangerousCommands").defaultValue.toStringList();
}

void SettingsStore::load() {
    for (const Setting& setting : SettingsTable::rows())
        values_.insert(setting.name, setting.accepted(preferences_.value(setting.preferencesKey()))
                                         .value_or(setting.defaultValue));
    const QVariant before = preferences_.value(key::modeBeforeAllowAll);
    modeBeforeAllowAll_ = fromRaw<ApprovalMode>(before.typeId() == QMetaType::QString ? before.toString() : QString())
                              .value_or(ApprovalMode::manual);
    if (modeBeforeAllowAll_ == ApprovalMode::allowAll)
        modeBeforeAllowAll_ = ApprovalMode::manual;

    const Language resolved = resolveLanguage(language());
    const QMutexLocker lock(&snapshotMutex_);
    trustSnapshot_ = TrustSettings{approvalMode(), trustedCommands(), dangerousCommands(), bypassRiskCheck()};
    languageSnapshot_ = resolved;
}

void SettingsStore::migrateSummaryAPIKey() {
    const std::optional<QString> old = secrets_.string(oldSummaryKeyItem);
    if (!old || old->isEmpty())
        return;
    const std::optional<QString> current = secrets_.string(summaryKeyItem);
    if (current && !current->isEmpty())
        return;
    secrets_.set(*old, summaryKeyItem);
    // The keychain may drop a write (locked, timed out); deleting the old item then would lose the key.
    // Keep it and let the next launch try again.
    const std::optional<QString> written = secrets_.string(summaryKeyItem);
    if (written && !written->isEmpty() && *written == old->trimmed())
        secrets_.remove(oldSummaryKeyItem);
}

void SettingsStore::loadEnabled() {
    for (const ProviderSpec& spec : ProviderRegistry::all()) {
        const QString id = catalogueID(spec);
        const QString enableKey = key::enable(id);
        bool on = spec.confirmed;
        const QVariant stored = preferences_.value(enableKey);
        if (stored.typeId() == QMetaType::Bool) {
            on = stored.toBool();
        } else if (const QString legacyKey = key::legacyEnable(id); !legacyKey.isEmpty()) {
            const QVariant legacy = preferences_.value(legacyKey);
            if (legacy.typeId() == QMetaType::Bool) {
                on = legacy.toBool();
                preferences_.setValue(enableKey, on);
            }
        }
        const QMutexLocker lock(&enabledMutex_);
        enabled_.insert(id, on);
    }
}

void SettingsStore::loadConfigFolders() {
    const QMutexLocker lock(&configFoldersMutex_);
    for (const ProviderSpec& spec : ProviderRegistry::all()) {
        const QString id = catalogueID(spec);
        if (!folderMovable(id))
            continue;
        if (const std::optional<QString> folder = acceptedFolder(readString(preferences_, key::configFolder(id)));
            folder && !folder->isEmpty())
            configFolders_.insert(id, *folder);
    }
}

QVariant SettingsStore::value(QStringView name) const {
    const auto found = values_.constFind(QString::fromRawData(name.data(), name.size()));
    Q_ASSERT_X(found != values_.constEnd(), "SettingsStore", "no such setting");
    return found == values_.constEnd() ? QVariant() : *found;
}

void SettingsStore::write(QStringView name, const QVariant& value) {
    const Setting& setting = settingNamed(name);
    const std::optional<QVariant> accepted = setting.accepted(value);
    if (!accepted)
        return;
    QVariant& current = values_[setting.name];
    const bool different = current != *accepted;
    current = *accepted;
    preferences_.setValue(setting.preferencesKey(), setting.toPreferences(*accepted));
    {
        // Whoever reacts to the change and then asks the trust engine sees the new value.
        const QMutexLocker lock(&snapshotMutex_);
        trustSnapshot_ = TrustSettings{approvalMode(), trustedCommands(), dangerousCommands(), bypassRiskCheck()};
    }
    if (different)
        metaProperty(setting.name).notifySignal().invoke(this, Qt::DirectConnection);
}

void SettingsStore::writeProperty(const QString& name, const QVariant& value) {
    metaProperty(name).write(this, value);
}

void SettingsStore::setLaunchAtLogin(bool on) {
    loginItem_.set(on);
    write(u"launchAtLogin", on);
}

void SettingsStore::setCustomPetPath(const QString& path) {
    if (path != customPetPath())
        customPetPathUsable_.reset();
    write(u"customPetPath", path);
}

void SettingsStore::setApprovalMode(ApprovalMode mode) {
    const PreferencesBatch batch(preferences_);
    // Whatever switches Allow All on (the card, the quick panel, the settings page, an import), the mode it
    // replaced is the way back.
    if (mode == ApprovalMode::allowAll && approvalMode() != ApprovalMode::allowAll) {
        modeBeforeAllowAll_ = approvalMode();
        preferences_.setValue(key::modeBeforeAllowAll, rawValue(modeBeforeAllowAll_));
    }
    write(u"approvalMode", rawValue(mode));
}

void SettingsStore::setApprovalModeRaw(const QString& raw) {
    if (const auto value = fromRaw<ApprovalMode>(raw))
        setApprovalMode(*value);
}

void SettingsStore::setLanguage(AppLanguage language) {
    const Language before = effectiveLanguage();
    const Language resolved = resolveLanguage(language);
    {
        const QMutexLocker lock(&snapshotMutex_);
        languageSnapshot_ = resolved;
    }
    write(u"language", rawValue(language));
    if (effectiveLanguage() != before)
        Q_EMIT effectiveLanguageChanged();
}

void SettingsStore::setLanguageRaw(const QString& raw) {
    if (const auto value = fromRaw<AppLanguage>(raw))
        setLanguage(*value);
}

double SettingsStore::rangeFrom(const QString& name) const {
    const Setting* setting = SettingsTable::find(name);
    return setting && setting->range ? setting->range->from : std::numeric_limits<double>::quiet_NaN();
}

double SettingsStore::rangeTo(const QString& name) const {
    const Setting* setting = SettingsTable::find(name);
    return setting && setting->range ? setting->range->to : std::numeric_limits<double>::quiet_NaN();
}

double SettingsStore::clamped(const QString& name, double value) const {
    const Setting* setting = SettingsTable::find(name);
    return setting ? setting->clamped(value) : value;
}

void SettingsStore::leaveAllowAll() {
    if (approvalMode() == ApprovalMode::allowAll)
        setApprovalMode(modeBeforeAllowAll_);
}

ApprovalNotice SettingsStore::approvalNotice() const {
    return nubbo::approvalNotice(trustSettings(), modeBeforeAllowAll_, effectiveLanguage());
}

QVariantMap SettingsStore::approvalNoticeMap() const { return approvalNotice().toMap(); }

QString SettingsStore::allowAllExplanation() const {
    return nubbo::allowAllExplanation(trustSettings(), effectiveLanguage());
}

bool SettingsStore::enabled(const QString& id) const {
    const QString lower = id.toLower();
    {
        const QMutexLocker lock(&enabledMutex_);
        const auto found = enabled_.constFind(lower);
        if (found != enabled_.constEnd())
            return *found;
    }
    const ProviderSpec* spec = ProviderRegistry::spec(lower.toStdString());
    return spec && spec->confirmed;
}

void SettingsStore::setEnabled(const QString& id, bool on) {
    const QString lower = id.toLower();
    if (lower.isEmpty())
        return;
    bool different = false;
    {
        const QMutexLocker lock(&enabledMutex_);
        const auto found = enabled_.constFind(lower);
        different = found == enabled_.constEnd() || *found != on;
        enabled_.insert(lower, on);
    }
    preferences_.setValue(key::enable(lower), on);
    if (different) {
        Q_EMIT enabledEntryChanged(lower, on);
        Q_EMIT enabledChanged();
    }
}

QVariantMap SettingsStore::enabledMap() const {
    const QMutexLocker lock(&enabledMutex_);
    QVariantMap map;
    for (auto it = enabled_.constBegin(); it != enabled_.constEnd(); ++it)
        map.insert(it.key(), it.value());
    return map;
}

QString SettingsStore::configFolder(const QString& id) const {
    const QMutexLocker lock(&configFoldersMutex_);
    return configFolders_.value(id.toLower());
}

void SettingsStore::setConfigFolder(const QString& id, const QString& folder) {
    const QString lower = id.toLower();
    const std::optional<QString> accepted = acceptedFolder(folder);
    if (!folderMovable(lower) || !accepted)
        return;
    QString previous;
    {
        const QMutexLocker lock(&configFoldersMutex_);
        previous = configFolders_.value(lower);
        if (accepted->isEmpty())
            configFolders_.remove(lower);
        else
            configFolders_.insert(lower, *accepted);
    }
    if (accepted->isEmpty())
        preferences_.remove(key::configFolder(lower));
    else
        preferences_.setValue(key::configFolder(lower), *accepted);
    if (previous != *accepted) {
        Q_EMIT configFolderChanged(lower, previous);
        Q_EMIT configFoldersChanged();
    }
}

QVariantMap SettingsStore::configFoldersMap() const {
    const QMutexLocker lock(&configFoldersMutex_);
    QVariantMap map;
    for (auto it = configFolders_.constBegin(); it != configFolders_.constEnd(); ++it)
        map.insert(it.key(), it.value());
    return map;
}

QString SettingsStore::defaultSummaryModel(SummaryProvider provider) {
    switch (provider) {
    case SummaryProvider::anthropic:
        return QStringLiteral("claude-haiku-4-5");
    case SummaryProvider::openai:
        return QStringLiteral("gpt-4o-mini");
    case SummaryProvider::deepseek:
        return QStringLiteral("deepseek-chat");
    case SummaryProvider::custom:
        break;
    }
    return {};
}

QString SettingsStore::summaryModel(SummaryProvider provider) const {
    const QString stored = readString(preferences_, key::summaryModel(provider));
    return stored.isEmpty() ? defaultSummaryModel(provider) : stored;
}

void SettingsStore::setSummaryModel(const QString& text, SummaryProvider provider) {
    const QString storeKey = key::summaryModel(provider);
    const QString before = summaryModel(provider);
    preferences_.setValue(storeKey, text.trimmed());
    if (summaryModel(provider) != before)
        Q_EMIT summaryModelChanged(rawValue(provider));
}

QString SettingsStore::summaryBaseURL(SummaryProvider provider) const {
    switch (provider) {
    case SummaryProvider::anthropic:
        return QStringLiteral("https://api.anthropic.com");
    case SummaryProvider::openai:
        return QStringLiteral("https://api.openai.com/v1");
    case SummaryProvider::deepseek:
        return QStringLiteral("https://api.deepseek.com/v1");
    case SummaryProvider::custom:
        break;
    }
    return readString(preferences_, key::summaryBaseURL(provider));
}

void SettingsStore::setSummaryBaseURL(const QString& text, SummaryProvider provider) {
    const QString storeKey = key::summaryBaseURL(provider);
    const QString before = readString(preferences_, storeKey);
    const QString trimmed = text.trimmed();
    preferences_.setValue(storeKey, trimmed);
    if (trimmed != before)
        Q_EMIT summaryBaseURLChanged(rawValue(provider));
}

QString SettingsStore::summaryModelFor(const QString& providerRaw) const {
    const auto provider = fromRaw<SummaryProvider>(providerRaw);
    return provider ? summaryModel(*provider) : QString();
}

void SettingsStore::setSummaryModelFor(const QString& text, const QString& providerRaw) {
    if (const auto provider = fromRaw<SummaryProvider>(providerRaw))
        setSummaryModel(text, *provider);
}

QString SettingsStore::summaryBaseURLFor(const QString& providerRaw) const {
    const auto provider = fromRaw<SummaryProvider>(providerRaw);
    return provider ? summaryBaseURL(*provider) : QString();
}

void SettingsStore::setSummaryBaseURLFor(const QString& text, const QString& providerRaw) {
    if (const auto provider = fromRaw<SummaryProvider>(providerRaw))
        setSummaryBaseURL(text, *provider);
}

std::optional<QString> SettingsStore::effectiveCustomPetPath() const {
    const QString path = customPetPath();
    if (petSource() != PetSource::custom || path.isEmpty())
        return std::nullopt;
    if (!customPetPathUsable_) {
        struct stat info{};
        const bool exists = ::stat(QFile::encodeName(path).constData(), &info) == 0;
        customPetPathUsable_ = !exists || S_ISREG(info.st_mode);
        if (!*customPetPathUsable_ && log_)
            log_(QStringLiteral("custom pet ignored, not a regular file: ") + path);
    }
    if (!*customPetPathUsable_)
        return std::nullopt;
    return path;
}

std::optional<QString> SettingsStore::effectivePackPath() const {
    if (petSource() == PetSource::pack && !activePackPath().isEmpty())
        return activePackPath();
    return std::nullopt;
}

Language SettingsStore::effectiveLanguage() const { return resolveLanguage(language()); }

Language SettingsStore::resolveLanguage(AppLanguage language) const {
    switch (language) {
    case AppLanguage::en:
        return Language::en;
    case AppLanguage::zh:
        return Language::zh;
    case AppLanguage::system:
        break;
    }
    const QStringList preferred = preferredLanguages_ ? preferredLanguages_() : QStringList();
    if (!preferred.isEmpty() && preferred.first().startsWith(QLatin1String("zh"), Qt::CaseInsensitive))
        return Language::zh;
    return Language::en;
}

QString SettingsStore::effectiveLanguageRaw() const {
    return effectiveLanguage() == Language::zh ? QStringLiteral("zh") : QStringLiteral("en");
}

TrustSettings SettingsStore::trustSettings() const {
    const QMutexLocker lock(&snapshotMutex_);
    return trustSnapshot_;
}

Language SettingsStore::effectiveLanguageThreadSafe() const {
    const QMutexLocker lock(&snapshotMutex_);
    return languageSnapshot_;
}

void SettingsStore::resetAll() {
    const PreferencesBatch batch(preferences_);
    for (const Setting& setting : SettingsTable::rows())
        preferences_.remove(setting.preferencesKey());
    preferences_.remove(key::modeBeforeAllowAll);
    modeBeforeAllowAll_ = ApprovalMode::manual;
    for (const Setting& setting : SettingsTable::rows())
        writeProperty(setting.name, setting.defaultValue);

    for (const ProviderSpec& spec : ProviderRegistry::all()) {
        const QString id = catalogueID(spec);
        if (const QString legacyKey = key::legacyEnable(id); !legacyKey.isEmpty())
            preferences_.remove(legacyKey);
        preferences_.remove(key::enable(id));
        setEnabled(id, spec.confirmed);
        setConfigFolder(id, QString());
    }
}

QJsonObject SettingsStore::exportDictionary() const {
    QJsonObject document{{QStringLiteral("version"), 1}};
    for (const Setting& setting : SettingsTable::rows()) {
        if (setting.exported)
            document.insert(setting.name, setting.toDocument(values_.value(setting.name)));
    }

    QJsonObject enabledObject;
    for (const ProviderSpec& spec : ProviderRegistry::all())
        enabledObject.insert(QString::fromStdString(spec.id), enabled(QString::fromStdString(spec.id)));
    document.insert(QStringLiteral("enabled"), enabledObject);

    QJsonObject folders;
    for (const ProviderSpec& spec : ProviderRegistry::all())
        if (const QString id = catalogueID(spec); folderMovable(id))
            folders.insert(id, configFolder(id));
    document.insert(QStringLiteral("configFolders"), folders);

    QJsonObject models;
    for (const SummaryProvider provider : allCases<SummaryProvider>())
        models.insert(rawValue(provider), summaryModel(provider));
    document.insert(QStringLiteral("summaryModels"), models);
    document.insert(QStringLiteral("summaryBaseURLs"),
                    QJsonObject{{rawValue(SummaryProvider::custom), summaryBaseURL(SummaryProvider::custom)}});
    return document;
}

void SettingsStore::importDictionary(const QJsonObject& object) {
    const PreferencesBatch batch(preferences_);
    for (const Setting& setting : SettingsTable::rows()) {
        if (!setting.exported)
            continue;
        if (const std::optional<QVariant> value = setting.fromDocument(object.value(setting.name)))
            writeProperty(setting.name, *value);
    }

    if (const QJsonValue value = object.value(QLatin1String("enabled")); value.isObject()) {
        const QJsonObject flags = value.toObject();
        bool allBooleans = true;
        for (auto it = flags.constBegin(); it != flags.constEnd(); ++it)
            allBooleans = allBooleans && it.value().isBool();
        if (allBooleans) {
            for (auto it = flags.constBegin(); it != flags.constEnd(); ++it)
                setEnabled(it.key(), it.value().toBool());
        }
    }

    // An object whose members are all strings, else nothing.
    const auto stringObject = [&](const char* name) -> std::optional<QJsonObject> {
        const QJsonValue value = object.value(QLatin1String(name));
        if (!value.isObject())
            return std::nullopt;
        const QJsonObject members = value.toObject();
        for (auto it = members.constBegin(); it != members.constEnd(); ++it) {
            if (!it.value().isString())
                return std::nullopt;
        }
        return members;
    };
    if (const auto folders = stringObject("configFolders")) {
        for (auto it = folders->constBegin(); it != folders->constEnd(); ++it)
            setConfigFolder(it.key(), it.value().toString());
    }
    if (const auto models = stringObject("summaryModels")) {
        for (auto it = models->constBegin(); it != models->constEnd(); ++it) {
            if (const auto provider = fromRaw<SummaryProvider>(it.key()))
                setSummaryModel(it.value().toString(), *provider);
        }
    }
    if (const auto baseURLs = stringObject("summaryBaseURLs")) {
        for (auto it = baseURLs->constBegin(); it != baseURLs->constEnd(); ++it) {
            if (const auto provider = fromRaw<SummaryProvider>(it.key()))
                setSummaryBaseURL(it.value().toString(), *provider);
        }
    }
}

} // namespace nubbo
