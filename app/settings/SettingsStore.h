// The user's choices: one observable object, every write persisted at once in the preferences domain.
// API keys are not settings: they stay in the keychain and are never exported, imported or reset here.
#pragma once

#include "core/SettingsEnums.h"
#include "approvals/TrustSettings.h"

#include <QHash>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace nubbo {

class LoginItem;
class PreferencesDomain;
class SecretStore;
struct ApprovalNotice;

// Lives on the main thread; every write and every signal happens there. The exceptions are enabled(id) and
// configFolder(id), which the hook guardian and the agent detector may call from their own threads, and the two snapshots trustSettings() and
// effectiveLanguageThreadSafe(), which the event bus reads on the socket server's thread.
// Each setting of the table (settings/SettingsTable.h) is a property of the same name: a reset and an import
// write it through the property's setter, and a change is announced with the property's signal.
class SettingsStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(bool alwaysOnTop READ alwaysOnTop WRITE setAlwaysOnTop NOTIFY alwaysOnTopChanged)
    Q_PROPERTY(bool pauseNubbo READ pauseNubbo WRITE setPauseNubbo NOTIFY pauseNubboChanged)
    Q_PROPERTY(QString petSource READ petSourceRaw WRITE setPetSourceRaw NOTIFY petSourceChanged)
    Q_PROPERTY(QString customPetPath READ customPetPath WRITE setCustomPetPath NOTIFY customPetPathChanged)
    Q_PROPERTY(QString activePackPath READ activePackPath WRITE setActivePackPath NOTIFY activePackPathChanged)
    Q_PROPERTY(double petSizeScale READ petSizeScale WRITE setPetSizeScale NOTIFY petSizeScaleChanged)
    Q_PROPERTY(QString bubbleStyle READ bubbleStyleRaw WRITE setBubbleStyleRaw NOTIFY bubbleStyleChanged)
    Q_PROPERTY(QString singleClickBehavior READ singleClickBehaviorRaw WRITE setSingleClickBehaviorRaw NOTIFY
                   singleClickBehaviorChanged)
    Q_PROPERTY(QString doubleClickBehavior READ doubleClickBehaviorRaw WRITE setDoubleClickBehaviorRaw NOTIFY
                   doubleClickBehaviorChanged)
    Q_PROPERTY(bool edgeSnap READ edgeSnap WRITE setEdgeSnap NOTIFY edgeSnapChanged)
    Q_PROPERTY(int idleSleepMinutes READ idleSleepMinutes WRITE setIdleSleepMinutes NOTIFY idleSleepMinutesChanged)
    // id → bool; write through setEnabled.
    Q_PROPERTY(QVariantMap enabled READ enabledMap NOTIFY enabledChanged)
    // id → the config folder chosen for the agent; an agent at its default folder has none. Write through
    // setConfigFolder.
    Q_PROPERTY(QVariantMap configFolders READ configFoldersMap NOTIFY configFoldersChanged)
    Q_PROPERTY(QString approvalMode READ approvalModeRaw WRITE setApprovalModeRaw NOTIFY approvalModeChanged)
    Q_PROPERTY(QStringList trustedCommands READ trustedCommands WRITE setTrustedCommands NOTIFY
                   trustedCommandsChanged)
    Q_PROPERTY(QStringList dangerousCommands READ dangerousCommands WRITE setDangerousCommands NOTIFY
                   dangerousCommandsChanged)
    Q_PROPERTY(bool bypassRiskCheck READ bypassRiskCheck WRITE setBypassRiskCheck NOTIFY bypassRiskCheckChanged)
    Q_PROPERTY(bool showNotifications READ showNotifications WRITE setShowNotifications NOTIFY
                   showNotificationsChanged)
    Q_PROPERTY(bool notifyApprovalRequired READ notifyApprovalRequired WRITE setNotifyApprovalRequired NOTIFY
                   notifyApprovalRequiredChanged)
    Q_PROPERTY(bool notifyTaskCompleted READ notifyTaskCompleted WRITE setNotifyTaskCompleted NOTIFY
                   notifyTaskCompletedChanged)
    Q_PROPERTY(bool notifyRiskyAction READ notifyRiskyAction WRITE setNotifyRiskyAction NOTIFY
                   notifyRiskyActionChanged)
    Q_PROPERTY(bool quietWhileLooking READ quietWhileLooking WRITE setQuietWhileLooking NOTIFY
                   quietWhileLookingChanged)
    Q_PROPERTY(QString themeColor READ themeColor WRITE setThemeColor NOTIFY themeColorChanged)
    Q_PROPERTY(double animationSpeed READ animationSpeed WRITE setAnimationSpeed NOTIFY animationSpeedChanged)
    Q_PROPERTY(bool showActivityLabel READ showActivityLabel WRITE setShowActivityLabel NOTIFY
                   showActivityLabelChanged)
    Q_PROPERTY(bool showProviderChip READ showProviderChip WRITE setShowProviderChip NOTIFY showProviderChipChanged)
    Q_PROPERTY(bool smartSummary READ smartSummary WRITE setSmartSummary NOTIFY smartSummaryChanged)
    Q_PROPERTY(QString summaryProvider READ summaryProviderRaw WRITE setSummaryProviderRaw NOTIFY
                   summaryProviderChanged)
    Q_PROPERTY(QString language READ languageRaw WRITE setLanguageRaw NOTIFY languageChanged)
    // "en" or "zh", never "system".
    Q_PROPERTY(QString effectiveLanguage READ effectiveLanguageRaw NOTIFY effectiveLanguageChanged)
    // The art in effect, "" for none: follow petSource, customPetPath and activePackPath together.
    Q_PROPERTY(QString effectiveCustomPetPath READ effectiveCustomPetPathRaw NOTIFY effectivePetArtChanged)
    Q_PROPERTY(QString effectivePackPath READ effectivePackPathRaw NOTIFY effectivePetArtChanged)
    // While Allow All or Ignore Risk is on, what the badge, the banner and the tray say and the way back
    // (ApprovalNotice::toMap: kind "" / "allowAll" / "ignoreRisk", title, detail, wayBack, menuItem, toolTip).
    Q_PROPERTY(QVariantMap approvalNotice READ approvalNoticeMap NOTIFY approvalNoticeChanged)
    // What the card's Allow All button will do under the current settings, in the display language.
    Q_PROPERTY(QString allowAllExplanation READ allowAllExplanation NOTIFY approvalNoticeChanged)

