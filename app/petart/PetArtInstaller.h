// What the settings window calls when the user picked a picture or a pet pack: installs it, makes it the
// pet's art, and says what to show in an alert when it could not.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>

namespace nubbo {

class CustomPetManager;
class PetPackManager;
class SettingsStore;

// Main thread only. The collaborators must outlive it.
class PetArtInstaller : public QObject {
    Q_OBJECT

public:
    PetArtInstaller(SettingsStore& settings, CustomPetManager& pictures, PetPackManager& packs,
                    QObject* parent = nullptr);

    // On success the copy's path becomes customPetPath, the source becomes custom, and the answer is
    // {ok: true, path}. Otherwise nothing changes and the answer is {ok: false, title, text}, in the
    // effective language, for the caller's alert.
    Q_INVOKABLE QVariantMap installImage(const QUrl& file);
    // The same for a pack archive: activePackPath and the source pack.
    Q_INVOKABLE QVariantMap importPack(const QUrl& file);
    // The folder a "Pet Folder" button opens: the pet packs folder when the source is pack, else the custom
    // pets folder. Created when missing.
    Q_INVOKABLE QString petFolder() const;

private:
    SettingsStore& settings_;
    CustomPetManager& pictures_;
    PetPackManager& packs_;
};

} // namespace nubbo
