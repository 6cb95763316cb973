// Installs a picture the user chose as the custom pet: a copy in the custom pets folder, so the pet keeps
// working when the original is moved or deleted.
#pragma once

#include "petart/PetArtErrors.h"
#include "petart/PetArtLimits.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace nubbo {

class CustomPetManager {
public:
    using UuidSource = std::function<QUuid()>;
    using LogFunction = std::function<void(const QString& line)>;

    // The app's: AppPaths' custom pets folder, random UUIDs, the app log.
    CustomPetManager();
    CustomPetManager(QString customPetsDirectory, UuidSource uuids, LogFunction log, PetArtLimits limits = {});

    // Copies the file to "<folder>/custom-<uuid>.<extension>" (the source's extension, else "png") and returns
    // the copy's path. A source that is not a readable regular file (asked without opening it), whose
    // header states a size over the limits, or that does not decode as a picture is refused: the user must
    // get an alert, not a pet that draws a paw. Every failure logs "custom pet copy failed <reason>"; error,
    // when given, says which failure it was, and refusal what was too large. Earlier pictures are never
    // deleted.
    std::optional<QString> installImage(const QString& sourcePath, PictureError* error = nullptr,
                                        ArtRefusal* refusal = nullptr) const;

    // Created when missing.
    QString customPetsDirectory() const;

private:
    QString directory_;
    UuidSource uuids_;
    LogFunction log_;
    PetArtLimits limits_;
};

} // namespace nubbo