public:
    // The user's preferred interface languages, most preferred first (the app passes
    // QLocale::system().uiLanguages()).
    using PreferredLanguages = std::function<QStringList()>;

    // Reads every setting (falling back to defaults for anything missing or mistyped), moves a summary API
    // key from its old keychain item to "apiKey.anthropic", and migrates the legacy enable flags.
    SettingsStore(PreferencesDomain& preferences, SecretStore& secrets, LoginItem& loginItem,
                  PreferredLanguages preferredLanguages, QObject* parent = nullptr);
    ~SettingsStore() override;

    // The process-wide instance the app's start-up installed; aborts when there is none.
    static SettingsStore& shared();
    // The start-up keeps ownership; pass nullptr to uninstall.
    static void setShared(SettingsStore* store);
    static bool hasShared();

    // Where the store logs what it ignores; the app log unless replaced.
    void setLog(std::function<void(const QString& line)> log) { log_ = std::move(log); }

    // The domain the store writes to, for the few other keys the app keeps beside the settings.
    PreferencesDomain& preferences() const { return preferences_; }

    bool launchAtLogin() const { return value(u"launchAtLogin").toBool(); }
    // Also registers or unregisters the login item, on every write (a reset must unregister even when the
    // stored value already says false).
    void setLaunchAtLogin(bool on);
    bool alwaysOnTop() const { return value(u"alwaysOnTop").toBool(); }
    void setAlwaysOnTop(bool on) { write(u"alwaysOnTop", on); }
    bool pauseNubbo() const { return value(u"pauseNubbo").toBool(); }
    void setPauseNubbo(bool on) { write(u"pauseNubbo", on); }
    PetSource petSource() const { return choice<PetSource>(u"petSource"); }
    void setPetSource(PetSource source) { write(u"petSource", rawValue(source)); }
    QString customPetPath() const { return value(u"customPetPath").toString(); }
    void setCustomPetPath(const QString& path);
    QString activePackPath() const { return value(u"activePackPath").toString(); }
    void setActivePackPath(const QString& path) { write(u"activePackPath", path); }
    double petSizeScale() const { return value(u"petSizeScale").toDouble(); }
    void setPetSizeScale(double scale) { write(u"petSizeScale", scale); }
    BubbleStyle bubbleStyle() const { return choice<BubbleStyle>(u"bubbleStyle"); }
    void setBubbleStyle(BubbleStyle style) { write(u"bubbleStyle", rawValue(style)); }
    SingleClickBehavior singleClickBehavior() const { return choice<SingleClickBehavior>(u"singleClickBehavior"); }
    void setSingleClickBehavior(SingleClickBehavior behavior) { write(u"singleClickBehavior", rawValue(behavior)); }
    DoubleClickBehavior doubleClickBehavior() const { return choice<DoubleClickBehavior>(u"doubleClickBehavior"); }
    void setDoubleClickBehavior(DoubleClickBehavior behavior) { write(u"doubleClickBehavior", rawValue(behavior)); }
    bool edgeSnap() const { return value(u"edgeSnap").toBool(); }
    void setEdgeSnap(bool on) { write(u"edgeSnap", on); }
    int idleSleepMinutes() const { return value(u"idleSleepMinutes").toInt(); }
    void setIdleSleepMinutes(int minutes) { write(u"idleSleepMinutes", minutes); }
    ApprovalMode approvalMode() const { return choice<ApprovalMode>(u"approvalMode"); }
    void setApprovalMode(ApprovalMode mode);
    QStringList trustedCommands() const { return value(u"trustedCommands").toStringList(); }
    void setTrustedCommands(const QStringList& commands) { write(u"trustedCommands", commands); }
    QStringList dangerousCommands() const { return value(u"dangerousCommands").toStringList(); }
    void setDangerousCommands(const QStringList& commands) { write(u"dangerousCommands", commands); }
    bool bypassRiskCheck() const { return value(u"bypassRiskCheck").toBool(); }
    void setBypassRiskCheck(bool on) { write(u"bypassRiskCheck", on); }
    bool showNotifications() const { return value(u"showNotifications").toBool(); }
    void setShowNotifications(bool on) { write(u"showNotifications", on); }
    bool notifyApprovalRequired() const { return value(u"notifyApprovalRequired").toBool(); }
    void setNotifyApprovalRequired(bool on) { write(u"notifyApprovalRequired", on); }
    bool notifyTaskCompleted() const { return value(u"notifyTaskCompleted").toBool(); }
    void setNotifyTaskCompleted(bool on) { write(u"notifyTaskCompleted", on); }
    bool notifyRiskyAction() const { return value(u"notifyRiskyAction").toBool(); }
    void setNotifyRiskyAction(bool on) { write(u"notifyRiskyAction", on); }
    // No notification for a session whose terminal the user is looking at.
    bool quietWhileLooking() const { return value(u"quietWhileLooking").toBool(); }
    void setQuietWhileLooking(bool on) { write(u"quietWhileLooking", on); }
    QString themeColor() const { return value(u"themeColor").toString(); }
    void setThemeColor(const QString& color) { write(u"themeColor", color); }
    double animationSpeed() const { return value(u"animationSpeed").toDouble(); }
    void setAnimationSpeed(double speed) { write(u"animationSpeed", speed); }
    bool showActivityLabel() const { return value(u"showActivityLabel").toBool(); }
    void setShowActivityLabel(bool on) { write(u"showActivityLabel", on); }
    bool showProviderChip() const { return value(u"showProviderChip").toBool(); }
    void setShowProviderChip(bool on) { write(u"showProviderChip", on); }
    bool smartSummary() const { return value(u"smartSummary").toBool(); }
    void setSmartSummary(bool on) { write(u"smartSummary", on); }
    SummaryProvider summaryProvider() const { return choice<SummaryProvider>(u"summaryProvider"); }
    void setSummaryProvider(SummaryProvider provider) { write(u"summaryProvider", rawValue(provider)); }
    AppLanguage language() const { return choice<AppLanguage>(u"language"); }
    void setLanguage(AppLanguage language);

    // The mode that was in force when Allow All was last switched on, kept across restarts; manual when
    // unknown.
    ApprovalMode modeBeforeAllowAll() const { return modeBeforeAllowAll_; }
    // One click back: from Allow All to modeBeforeAllowAll(); nothing in any other mode.
    Q_INVOKABLE void leaveAllowAll();
    Q_INVOKABLE void turnOffIgnoreRisk() { setBypassRiskCheck(false); }
    ApprovalNotice approvalNotice() const;
    QVariantMap approvalNoticeMap() const;
    QString allowAllExplanation() const;

    // Raw-value faces of the enumerations for QML; an unknown raw value is ignored.
    QString petSourceRaw() const { return value(u"petSource").toString(); }
    void setPetSourceRaw(const QString& raw) { write(u"petSource", raw); }
    QString bubbleStyleRaw() const { return value(u"bubbleStyle").toString(); }
    void setBubbleStyleRaw(const QString& raw) { write(u"bubbleStyle", raw); }
    QString singleClickBehaviorRaw() const { return value(u"singleClickBehavior").toString(); }
    void setSingleClickBehaviorRaw(const QString& raw) { write(u"singleClickBehavior", raw); }
    QString doubleClickBehaviorRaw() const { return value(u"doubleClickBehavior").toString(); }
    void setDoubleClickBehaviorRaw(const QString& raw) { write(u"doubleClickBehavior", raw); }
    QString approvalModeRaw() const { return value(u"approvalMode").toString(); }
    void setApprovalModeRaw(const QString& raw);
    QString summaryProviderRaw() const { return value(u"summaryProvider").toString(); }
    void setSummaryProviderRaw(const QString& raw) { write(u"summaryProvider", raw); }
    QString languageRaw() const { return value(u"language").toString(); }
    void setLanguageRaw(const QString& raw);

    // For the views, by property name: the ends of a numeric setting's range (NaN for a setting without
    // one), and a value brought within it.
    Q_INVOKABLE double rangeFrom(const QString& name) const;
    Q_INVOKABLE double rangeTo(const QString& name) const;
    Q_INVOKABLE double clamped(const QString& name, double value) const;

    // Whether the agent is integrated: the entry for the lower-cased id, else its catalogue default, else
    // false. Safe from any thread.
    bool enabled(const QString& id) const;
    // Stores the flag for the lower-cased id (any id, catalogue or not; an empty one is ignored).
    Q_INVOKABLE void setEnabled(const QString& id, bool on);
    QVariantMap enabledMap() const;

    // The config folder chosen for the agent by lower-cased id (absolute, cleaned), empty for its default one.
    // Safe from any thread.
    QString configFolder(const QString& id) const;
    // For a catalogue agent whose own variable moves its folder; an empty folder is the default, a relative
    // one is ignored. A change is announced with the folder it replaced.
    Q_INVOKABLE void setConfigFolder(const QString& id, const QString& folder);
    QVariantMap configFoldersMap() const;

    // The stored model name when non-empty, else the provider's default.
    QString summaryModel(SummaryProvider provider) const;
    // Trims white space and line breaks and stores the result, also when empty.
    void setSummaryModel(const QString& text, SummaryProvider provider);
    // Fixed endpoints for the hosted providers; for custom the stored text, or "" when none.
    QString summaryBaseURL(SummaryProvider provider) const;
    // Trims and stores, for any provider (only custom's is ever consulted).
    void setSummaryBaseURL(const QString& text, SummaryProvider provider);
    static QString defaultSummaryModel(SummaryProvider provider);
    // The same for QML, by raw value; an unknown provider reads as "" and is not written.
    Q_INVOKABLE QString summaryModelFor(const QString& providerRaw) const;
    Q_INVOKABLE void setSummaryModelFor(const QString& text, const QString& providerRaw);
    Q_INVOKABLE QString summaryBaseURLFor(const QString& providerRaw) const;
    Q_INVOKABLE void setSummaryBaseURLFor(const QString& text, const QString& providerRaw);

    // customPetPath when the source is custom and it is non-empty, unless it names something other than a
    // regular file (a FIFO, a device, a folder): that is ignored, and logged once per path. Asked with stat()
    // once per path, never by opening it, which would block on a FIFO. A missing file stays in effect: the
    // picture look-up falls back from it, and it may yet appear (a drive mounted later).
    std::optional<QString> effectiveCustomPetPath() const;
    // activePackPath when the source is pack and it is non-empty.
    std::optional<QString> effectivePackPath() const;
    QString effectiveCustomPetPathRaw() const { return effectiveCustomPetPath().value_or(QString()); }
    QString effectivePackPathRaw() const { return effectivePackPath().value_or(QString()); }

    // en or zh: the chosen language, or for "system" the first preferred language (zh when it starts with
    // "zh"; en when there is none).
    Language effectiveLanguage() const;
    QString effectiveLanguageRaw() const;

    // Safe from any thread: the approval settings as of the last write, updated before the change signal.
    TrustSettings trustSettings() const;
    // effectiveLanguage() for other threads. "system" is resolved when the language is loaded or written,
    // which is when the process's preferred languages can matter.
    Language effectiveLanguageThreadSafe() const;

    // Every setting back to its default through the setters (so each is persisted and published). Summary
    // models and endpoints and keychain items are left alone.
    Q_INVOKABLE void resetAll();
    // The 31-key settings document: version, every exported setting, the enable flags, the config folders,
    // the summary models and the custom endpoint (no activePackPath or API keys).
    QJsonObject exportDictionary() const;
    // Applies each known key that is present and well typed, through the properties' setters; skips the rest.
    void importDictionary(const QJsonObject& object);

    static QStringList defaultTrustedCommands();
    static QStringList defaultDangerousCommands();

