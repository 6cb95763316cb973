// Installs a pet pack: a zip of images/ and frames/ unpacked into the pet packs folder under the pack's name.
#pragma once

#include "petart/PackExtractor.h"
#include "petart/PetArtErrors.h"
#include "petart/PetArtLimits.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace nubbo {

// The installed pack's folder, or why nothing was installed.
class PackInstallResult {
public:
    static PackInstallResult installed(QString path) { return PackInstallResult(std::move(path), {}); }
    static PackInstallResult failed(PackError error) { return PackInstallResult({}, error); }
    static PackInstallResult refused(ArtRefusal refusal) {
        PackInstallResult result({}, PackError::tooMuchArt);
        result.refusal_ = std::move(refusal);
        return result;
    }

    bool ok() const { return !error_.has_value(); }
    // Empty on failure.
    const QString& path() const { return path_; }
    // Only meaningful on failure.
    PackError error() const { return error_.value_or(PackError::extractFailed); }
    // With tooMuchArt: which picture or loop, and the limit.
    const std::optional<ArtRefusal>& refusal() const { return refusal_; }

private:
    PackInstallResult(QString path, std::optional<PackError> error) : path_(std::move(path)), error_(error) {}
    QString path_;
    std::optional<PackError> error_;
    std::optional<ArtRefusal> refusal_;
};

class PetPackManager {
public:
    using UuidSource = std::function<QUuid()>;
    using LogFunction = std::function<void(const QString& line)>;

    // The app's: AppPaths' pet packs folder, the system temporary folder, random UUIDs, the app log.
    PetPackManager();
    PetPackManager(QString petPacksDirectory, QString temporaryDirectory, UuidSource uuids, LogFunction log,
                   PackExtractor::Limits limits = {}, PetArtLimits artLimits = {});

    // Unpacks into "<temporary>/nubbopack-<uuid>", finds the pack root, checks it has images/ or frames/
    // and that its art keeps within the art limits (picture sizes read from their headers, frame counts),
    // and moves it to "<pet packs>/<name>". A pack of the same name is replaced only once the new one has
    // been unpacked and checked, and stays in place if the move fails. The working folder is removed in
    // every case. Logs "pet pack installed: <folder name>", or the reason of a failure.
    PackInstallResult install(const QString& zipPath) const;

    // Created when missing.
    QString petPacksDirectory() const;

    // The folder holding the art: the top level if it has images/ or frames/; otherwise its only
    // non-hidden folder, when there is exactly one (archivers often wrap the content in one); otherwise
    // the top level.
    static QString packRoot(const QString& directory);
    // The install folder's name: manifest.json's "name" at the root, else the archive's name without its
    // extension; "/" becomes "-" and surrounding white space goes. A name that would then be empty, hidden
    // (".", "..", ".x"), hold control characters or be too long for a folder falls through to the next
    // choice, and finally to "Pack".
    static QString packName(const QString& root, const QString& zipPath);

private:
    PackInstallResult moveIntoPlace(const QString& root, const QString& name, const QString& tag) const;

    QString packsDirectory_;
    QString temporaryDirectory_;
    UuidSource uuids_;
    LogFunction log_;
    PackExtractor::Limits limits_;
    PetArtLimits artLimits_;
};

} // namespace nubbo
