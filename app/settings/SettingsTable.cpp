#include "settings/SettingsTable.h"

#include "core/SettingsEnums.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <limits>

namespace nubbo {

namespace {

using Type = Setting::Type;

Setting row(const char* name, Type type, const QVariant& fallback) {
    Setting setting;
    setting.name = QString::fromLatin1(name);
    setting.type = type;
    setting.defaultValue = fallback;
    return setting;
}

Setting flag(const char* name, bool fallback) { return row(name, Type::flag, fallback); }

Setting wholeNumber(const char* name, int fallback) { return row(name, Type::wholeNumber, fallback); }

Setting number(const char* name, double fallback, Setting::Range range) {
    Setting setting = row(name, Type::number, fallback);
    setting.range = range;
    return setting;
}

Setting text(const char* name, const QString& fallback = QString()) { return row(name, Type::text, fallback); }

Setting textList(const char* name, const QStringList& fallback) { return row(name, Type::textList, fallback); }

template <SettingsEnum E>
Setting choice(const char* name, E fallback) {
    Setting setting = row(name, Type::choice, rawValue(fallback));
    for (const E value : allCases<E>())
        setting.choices.append(rawValue(value));
    return setting;
}

Setting machineOnly(Setting setting) {
    setting.exported = false;
    return setting;
}

} // namespace

const QList<Setting>& SettingsTable::rows() {
    static const QList<Setting> table{
        flag("launchAtLogin", false),
        flag("alwaysOnTop", true),
        flag("pauseNubbo", false),
        choice("petSource", PetSource::official),
        text("customPetPath"),
        // Pack folders differ from machine to machine.
        machineOnly(text("activePackPath")),
        number("petSizeScale", 1.0, {0.8, 1.6}),
        choice("bubbleStyle", BubbleStyle::normal),
        choice("singleClickBehavior", SingleClickBehavior::toggleBubble),
        choice("doubleClickBehavior", DoubleClickBehavior::petReaction),
        flag("edgeSnap", true),
        // 0 is never; so is any number below it.
        wholeNumber("idleSleepMinutes", 10),
        choice("approvalMode", ApprovalMode::manual),
        textList("trustedCommands", {QStringLiteral("git status"), QStringLiteral("git diff"),
                                     QStringLiteral("npm install"), QStringLiteral("pnpm install"),
                                     QStringLiteral("bun install")}),
        textList("dangerousCommands", {QStringLiteral("rm -rf"), QStringLiteral("sudo"), QStringLiteral("chmod 777"),
                                       QStringLiteral("drop database"), QStringLiteral("delete database"),
                                       QStringLiteral("format disk")}),
        flag("bypassRiskCheck", false),
        flag("showNotifications", true),
        flag("notifyApprovalRequired", true),
        flag("notifyTaskCompleted", true),
        flag("notifyRiskyAction", true),
        flag("quietWhileLooking", true),
        // Any text; the palette draws a name it does not know as pink.
        text("themeColor", QStringLiteral("pink")),
        number("animationSpeed", 1.0, {0.5, 2.0}),
        flag("showActivityLabel", true),
        flag("showProviderChip", false),
        flag("smartSummary", false),
        choice("summaryProvider", SummaryProvider::anthropic),
        choice("language", AppLanguage::system),
    };
    return table;
}

const Setting* SettingsTable::find(QStringView name) {
    for (const Setting& setting : rows()) {
        if (setting.name == name)
            return &setting;
    }
    return nullptr;
}

std::optional<QVariant> Setting::accepted(const QVariant& value) const {
    const int typeId = value.typeId();
    const bool integer = typeId == QMetaType::Int || typeId == QMetaType::LongLong;
    switch (type) {
    case Type::flag:
        if (typeId == QMetaType::Bool)
            return value;
        break;
    case Type::wholeNumber:
        if (integer && value.toLongLong() >= std::numeric_limits<int>::min() &&
            value.toLongLong() <= std::numeric_limits<int>::max())
            return QVariant(value.toInt());
        break;
    case Type::number:
        // JSON keeps 2.0 as 2.
        if (integer)
            return QVariant(double(value.toLongLong()));
        // A broken binding can hand over NaN; the file cannot hold it and the pet could not be drawn with it.
        if (typeId == QMetaType::Double && std::isfinite(value.toDouble()))
            return value;
        break;
    case Type::text:
        if (typeId == QMetaType::QString)
            return value;
        break;
    case Type::textList:
        if (typeId == QMetaType::QStringList)
            return value;
        break;
    case Type::choice:
        if (typeId == QMetaType::QString && choices.contains(value.toString()))
            return value;
        break;
    }
    return std::nullopt;
}

QVariant Setting::toPreferences(const QVariant& value) const {
    return type == Type::wholeNumber ? QVariant(qint64(value.toInt())) : value;
}

std::optional<QVariant> Setting::fromDocument(const QJsonValue& value) const {
    switch (value.type()) {
    case QJsonValue::Bool:
        return accepted(value.toBool());
    case QJsonValue::Double: {
        const double number = value.toDouble();
        if (std::floor(number) == number && std::abs(number) < 0x1p63)
            return accepted(qint64(number));
        return accepted(number);
    }
    case QJsonValue::String:
        return accepted(value.toString());
    case QJsonValue::Array: {
        QStringList strings;
        for (const QJsonValue& element : value.toArray()) {
            if (!element.isString())
                return std::nullopt;
            strings.append(element.toString());
        }
        return accepted(strings);
    }
    default:
        return std::nullopt;
    }
}

QJsonValue Setting::toDocument(const QVariant& value) const {
    switch (type) {
    case Type::flag:
        return value.toBool();
    case Type::wholeNumber:
        return value.toInt();
    case Type::number:
        return value.toDouble();
    case Type::text:
    case Type::choice:
        return value.toString();
    case Type::textList:
        return QJsonArray::fromStringList(value.toStringList());
    }
    return {};
}

double Setting::clamped(double value) const { return range ? std::clamp(value, range->from, range->to) : value; }

} // namespace nubbo