Q_SIGNALS:
    void launchAtLoginChanged();
    void alwaysOnTopChanged();
    void pauseNubboChanged();
    void petSourceChanged();
    void customPetPathChanged();
    void activePackPathChanged();
    void petSizeScaleChanged();
    void bubbleStyleChanged();
    void singleClickBehaviorChanged();
    void doubleClickBehaviorChanged();
    void edgeSnapChanged();
    void idleSleepMinutesChanged();
    void enabledChanged();
    void enabledEntryChanged(const QString& id, bool on);
    void configFoldersChanged();
    void configFolderChanged(const QString& id, const QString& previousFolder);
    void approvalModeChanged();
    void trustedCommandsChanged();
    void dangerousCommandsChanged();
    void bypassRiskCheckChanged();
    void showNotificationsChanged();
    void notifyApprovalRequiredChanged();
    void notifyTaskCompletedChanged();
    void notifyRiskyActionChanged();
    void quietWhileLookingChanged();
    void themeColorChanged();
    void animationSpeedChanged();
    void showActivityLabelChanged();
    void showProviderChipChanged();
    void smartSummaryChanged();
    void summaryProviderChanged();
    void languageChanged();
    void effectiveLanguageChanged();
    // Any of petSource, customPetPath or activePackPath was written with a different value.
    void effectivePetArtChanged();
    // Any input of approvalNotice or allowAllExplanation changed: mode, lists, bypass, language.
    void approvalNoticeChanged();
    void summaryModelChanged(const QString& provider);
    void summaryBaseURLChanged(const QString& provider);

