#include "petart/PetArtInstaller.h"

#include "petart/CustomPetManager.h"
#include "petart/PetPackManager.h"
#include "settings/SettingsStore.h"

namespace nubbo {
namespace {

// File dialogs hand over file: URLs; a bare path is accepted too. Anything else is no local file.
QString localPath(const QUrl& file) {
    if (file.isLocalFile())
        return file.toLocalFile();
    return file.scheme().isEmpty() ? file.path() : QString();
}

QVariantMap succeeded(const QString& path) {
    return {{QStringLiteral("ok"), true}, {QStringLiteral("path"), path}};
}

QVariantMap failed(const QString& title, const QString& text) {
    return {{QStringLiteral("ok"), false}, {QStringLiteral("title"), title}, {QStringLiteral("text"), text}};
}

} // namespace

PetArtInstaller::PetArtInstaller(SettingsStore& settings, CustomPetManager& pictures, PetPackManager& packs,
                                 QObject* parent)
    : QObject(parent), settings_(settings), pictures_(pictures), packs_(packs) {}

QVariantMap PetArtInstaller::installImage(const QUrl& file) {
    PictureError error = PictureError::notAnImage;
    ArtRefusal refusal;
    // A URL that is no local file gives an empty path, which fails like any unreadable file.
    const std::optional<QString> installed = pictures_.installImage(localPath(file), &error, &refusal);
    const Language language = settings_.effectiveLanguage();
    if (!installed)
        return failed(pictureAlertTitle(language), error == PictureError::tooLarge ? description(refusal, language)
                                                                                    : description(error, language));
    settings_.setCustomPetPath(*installed);
    settings_.setPetSource(PetSource::custom);
    return succeeded(*installed);
}

QVariantMap PetArtInstaller::importPack(const QUrl& file) {
    const PackInstallResult result = packs_.install(localPath(file));
    const Language language = settings_.effectiveLanguage();
    if (!result.ok())
        return failed(packAlertTitle(language), result.refusal() ? description(*result.refusal(), language)
                                                                 : description(result.error(), language));
    settings_.setActivePackPath(result.path());
    settings_.setPetSource(PetSource::pack);
    return succeeded(result.path());
}

QString PetArtInstaller::petFolder() const {
    return settings_.petSource() == PetSource::pack ? packs_.petPacksDirectory() : pictures_.customPetsDirectory();
}

} // namespace nubbo
