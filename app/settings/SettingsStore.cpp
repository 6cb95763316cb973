#include "settings/SettingsStore.h"

#include "approvals/ApprovalModeTexts.h"
#include "platform/LoginItem.h"
#include "core/NubboLog.h"
#include "platform/PreferencesDomain.h"
#include "common/ProviderRegistry.h"
#include "platform/SecretStore.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonValue>
#include <QMutexLocker>
#include <QtGlobal>

#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <sys/stat.h>

namespace nubbo {

namespace {

namespace key {
constexpr QLatin1String launchAtLogin("settings.launchAtLogin");
constexpr QLatin1String alwaysOnTop("settings.alwaysOnTop");
constexpr QLatin1String pauseNubbo("settings.pauseNubbo");
constexpr QLatin1String petSource("settings.petSource");
constexpr QLatin1String customPetPath("settings.customPetPath");
constexpr QLatin1String activePackPath("settings.activePackPath");
constexpr QLatin1String petSizeScale("settings.petSizeScale");
constexpr QLatin1String bubbleStyle("settings.bubbleStyle");
constexpr QLatin1String singleClickBehavior("settings.singleClickBehavior");
constexpr QLatin1String doubleClickBehavior("settings.doubleClickBehavior");
constexpr QLatin1String edgeSnap("settings.edgeSnap");
constexpr QLatin1String idleSleepMinutes("settings.idleSleepMinutes");
constexpr QLatin1String approvalMode("settings.approvalMode");
constexpr QLatin1String trustedCommands("settings.trustedCommands");
constexpr QLatin1String dangerousCommands("settings.dangerousCommands");
constexpr QLatin1String bypassRiskCheck("settings.bypassRiskCheck");
constexpr QLatin1String showNotifications("settings.showNotifications");
constexpr QLatin1String notifyApprovalRequired("settings.notifyApprovalRequired");
constexpr QLatin1String notifyTaskCompleted("settings.notifyTaskCompleted");
constexpr QLatin1String notifyRiskyAction("settings.notifyRiskyAction");
constexpr QLatin1String themeColor("settings.themeColor");
constexpr QLatin1String animationSpeed("settings.animationSpeed");
constexpr QLatin1String showActivityLabel("settings.showActivityLabel");
constexpr QLatin1String showProviderChip("settings.showProviderChip");
constexpr QLatin1String smartSummary("settings.smartSummary");
constexpr QLatin1String summaryProvider("settings.summaryProvider");
constexpr QLatin1String language("settings.language");

// The fixed keys in the order a reset clears them.
constexpr std::array fixed{launchAtLogin,     alwaysOnTop,         pauseNubbo,
                           petSource,         customPetPath,       activePackPath,
                           petSizeScale,      bubbleStyle,         singleClickBehavior,
                           doubleClickBehavior, edgeSnap,          idleSleepMinutes,
                           approvalMode,      trustedCommands,     dangerousCommands,
                           bypassRiskCheck,   showNotifications,   notifyApprovalRequired,
                           notifyTaskCompleted, notifyRiskyAction, themeColor,
                           animationSpeed,    showActivityLabel,   showProviderChip,
                           smartSummary,      summaryProvider,     language};
static_assert(fixed.size() == 27);

// Not a setting (never exported or imported): where Allow All's way back leads.
constexpr QLatin1String modeBeforeAllowAll("approval.modeBeforeAllowAll");

QString enable(const QString& lowerID) { return QStringLiteral("settings.enable.") + lowerID; }
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

bool isInteger(const QVariant& value) {
    return value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int;
}

// Read rules. A stored value of any other type than the setting's counts as absent.
bool readBool(const PreferencesDomain& domain, const QString& key, bool fallback) {
    const QVariant stored = domain.value(key);
    return stored.typeId() == QMetaType::Bool ? stored.toBool() : fallback;
}

// Any number will do: JSON stores 2.0 as 2.
double readDouble(const PreferencesDomain& domain, const QString& key, double fallback) {
    const QVariant stored = domain.value(key);
    if (isInteger(stored))
        return double(stored.toLongLong());
    if (stored.typeId() == QMetaType::Double && std::isfinite(stored.toDouble()))
        return stored.toDouble();
    return fallback;
}

int readInt(const PreferencesDomain& domain, const QString& key, int fallback) {
    const QVariant stored = domain.value(key);
    if (!isInteger(stored))
        return fallback;
    const qint64 number = stored.toLongLong();
    if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return fallback;
    return int(number);
}

QString readString(const PreferencesDomain& domain, const QString& key, const QString& fallback) {
    const QVariant stored = domain.value(key);
    return stored.typeId() == QMetaType::QString ? stored.toString() : fallback;
}

QStringList readList(const PreferencesDomain& domain, const QString& key, const QStringList& fallback) {
    const QVariant stored = domain.value(key);
    return stored.typeId() == QMetaType::QStringList ? stored.toStringList() : fallback;
}

template <SettingsEnum E>
E readEnum(const PreferencesDomain& domain, const QString& key, E fallback) {
    const QVariant stored = domain.value(key);
    if (stored.typeId() != QMetaType::QString)
        return fallback;
    return fromRaw<E>(stored.toString()).value_or(fallback);
}

// A JSON number with an integral value that fits an int.
std::optional<int> jsonInt(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::floor(number) != number || number < std::numeric_limits<int>::min() ||
        number > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(number);
}

std::optional<QStringList> jsonStringList(const QJsonValue& value) {
    if (!value.isArray())
        return std::nullopt;
    QStringList strings;
    for (const QJsonValue& element : value.toArray()) {
        if (!element.isString())
            return std::nullopt;
        strings.append(element.toString());
    }
    return strings;
}

QString catalogueID(const ProviderSpec& spec) { return QString::fromStdString(spec.id).toLower(); }

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

QStringList SettingsStore::defaultTrustedCommands() {
    return {QStringLiteral("git status"), QStringLiteral("git diff"), QStringLiteral("npm install"),
            QStringLiteral("pnpm install"), QStringLiteral("bun install")};
}

QStringList SettingsStore::defaultDangerousCommands() {
    return {QStringLiteral("rm -rf"),         QStringLiteral("sudo"),
            QStringLiteral("chmod 777"),      QStringLiteral("drop database"),
            QStringLiteral("delete database"), QStringLiteral("format disk")};
}

void SettingsStore::load() {
    const PreferencesDomain& d = preferences_;
    launchAtLogin_ = readBool(d, key::launchAtLogin, false);
    alwaysOnTop_ = readBool(d, key::alwaysOnTop, true);
    pauseNubbo_ = readBool(d, key::pauseNubbo, false);
    petSource_ = readEnum(d, key::petSource, PetSource::official);
    customPetPath_ = readString(d, key::customPetPath, QString());
    customPetPathUsable_.reset();
    activePackPath_ = readString(d, key::activePackPath, QString());
    petSizeScale_ = readDouble(d, key::petSizeScale, 1.0);
    bubbleStyle_ = readEnum(d, key::bubbleStyle, BubbleStyle::normal);
    singleClickBehavior_ = readEnum(d, key::singleClickBehavior, SingleClickBehavior::toggleBubble);
    doubleClickBehavior_ = readEnum(d, key::doubleClickBehavior, DoubleClickBehavior::petReaction);
    edgeSnap_ = readBool(d, key::edgeSnap, true);
    idleSleepMinutes_ = readInt(d, key::idleSleepMinutes, 10);
    approvalMode_ = readEnum(d, key::approvalMode, ApprovalMode::manual);
    modeBeforeAllowAll_ = readEnum(d, key::modeBeforeAllowAll, ApprovalMode::manual);
    if (modeBeforeAllowAll_ == ApprovalMode::allowAll)
        modeBeforeAllowAll_ = ApprovalMode::manual;
    trustedCommands_ = readList(d, key::trustedCommands, defaultTrustedCommands());
    dangerousCommands_ = readList(d, key::dangerousCommands, defaultDangerousCommands());
    bypassRiskCheck_ = readBool(d, key::bypassRiskCheck, false);
    showNotifications_ = readBool(d, key::showNotifications, true);
    notifyApprovalRequired_ = readBool(d, key::notifyApprovalRequired, true);
    notifyTaskCompleted_ = readBool(d, key::notifyTaskCompleted, true);
    notifyRiskyAction_ = readBool(d, key::notifyRiskyAction, true);
    themeColor_ = readString(d, key::themeColor, QStringLiteral("pink"));
    animationSpeed_ = readDouble(d, key::animationSpeed, 1.0);
    showActivityLabel_ = readBool(d, key::showActivityLabel, true);
    showProviderChip_ = readBool(d, key::showProviderChip, false);
    smartSummary_ = readBool(d, key::smartSummary, false);
    summaryProvider_ = readEnum(d, key::summaryProvider, SummaryProvider::anthropic);
    language_ = readEnum(d, key::language, AppLanguage::system);

    const Language resolved = resolveLanguage(language_);
    const QMutexLocker lock(&snapshotMutex_);
    trustSnapshot_ = TrustSettings{approvalMode_, trustedCommands_, dangerousCommands_, bypassRiskCheck_};
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

template <typename T>
void SettingsStore::assign(T& member, const T& value, const QString& key, const QVariant& stored, Signal changed) {
    const bool different = !(member == value);
    member = value;
    preferences_.setValue(key, stored);
    if (different)
        Q_EMIT(this->*changed)();
}

void SettingsStore::setLaunchAtLogin(bool on) {
    const bool different = launchAtLogin_ != on;
    launchAtLogin_ = on;
    preferences_.setValue(key::launchAtLogin, on);
    loginItem_.set(on);
    if (different)
        Q_EMIT launchAtLoginChanged();
}

void SettingsStore::setAlwaysOnTop(bool on) {
    assign(alwaysOnTop_, on, key::alwaysOnTop, on, &SettingsStore::alwaysOnTopChanged);
}

void SettingsStore::setPauseNubbo(bool on) {
    assign(pauseNubbo_, on, key::pauseNubbo, on, &SettingsStore::pauseNubboChanged);
}

void SettingsStore::setPetSource(PetSource source) {
    assign(petSource_, source, key::petSource, rawValue(source), &SettingsStore::petSourceChanged);
}

void SettingsStore::setCustomPetPath(const QString& path) {
    if (path != customPetPath_)
        customPetPathUsable_.reset();
    assign(customPetPath_, path, key::customPetPath, path, &SettingsStore::customPetPathChanged);
}

void SettingsStore::setActivePackPath(const QString& path) {
    assign(activePackPath_, path, key::activePackPath, path, &SettingsStore::activePackPathChanged);
}

void SettingsStore::setPetSizeScale(double scale) {
    // A broken binding can hand over NaN; the file cannot hold it and the pet could not be drawn with it.
    if (!std::isfinite(scale))
        return;
    assign(petSizeScale_, scale, key::petSizeScale, scale, &SettingsStore::petSizeScaleChanged);
}

void SettingsStore::setBubbleStyle(BubbleStyle style) {
    assign(bubbleStyle_, style, key::bubbleStyle, rawValue(style), &SettingsStore::bubbleStyleChanged);
}

void SettingsStore::setSingleClickBehavior(SingleClickBehavior behavior) {
    assign(singleClickBehavior_, behavior, key::singleClickBehavior, rawValue(behavior),
           &SettingsStore::singleClickBehaviorChanged);
}

void SettingsStore::setDoubleClickBehavior(DoubleClickBehavior behavior) {
    assign(doubleClickBehavior_, behavior, key::doubleClickBehavior, rawValue(behavior),
           &SettingsStore::doubleClickBehaviorChanged);
}

void SettingsStore::setEdgeSnap(bool on) { assign(edgeSnap_, on, key::edgeSnap, on, &SettingsStore::edgeSnapChanged); }

void SettingsStore::setIdleSleepMinutes(int minutes) {
    assign(idleSleepMinutes_, minutes, key::idleSleepMinutes, QVariant(qint64(minutes)),
           &SettingsStore::idleSleepMinutesChanged);
}

void SettingsStore::setApprovalMode(ApprovalMode mode) {
    const PreferencesBatch batch(preferences_);
    // Whatever switches Allow All on (the card, the quick panel, the settings page, an import), the mode it
    // replaced is the way back.
    if (mode == ApprovalMode::allowAll && approvalMode_ != ApprovalMode::allowAll) {
        modeBeforeAllowAll_ = approvalMode_;
        preferences_.setValue(key::modeBeforeAllowAll, rawValue(approvalMode_));
    }
    {
        const QMutexLocker lock(&snapshotMutex_);
        trustSnapshot_.mode = mode;
    }
    assign(approvalMode_, mode, key::approvalMode, rawValue(mode), &SettingsStore::approvalModeChanged);
}

void SettingsStore::setTrustedCommands(const QStringList& commands) {
    {
        const QMutexLocker lock(&snapshotMutex_);
        trustSnapshot_.trusted = commands;
    }
    assign(trustedCommands_, commands, key::trustedCommands, commands, &SettingsStore::trustedCommandsChanged);
}

void SettingsStore::setDangerousCommands(const QStringList& commands) {
    {
        const QMutexLocker lock(&snapshotMutex_);
        trustSnapshot_.dangerous = commands;
    }
    assign(dangerousCommands_, commands, key::dangerousCommands, commands, &SettingsStore::dangerousCommandsChanged);
}

void SettingsStore::setBypassRiskCheck(bool on) {
    {
        const QMutexLocker lock(&snapshotMutex_);
        trustSnapshot_.bypass = on;
    }
    assign(bypassRiskCheck_, on, key::bypassRiskCheck, on, &SettingsStore::bypassRiskCheckChanged);
}

void SettingsStore::setShowNotifications(bool on) {
    assign(showNotifications_, on, key::showNotifications, on, &SettingsStore::showNotificationsChanged);
}

void SettingsStore::setNotifyApprovalRequired(bool on) {
    assign(notifyApprovalRequired_, on, key::notifyApprovalRequired, on,
           &SettingsStore::notifyApprovalRequiredChanged);
}

void SettingsStore::setNotifyTaskCompleted(bool on) {
    assign(notifyTaskCompleted_, on, key::notifyTaskCompleted, on, &SettingsStore::notifyTaskCompletedChanged);
}

void SettingsStore::setNotifyRiskyAction(bool on) {
    assign(notifyRiskyAction_, on, key::notifyRiskyAction, on, &SettingsStore::notifyRiskyActionChanged);
}

void SettingsStore::setThemeColor(const QString& color) {
    assign(themeColor_, color, key::themeColor, color, &SettingsStore::themeColorChanged);
}

void SettingsStore::setAnimationSpeed(double speed) {
    if (!std::isfinite(speed))
        return;
    assign(animationSpeed_, speed, key::animationSpeed, speed, &SettingsStore::animationSpeedChanged);
}

void SettingsStore::setShowActivityLabel(bool on) {
    assign(showActivityLabel_, on, key::showActivityLabel, on, &SettingsStore::showActivityLabelChanged);
}

void SettingsStore::setShowProviderChip(bool on) {
    assign(showProviderChip_, on, key::showProviderChip, on, &SettingsStore::showProviderChipChanged);
}

void SettingsStore::setSmartSummary(bool on) {
    assign(smartSummary_, on, key::smartSummary, on, &SettingsStore::smartSummaryChanged);
}

void SettingsStore::setSummaryProvider(SummaryProvider provider) {
    assign(summaryProvider_, provider, key::summaryProvider, rawValue(provider),
           &SettingsStore::summaryProviderChanged);
}

void SettingsStore::setLanguage(AppLanguage language) {
    const Language before = effectiveLanguage();
    const Language resolved = resolveLanguage(language);
    {
        const QMutexLocker lock(&snapshotMutex_);
        languageSnapshot_ = resolved;
    }
    assign(language_, language, key::language, rawValue(language), &SettingsStore::languageChanged);
    if (effectiveLanguage() != before)
        Q_EMIT effectiveLanguageChanged();
}

void SettingsStore::setPetSourceRaw(const QString& raw) {
    if (const auto value = fromRaw<PetSource>(raw))
        setPetSource(*value);
}

void SettingsStore::setBubbleStyleRaw(const QString& raw) {
    if (const auto value = fromRaw<BubbleStyle>(raw))
        setBubbleStyle(*value);
}

void SettingsStore::setSingleClickBehaviorRaw(const QString& raw) {
    if (const auto value = fromRaw<SingleClickBehavior>(raw))
        setSingleClickBehavior(*value);
}

void SettingsStore::setDoubleClickBehaviorRaw(const QString& raw) {
    if (const auto value = fromRaw<DoubleClickBehavior>(raw))
        setDoubleClickBehavior(*value);
}

void SettingsStore::leaveAllowAll() {
    if (approvalMode_ == ApprovalMode::allowAll)
        setApprovalMode(modeBeforeAllowAll_);
}

ApprovalNotice SettingsStore::approvalNotice() const {
    return nubbo::approvalNotice(trustSettings(), modeBeforeAllowAll_, effectiveLanguage());
}

QVariantMap SettingsStore::approvalNoticeMap() const { return approvalNotice().toMap(); }

QString SettingsStore::allowAllExplanation() const {
    return nubbo::allowAllExplanation(trustSettings(), effectiveLanguage());
}

void SettingsStore::setApprovalModeRaw(const QString& raw) {
    if (const auto value = fromRaw<ApprovalMode>(raw))
        setApprovalMode(*value);
}

void SettingsStore::setSummaryProviderRaw(const QString& raw) {
    if (const auto value = fromRaw<SummaryProvider>(raw))
        setSummaryProvider(*value);
}

void SettingsStore::setLanguageRaw(const QString& raw) {
    if (const auto value = fromRaw<AppLanguage>(raw))
        setLanguage(*value);
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
    const QString stored = readString(preferences_, key::summaryModel(provider), QString());
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
    return readString(preferences_, key::summaryBaseURL(provider), QString());
}

void SettingsStore::setSummaryBaseURL(const QString& text, SummaryProvider provider) {
    const QString storeKey = key::summaryBaseURL(provider);
    const QString before = readString(preferences_, storeKey, QString());
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
    if (petSource_ != PetSource::custom || customPetPath_.isEmpty())
        return std::nullopt;
    if (!customPetPathUsable_) {
        struct stat info{};
        const bool exists = ::stat(QFile::encodeName(customPetPath_).constData(), &info) == 0;
        customPetPathUsable_ = !exists || S_ISREG(info.st_mode);
        if (!*customPetPathUsable_ && log_)
            log_(QStringLiteral("custom pet ignored, not a regular file: ") + customPetPath_);
    }
    if (!*customPetPathUsable_)
        return std::nullopt;
    return customPetPath_;
}

std::optional<QString> SettingsStore::effectivePackPath() const {
    if (petSource_ == PetSource::pack && !activePackPath_.isEmpty())
        return activePackPath_;
    return std::nullopt;
}

Language SettingsStore::effectiveLanguage() const { return resolveLanguage(language_); }

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
    for (const QLatin1String fixedKey : key::fixed)
        preferences_.remove(fixedKey);
    preferences_.remove(key::modeBeforeAllowAll);
    modeBeforeAllowAll_ = ApprovalMode::manual;

    setLaunchAtLogin(false);
    setAlwaysOnTop(true);
    setPauseNubbo(false);
    setPetSource(PetSource::official);
    setCustomPetPath(QString());
    setActivePackPath(QString());
    setPetSizeScale(1.0);
    setBubbleStyle(BubbleStyle::normal);
    setSingleClickBehavior(SingleClickBehavior::toggleBubble);
    setDoubleClickBehavior(DoubleClickBehavior::petReaction);
    setEdgeSnap(true);
    setIdleSleepMinutes(10);

    for (const ProviderSpec& spec : ProviderRegistry::all()) {
        const QString id = catalogueID(spec);
        if (const QString legacyKey = key::legacyEnable(id); !legacyKey.isEmpty())
            preferences_.remove(legacyKey);
        preferences_.remove(key::enable(id));
        setEnabled(id, spec.confirmed);
    }

    setApprovalMode(ApprovalMode::manual);
    setBypassRiskCheck(false);
    setTrustedCommands(defaultTrustedCommands());
    setDangerousCommands(defaultDangerousCommands());
    setShowNotifications(true);
    setNotifyApprovalRequired(true);
    setNotifyTaskCompleted(true);
    setNotifyRiskyAction(true);
    setThemeColor(QStringLiteral("pink"));
    setAnimationSpeed(1.0);
    setShowActivityLabel(true);
    setShowProviderChip(false);
    setSmartSummary(false);
    setSummaryProvider(SummaryProvider::anthropic);
    setLanguage(AppLanguage::system);
}

QJsonObject SettingsStore::exportDictionary() const {
    QJsonObject enabledObject;
    for (const ProviderSpec& spec : ProviderRegistry::all())
        enabledObject.insert(QString::fromStdString(spec.id), enabled(QString::fromStdString(spec.id)));

    QJsonObject models;
    for (const SummaryProvider provider : allCases<SummaryProvider>())
        models.insert(rawValue(provider), summaryModel(provider));
    const QJsonObject baseURLs{{rawValue(SummaryProvider::custom), summaryBaseURL(SummaryProvider::custom)}};

    return QJsonObject{
        {QStringLiteral("version"), 1},
        {QStringLiteral("launchAtLogin"), launchAtLogin_},
        {QStringLiteral("alwaysOnTop"), alwaysOnTop_},
        {QStringLiteral("pauseNubbo"), pauseNubbo_},
        {QStringLiteral("petSource"), rawValue(petSource_)},
        {QStringLiteral("customPetPath"), customPetPath_},
        {QStringLiteral("petSizeScale"), petSizeScale_},
        {QStringLiteral("bubbleStyle"), rawValue(bubbleStyle_)},
        {QStringLiteral("singleClickBehavior"), rawValue(singleClickBehavior_)},
        {QStringLiteral("doubleClickBehavior"), rawValue(doubleClickBehavior_)},
        {QStringLiteral("edgeSnap"), edgeSnap_},
        {QStringLiteral("idleSleepMinutes"), idleSleepMinutes_},
        {QStringLiteral("enabled"), enabledObject},
        {QStringLiteral("approvalMode"), rawValue(approvalMode_)},
        {QStringLiteral("trustedCommands"), QJsonArray::fromStringList(trustedCommands_)},
        {QStringLiteral("dangerousCommands"), QJsonArray::fromStringList(dangerousCommands_)},
        {QStringLiteral("bypassRiskCheck"), bypassRiskCheck_},
        {QStringLiteral("showNotifications"), showNotifications_},
        {QStringLiteral("notifyApprovalRequired"), notifyApprovalRequired_},
        {QStringLiteral("notifyTaskCompleted"), notifyTaskCompleted_},
        {QStringLiteral("notifyRiskyAction"), notifyRiskyAction_},
        {QStringLiteral("themeColor"), themeColor_},
        {QStringLiteral("animationSpeed"), animationSpeed_},
        {QStringLiteral("showActivityLabel"), showActivityLabel_},
        {QStringLiteral("showProviderChip"), showProviderChip_},
        {QStringLiteral("smartSummary"), smartSummary_},
        {QStringLiteral("summaryProvider"), rawValue(summaryProvider_)},
        {QStringLiteral("summaryModels"), models},
        {QStringLiteral("summaryBaseURLs"), baseURLs},
        {QStringLiteral("language"), rawValue(language_)},
    };
}

void SettingsStore::importDictionary(const QJsonObject& object) {
    const PreferencesBatch batch(preferences_);

    const auto boolean = [&](const char* name, void (SettingsStore::*setter)(bool)) {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isBool())
            (this->*setter)(value.toBool());
    };
    const auto number = [&](const char* name, void (SettingsStore::*setter)(double)) {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isDouble() && std::isfinite(value.toDouble()))
            (this->*setter)(value.toDouble());
    };
    const auto string = [&](const char* name, void (SettingsStore::*setter)(const QString&)) {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isString())
            (this->*setter)(value.toString());
    };
    const auto list = [&](const char* name, void (SettingsStore::*setter)(const QStringList&)) {
        if (const auto strings = jsonStringList(object.value(QLatin1String(name))))
            (this->*setter)(*strings);
    };
    const auto enumeration = [&]<SettingsEnum E>(const char* name, void (SettingsStore::*setter)(E)) {
        const QJsonValue value = object.value(QLatin1String(name));
        if (!value.isString())
            return;
        if (const auto parsed = fromRaw<E>(value.toString()))
            (this->*setter)(*parsed);
    };
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

