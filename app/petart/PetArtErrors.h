// Why a picture or a pet pack the user chose could not be installed, and the alert texts for it.
#pragma once

#include "petart/PetArtLimits.h"
#include "core/SettingsEnums.h"

#include <QString>

namespace nubbo {

enum class PackError {
    // The archive could not be read, or an entry was refused (unsafe name, link, device, over the limits).
    extractFailed,
    // Neither images/ nor frames/ at the pack root.
    invalidStructure,
    // The pack was fine but could not be moved into the pet packs folder (disk full, permissions).
    installFailed,
    // A picture too large or too many frames; the ArtRefusal that comes with it says which.
    tooMuchArt,
};

enum class PictureError {
    // Not a readable regular file, or it does not decode as a picture.
    notAnImage,
    // The copy into the custom pets folder failed.
    copyFailed,
    // Larger than PetArtLimits allow; the ArtRefusal that comes with it says how large.
    tooLarge,
};

QString description(PackError error, Language language);
QString description(PictureError error, Language language);
// Names what was refused: the file, its size or count, and the limit.
QString description(const ArtRefusal& refusal, Language language);

// Alert titles.
QString packAlertTitle(Language language);
QString pictureAlertTitle(Language language);

} // namespace nubbo
