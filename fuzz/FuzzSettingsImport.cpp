// Any file chosen for Import: it gives the alert or a confirmation, and an applied document leaves a store
// whose settings survive the preferences file (a restart) and an export followed by an import unchanged.
#include "SettingsFakes.h"
#include "shell/models/SettingsFile.h"
#include "settings/SettingsStore.h"

#include "FuzzSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <cmath>

namespace {

struct Store {
    nubbo::fakes::MemoryPreferences preferences;
    nubbo::fakes::MemorySecretStore secrets;
    nubbo::fakes::RecordingLoginItem loginItem;
    nubbo::SettingsStore store{preferences, secrets, loginItem, [] { return QStringList(); }};
};

// The export holds only what JSON can hold.
void finite(const QJsonValue& value) {
    if (value.isDouble() && !std::isfinite(value.toDouble())) std::abort();
    if (value.isObject())
        for (const auto& member : value.toObject()) finite(member);
    if (value.isArray())
        for (const auto& item : value.toArray()) finite(item);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const auto language = data[0] & 1 ? nubbo::Language::zh : nubbo::Language::en;
    const auto path = nubbo::fuzz::scratch() / "import.json";
    nubbo::fuzz::writeBytes(path, std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

    Store first;
    first.store.setLanguage(language == nubbo::Language::zh ? nubbo::AppLanguage::zh : nubbo::AppLanguage::en);
    const auto reading = nubbo::readSettingsFile(QString::fromStdString(path.string()), first.store);
    if (const auto* alert = std::get_if<nubbo::SettingsFileAlert>(&reading)) {
        if (alert->title.isEmpty() || alert->text.isEmpty()) std::abort();
        return 0;
    }
    const auto& confirmation = std::get<nubbo::SettingsImportConfirmation>(reading);
    if (confirmation.title.isEmpty() || confirmation.importButton.isEmpty()) std::abort();
    for (const auto& change : confirmation.changes)
        if (change.label.isEmpty() || change.change.isEmpty()) std::abort();

    nubbo::importConfirmed(first.store, confirmation.settings);
    // What the confirmation listed is what was applied: nothing is left to list afterwards.
    if (!nubbo::importChanges(first.store, confirmation.settings, language).isEmpty()) std::abort();
    const QJsonObject exported = first.store.exportDictionary();
    finite(exported);
    if (QJsonDocument::fromJson(QJsonDocument(exported).toJson()).object() != exported) std::abort();

    // A restart reads back what was applied.
    nubbo::SettingsStore restarted{first.preferences, first.secrets, first.loginItem, [] { return QStringList(); }};
    if (restarted.exportDictionary() != exported) std::abort();

    // Importing the export elsewhere gives the same settings.
    Store second;
    nubbo::importConfirmed(second.store, exported);
    if (second.store.exportDictionary() != exported) std::abort();
    return 0;
}
