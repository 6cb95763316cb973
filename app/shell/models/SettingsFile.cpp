#include "shell/models/SettingsFile.h"

#include "platform/LoginItem.h"
#include "platform/PreferencesDomain.h"
#include "common/ProviderRegistry.h"
#include "platform/SecretStore.h"
#include "settings/SettingsStore.h"
#include "shell/models/SettingsTexts.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace nubbo {

namespace {

// An exported document is a few kilobytes; anything far larger is not one, and reading it whole could
// exhaust memory.
constexpr qint64 maximumSettingsFileSize = 1024 * 1024;

QString localized(Language language, const char* english, const char* chinese) {
    return QString::fromUtf8(language == Language::zh ? chinese : english);
}

SettingsFileAlert notASettingsFile(Language language) {
    return {localized(language, "Could not read settings file", "无法读取设置文件"),
            localized(language, "The file is not a valid Nubbo settings JSON.", "该文件不是有效的 Nubbo 设置 JSON。")};
}

// Reads through to the live preferences and keeps its own writes, so a throwaway store loads exactly the
// user's settings and takes a document the way the real store would, with nothing real written.
class OverlayPreferences final : public PreferencesDomain {
public:
    explicit OverlayPreferences(const PreferencesDomain& base) : base_(base) {}

    QVariant value(const QString& key) const override {
        if (removed_.contains(key))
            return {};
        const auto found = written_.constFind(key);
        return found != written_.constEnd() ? *found : base_.value(key);
    }
    void setValue(const QString& key, const QVariant& value) override {
        removed_.remove(key);
        written_.insert(key, value);
    }
    void remove(const QString& key) override {
        written_.remove(key);
        removed_.insert(key);
    }
    bool contains(const QString& key) const override {
        return !removed_.contains(key) && (written_.contains(key) || base_.contains(key));
    }

private:
    const PreferencesDomain& base_;
    QHash<QString, QVariant> written_;
    QSet<QString> removed_;
};

// The throwaway store must not register a login item or touch the keychain.
class NoLoginItem final : public LoginItem {
public:
    void set(bool) override {}
};

class NoSecrets final : public SecretStore {
public:
    std::optional<QString> string(const QString&) override { return std::nullopt; }
    void set(const QString&, const QString&) override {}
    void remove(const QString&) override {}
};

// The settings an import is checked for.
struct Watched {
    ApprovalMode mode = ApprovalMode::manual;
    bool bypass = false;
    QStringList trusted;
    QStringList dangerous;
    QStringList agentsOn; // catalogue ids, in catalogue order
    bool launchAtLogin = false;
    bool smartSummary = false;
    SummaryProvider provider = SummaryProvider::anthropic;
    QString endpoint;
};

Watched watched(const SettingsStore& store) {
    Watched w{store.approvalMode(),
              store.bypassRiskCheck(),
              store.trustedCommands(),
              store.dangerousCommands(),
              {},
              store.launchAtLogin(),
              store.smartSummary(),
              store.summaryProvider(),
              store.summaryBaseURL(SummaryProvider::custom)};
    for (const ProviderSpec& spec : ProviderRegistry::all()) {
        const QString id = QString::fromStdString(spec.id);
        if (store.enabled(id))
            w.agentsOn.append(id);
    }
    return w;
}

// What a file could use to make an entry read as something else (line breaks, bidi overrides, zero-width
// characters) shows as a replacement character; an overlong value is cut with an ellipsis.
QString printable(const QString& text, qsizetype limit) {
    QString result;
    for (const QChar c : text) {
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            result.append(QChar::ReplacementCharacter);
            break;
        default:
            result.append(c);
        }
    }
    if (result.size() <= limit)
        return result;
    qsizetype cut = limit;
    if (result.at(cut).isLowSurrogate())
        --cut;
    return result.left(cut) + QChar(0x2026);
}

