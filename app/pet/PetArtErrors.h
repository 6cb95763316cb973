// Why a picture or a pet pack the user chose could not be installed, and the alert texts for it.
#pragma once

#include "SettingsEnums.h"

#include <QString>

namespace nubbo {

enum class PackError {
    // The archive could not be read, or an entry was refused (unsafe name, link, device, over the limits).
    extractFailed,
    // Neither images/ nor frames/ at the pack root.
    invalidStructure,
    // The pack was fine but could not be moved into the pet packs folder (disk full, permissions).
    installFailed,
};

enum class PictureError {
    // Not a readable regular file, or it does not decode as a picture.
    notAnImage,
    // The copy into the custom pets folder failed.
    copyFailed,
};

QString description(PackError error, Language language);
QString description(PictureError error, Language language);

// Alert titles.
QString packAlertTitle(Language language);
QString pictureAlertTitle(Language language);

} // namespace nubbo
