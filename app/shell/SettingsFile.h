// What the settings window's Export and Import buttons do, without the panels and alerts themselves.
#pragma once

#include "SettingsEnums.h"

#include <QJsonObject>
#include <QString>

#include <variant>

namespace nubbo {

class SettingsStore;

// The name the save panel proposes.
inline constexpr char settingsExportFileName[] = "nubbo-settings.json";

// Writes store.exportDictionary() pretty-printed with sorted keys, atomically. On failure returns false and,
// when asked, the reason; an existing file is then left as it was.
bool exportToFile(const SettingsStore& store, const QString& path, QString* error = nullptr);

// The warning shown when a chosen file is not a settings document; nothing changes after it.
struct SettingsFileAlert {
    QString title;
    QString text;
};

// A readable settings document and the confirmation to show before applying it. Only the import button
// (the first and default) goes on to importConfirmed.
struct SettingsImportConfirmation {
    QJsonObject settings;
    QString title;
    QString text;
    QString importButton;
    QString cancelButton;
};

using SettingsFileReading = std::variant<SettingsFileAlert, SettingsImportConfirmation>;

// Texts in the given (effective) language. Unreadable files, invalid JSON, a top level other than an object
// and files too large to be a settings document all give the alert.
SettingsFileReading readSettingsFile(const QString& path, Language language);

// The user confirmed: apply the document.
void importConfirmed(SettingsStore& store, const QJsonObject& settings);

} // namespace nubbo