QString arrow(const QString& from, const QString& to) { return from + QStringLiteral(" → ") + to; }

QString onOff(bool on, Language language) {
    return on ? localized(language, "On", "开启") : localized(language, "Off", "关闭");
}

// The first few, quoted, then how many more.
QString shortList(const QStringList& items, Language language) {
    constexpr qsizetype shown = 3;
    QStringList quoted;
    for (qsizetype i = 0; i < std::min(shown, items.size()); ++i)
        quoted.append(QStringLiteral("“") + printable(items.at(i), 60) + QStringLiteral("”"));
    const QString joined = quoted.join(localized(language, ", ", "、"));
    if (items.size() <= shown)
        return joined;
    return localized(language, "%1 and %2 more", "%1 及另外 %2 项").arg(joined).arg(items.size() - shown);
}

// Entries of `to` that `from` lacks, as the approvals match them: ignoring case, never by an empty entry.
QStringList missingFrom(const QStringList& from, const QStringList& to) {
    QSet<QString> known;
    for (const QString& entry : from)
        known.insert(entry.toLower());
    QStringList missing;
    for (const QString& entry : to) {
        const QString lower = entry.toLower();
        if (entry.isEmpty() || known.contains(lower))
            continue;
        known.insert(lower);
        missing.append(entry);
    }
    return missing;
}

// "Adds … · Removes …"; empty when the list matches the same commands as before.
QString listChange(const QStringList& added, const QStringList& removed, Language language) {
    QStringList parts;
    if (!added.isEmpty())
        parts.append(localized(language, "Adds %1", "新增 %1").arg(shortList(added, language)));
    if (!removed.isEmpty())
        parts.append(localized(language, "Removes %1", "移除 %1").arg(shortList(removed, language)));
    return parts.join(QStringLiteral(" · "));
}

QString agentTitles(const QStringList& ids, Language language) {
    QStringList titles;
    for (const QString& id : ids) {
        const ProviderSpec* spec = ProviderRegistry::spec(id.toStdString());
        titles.append(spec ? QString::fromStdString(spec->title) : id);
    }
    return titles.join(localized(language, ", ", "、"));
}

} // namespace

bool exportToFile(const SettingsStore& store, const QString& path, QString* error) {
    const QByteArray content = QJsonDocument(store.exportDictionary()).toJson(QJsonDocument::Indented);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

SettingsFileReading readSettingsFile(const QString& path, Language language) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumSettingsFileSize)
        return notASettingsFile(language);
    // size() is 0 for some special files; bound the read itself as well.
    const QByteArray data = file.read(maximumSettingsFileSize + 1);
    if (data.size() > maximumSettingsFileSize)
        return notASettingsFile(language);

    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return notASettingsFile(language);

    return SettingsImportConfirmation{
        document.object(),
        localized(language, "Import settings?", "导入设置？"),
        localized(language, "This overwrites your current settings with the values in this file. API keys are not "
                            "affected.",
                  "这会用文件中的值覆盖你当前的设置。API key 不受影响。"),
        localized(language, "Import", "导入"),
        localized(language, "Cancel", "取消"),
        {},
        {},
    };
}

SettingsFileReading readSettingsFile(const QString& path, const SettingsStore& current) {
    const Language language = current.effectiveLanguage();
    SettingsFileReading reading = readSettingsFile(path, language);
    if (auto* confirmation = std::get_if<SettingsImportConfirmation>(&reading)) {
        confirmation->changes = importChanges(current, confirmation->settings, language);
        confirmation->changesHeading =
            localized(language, "This file changes what may run without asking and what is sent off this computer:",
                      "此文件会更改哪些操作无需询问即可执行、哪些内容会发出本机：");
    }
    return reading;
}

