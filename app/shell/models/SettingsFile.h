// What the settings window's Export and Import buttons do, without the panels and alerts themselves.
#pragma once

#include "core/SettingsEnums.h"

#include <QJsonObject>
#include <QList>
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

// One setting an import would change among those that decide what runs without asking or what leaves this
// computer: approvals, the command lists, agents switched on, launch at login and the summary service.
struct SettingsImportChange {
    QString key;    // the document's key ("approvalMode", "enabled", "summaryBaseURLs", ...)
    QString label;  // the setting's name in the settings window
    QString change; // "Manual → Allow All (on)"; for a command list what it adds and removes
    bool weakens = false; // approvals ask less often afterwards

    bool operator==(const SettingsImportChange&) const = default;
};

// A readable settings document and the confirmation to show before applying it. Only the import button
// (the first and default) goes on to importConfirmed.
struct SettingsImportConfirmation {
    QJsonObject settings;
    QString title;
    QString text;
    QString importButton;
    QString cancelButton;
    // What the document would change, the weakening changes first; empty when it changes none of them (and
    // when read without the current settings to compare with).
    QList<SettingsImportChange> changes;
    // The line above the changes.
    QString changesHeading;
};

using SettingsFileReading = std::variant<SettingsFileAlert, SettingsImportConfirmation>;

// Texts in the given (effective) language. Unreadable files, invalid JSON, a top level other than an object
// and files too large to be a settings document all give the alert.
SettingsFileReading readSettingsFile(const QString& path, Language language);
// The same in the store's effective language, with the changes the document would make to it.
SettingsFileReading readSettingsFile(const QString& path, const SettingsStore& current);

// The watched settings whose value importConfirmed would change, each as it is now → as the store would
// apply it (values the store ignores change nothing). Nothing is written anywhere.
QList<SettingsImportChange> importChanges(const SettingsStore& current, const QJsonObject& settings,
                                          Language language);

// The user confirmed: apply the document.
void importConfirmed(SettingsStore& store, const QJsonObject& settings);

} // namespace nubbo