    boolean("launchAtLogin", &SettingsStore::setLaunchAtLogin);
    boolean("alwaysOnTop", &SettingsStore::setAlwaysOnTop);
    boolean("pauseNubbo", &SettingsStore::setPauseNubbo);
    enumeration("petSource", &SettingsStore::setPetSource);
    string("customPetPath", &SettingsStore::setCustomPetPath);
    number("petSizeScale", &SettingsStore::setPetSizeScale);
    enumeration("bubbleStyle", &SettingsStore::setBubbleStyle);
    enumeration("singleClickBehavior", &SettingsStore::setSingleClickBehavior);
    enumeration("doubleClickBehavior", &SettingsStore::setDoubleClickBehavior);
    boolean("edgeSnap", &SettingsStore::setEdgeSnap);
    if (const auto minutes = jsonInt(object.value(QLatin1String("idleSleepMinutes"))))
        setIdleSleepMinutes(*minutes);

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

    enumeration("approvalMode", &SettingsStore::setApprovalMode);
    list("trustedCommands", &SettingsStore::setTrustedCommands);
    list("dangerousCommands", &SettingsStore::setDangerousCommands);
    boolean("bypassRiskCheck", &SettingsStore::setBypassRiskCheck);
    boolean("showNotifications", &SettingsStore::setShowNotifications);
    boolean("notifyApprovalRequired", &SettingsStore::setNotifyApprovalRequired);
    boolean("notifyTaskCompleted", &SettingsStore::setNotifyTaskCompleted);
    boolean("notifyRiskyAction", &SettingsStore::setNotifyRiskyAction);
    string("themeColor", &SettingsStore::setThemeColor);
    number("animationSpeed", &SettingsStore::setAnimationSpeed);
    boolean("showActivityLabel", &SettingsStore::setShowActivityLabel);
    boolean("showProviderChip", &SettingsStore::setShowProviderChip);
    boolean("smartSummary", &SettingsStore::setSmartSummary);
    enumeration("summaryProvider", &SettingsStore::setSummaryProvider);

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

    enumeration("language", &SettingsStore::setLanguage);
}

} // namespace nubbo
