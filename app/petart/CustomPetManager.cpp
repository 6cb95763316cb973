#include "petart/CustomPetManager.h"

#include "core/AppPaths.h"
#include "core/PrivateFiles.h"
#include "core/NubboLog.h"
#include "petart/PetImageStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace nubbo {
namespace {

// Decoding at a small size proves the file is a picture without holding a full-size photo in memory; the
// pet decodes it at its drawn size the same way.
constexpr QSize kProbeSize(256, 256);

} // namespace

CustomPetManager::CustomPetManager()
    : CustomPetManager(QString(), [] { return QUuid::createUuid(); },
                       [](const QString& line) { NubboLog::log(line); }) {}

CustomPetManager::CustomPetManager(QString customPetsDirectory, UuidSource uuids, LogFunction log,
                                   PetArtLimits limits)
    : directory_(std::move(customPetsDirectory)), uuids_(std::move(uuids)), log_(std::move(log)), limits_(limits) {}

QString CustomPetManager::customPetsDirectory() const {
    if (directory_.isEmpty())
        return AppPaths::customPetsDirectory();
    PrivateFiles::makeFolder(directory_);
    return directory_;
}

std::optional<QString> CustomPetManager::installImage(const QString& sourcePath, PictureError* error,
                                                     ArtRefusal* refusal) const {
    const auto fail = [&](PictureError kind, const QString& reason) -> std::optional<QString> {
        log_(QStringLiteral("custom pet copy failed ") + reason);
        if (error)
            *error = kind;
        return std::nullopt;
    };

    const QFileInfo source(sourcePath);
    if (!petart::isRegularFile(sourcePath) || !source.isReadable())
        return fail(PictureError::notAnImage, QStringLiteral("not a readable file: ") + sourcePath);
    if (const auto tooLarge = petart::checkPicture(sourcePath, source.fileName(), limits_.forPicture())) {
        if (refusal)
            *refusal = *tooLarge;
        return fail(PictureError::tooLarge, description(*tooLarge, Language::en));
    }
    if (PetImageStore::decode(sourcePath, kProbeSize, limits_.forPicture()).isNull())
        return fail(PictureError::notAnImage, QStringLiteral("not a picture: ") + sourcePath);

    const QString extension = source.suffix().isEmpty() ? QStringLiteral("png") : source.suffix();
    const QString destination = customPetsDirectory() + QStringLiteral("/custom-") +
                                uuids_().toString(QUuid::WithoutBraces) + u'.' + extension;
    QFile file(sourcePath);
    if (!file.copy(destination))
        return fail(PictureError::copyFailed, file.errorString());
    QFile::setPermissions(destination, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return destination;
}

} // namespace nubbo
