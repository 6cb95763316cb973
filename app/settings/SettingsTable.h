// The user's settings, one row each: the name it is stored and exported under, its type, its default and the
// values it takes. The store loads, checks, resets, exports and imports every setting from these rows; adding a
// setting is a row here plus its typed accessors and property on the store.
#pragma once

#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>

#include <optional>

namespace nubbo {

struct Setting {
    // How the value is held: bool, int, double, QString, QStringList, or for a choice the raw spelling of an
    // enumeration case (a QString).
    enum class Type { flag, wholeNumber, number, text, textList, choice };

    // Where the controls stop and the pet is drawn within.
    struct Range {
        double from;
        double to;
    };

    // The store's property and the settings document's key; the preferences key is "settings." + name.
    QString name;
    Type type = Type::flag;
    // In the held form.
    QVariant defaultValue;
    // A choice's raw spellings, in the order the pickers list them.
    QStringList choices;
    // A number's range. Values outside it are kept as stored, imported or set (older files load as they always
    // did) and clamped where they are used.
    std::optional<Range> range;
    // Part of the settings document; false for what belongs to this machine only.
    bool exported = true;

    QString preferencesKey() const { return QStringLiteral("settings.") + name; }

    // The value in the held form when it is one this setting takes (of its type, a finite number, a choice's
    // exact spelling; any whole number that fits an int, whether stored as int or qint64), else nothing.
    // Setters and the preferences file are read by this rule: a stored value it refuses counts as absent.
    std::optional<QVariant> accepted(const QVariant& value) const;
    // The held value as the preferences file keeps it (whole numbers as qint64).
    QVariant toPreferences(const QVariant& value) const;
    // A settings document's member by the same rule; any JSON number with a whole value counts as one.
    std::optional<QVariant> fromDocument(const QJsonValue& value) const;
    QJsonValue toDocument(const QVariant& value) const;
    // The number within the range; unchanged without one.
    double clamped(double value) const;
};

namespace SettingsTable {

// Every setting, in the order a reset and an import apply them.
const QList<Setting>& rows();
// The row of that name; nullptr for none.
const Setting* find(QStringView name);

} // namespace SettingsTable

} // namespace nubbo