QList<SettingsImportChange> importChanges(const SettingsStore& current, const QJsonObject& settings,
                                          Language language) {
    // Whatever the store ignores, trims or folds in a document is then ignored, trimmed or folded here too.
    OverlayPreferences overlay(current.preferences());
    NoSecrets secrets;
    NoLoginItem loginItem;
    SettingsStore scratch(overlay, secrets, loginItem, [] { return QStringList(); });
    scratch.importDictionary(settings);

    const Watched now = watched(current);
    const Watched then = watched(scratch);
    const auto label = [language](const char* key) { return SettingsTexts::text(QString::fromLatin1(key), language); };

    QList<SettingsImportChange> changes;
    // The modes are declared from the one that asks most to the one that asks least.
    if (then.mode != now.mode)
        changes.append({QStringLiteral("approvalMode"), label("approvalMode"),
                        arrow(title(now.mode, language), title(then.mode, language)), then.mode > now.mode});
    if (then.bypass != now.bypass)
        changes.append({QStringLiteral("bypassRiskCheck"), label("ignoreRisk"),
                        arrow(onOff(now.bypass, language), onOff(then.bypass, language)), then.bypass});
    // More trusted commands, or fewer dangerous ones, let more run without asking.
    const QStringList trustedAdded = missingFrom(now.trusted, then.trusted);
    const QStringList trustedRemoved = missingFrom(then.trusted, now.trusted);
    if (!trustedAdded.isEmpty() || !trustedRemoved.isEmpty())
        changes.append({QStringLiteral("trustedCommands"), label("trustedCommands"),
                        listChange(trustedAdded, trustedRemoved, language), !trustedAdded.isEmpty()});
    const QStringList dangerousAdded = missingFrom(now.dangerous, then.dangerous);
    const QStringList dangerousRemoved = missingFrom(then.dangerous, now.dangerous);
    if (!dangerousAdded.isEmpty() || !dangerousRemoved.isEmpty())
        changes.append({QStringLiteral("dangerousCommands"), label("dangerousCommands"),
                        listChange(dangerousAdded, dangerousRemoved, language), !dangerousRemoved.isEmpty()});
    QStringList switchedOn;
    for (const QString& id : then.agentsOn) {
        if (!now.agentsOn.contains(id))
            switchedOn.append(id);
    }
    if (!switchedOn.isEmpty())
        changes.append({QStringLiteral("enabled"), localized(language, "Agents Switched On", "将启用的 Agent"),
                        agentTitles(switchedOn, language), false});
    if (then.launchAtLogin != now.launchAtLogin)
        changes.append({QStringLiteral("launchAtLogin"), label("launchAtLogin"),
                        arrow(onOff(now.launchAtLogin, language), onOff(then.launchAtLogin, language)), false});
    if (then.smartSummary != now.smartSummary)
        changes.append({QStringLiteral("smartSummary"), label("smartSummary"),
                        arrow(onOff(now.smartSummary, language), onOff(then.smartSummary, language)), false});
    if (then.provider != now.provider)
        changes.append({QStringLiteral("summaryProvider"), label("summaryProvider"),
                        arrow(title(now.provider, language), title(then.provider, language)), false});
    if (then.endpoint != now.endpoint) {
        const auto shown = [language](const QString& url) {
            return url.isEmpty() ? localized(language, "(none)", "（无）") : printable(url, 120);
        };
        QString change = arrow(shown(now.endpoint), shown(then.endpoint));
        if (const QString problem = SettingsTexts::endpointProblemKey(then.endpoint); !problem.isEmpty())
            change += QStringLiteral(" — ") + SettingsTexts::text(problem, language);
        changes.append({QStringLiteral("summaryBaseURLs"),
                        localized(language, "Custom Summary Endpoint", "自定义总结端点"), change, false});
    }
    std::stable_partition(changes.begin(), changes.end(), [](const SettingsImportChange& c) { return c.weakens; });
    return changes;
}

void importConfirmed(SettingsStore& store, const QJsonObject& settings) { store.importDictionary(settings); }

} // namespace nubbo