private:
    using Signal = void (SettingsStore::*)();

    // A setting's value by row name, in the table's held form (main thread).
    QVariant value(QStringView name) const;
    template <SettingsEnum E>
    E choice(QStringView name) const {
        return fromRaw<E>(value(name).toString()).value_or(E{});
    }
    // Stores, persists and announces a value the setting takes; ignores any other.
    void write(QStringView name, const QVariant& value);
    // Through the property's setter, so what a setter does besides storing happens on every path.
    void writeProperty(const QString& name, const QVariant& value);

    void load();
    void migrateSummaryAPIKey();
    void loadEnabled();
    void loadConfigFolders();
    Language resolveLanguage(AppLanguage language) const;

    PreferencesDomain& preferences_;
    SecretStore& secrets_;
    LoginItem& loginItem_;
    PreferredLanguages preferredLanguages_;

    QHash<QString, QVariant> values_;
    // Whether customPetPath may be opened; asked when first needed after each change.
    mutable std::optional<bool> customPetPathUsable_;
    std::function<void(const QString& line)> log_;
    mutable QMutex enabledMutex_;
    QHash<QString, bool> enabled_;
    mutable QMutex configFoldersMutex_;
    QHash<QString, QString> configFolders_;
    ApprovalMode modeBeforeAllowAll_ = ApprovalMode::manual;
    // Copies of the settings other threads read; written only together with values_.
    mutable QMutex snapshotMutex_;
    TrustSettings trustSnapshot_;
    Language languageSnapshot_ = Language::en;
};

} // namespace nubbo
