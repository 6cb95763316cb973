#include "petart/PetPackManager.h"

#include "core/AppPaths.h"
#include "core/PrivateFiles.h"
#include "core/NubboLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace nubbo {
namespace {

bool hasArt(const QString& directory) {
    return QFileInfo(directory + QStringLiteral("/images")).isDir() ||
           QFileInfo(directory + QStringLiteral("/frames")).isDir();
}

bool pathExists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

void removePath(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

// For a move across file systems (the temporary folder is often a tmpfs), where a rename cannot work.
bool copyTree(const QString& from, const QString& to) {
    if (!QDir().mkdir(to))
        return false;
    const QFileInfoList entries =
        QDir(from).entryInfoList(QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        const QString target = to + u'/' + entry.fileName();
        if (!(entry.isDir() ? copyTree(entry.filePath(), target) : QFile::copy(entry.filePath(), target)))
            return false;
    }
    return true;
}

std::optional<QString> usableName(QString raw) {
    const QString name = raw.replace(u'/', u'-').trimmed();
    // Hidden names would also be skipped as pack roots and could meet the installer's own hidden folders.
    if (name.isEmpty() || name.startsWith(u'.'))
        return std::nullopt;
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control)
            return std::nullopt;
    if (QFile::encodeName(name).size() > 255)
        return std::nullopt;
    return name;
}

// Decoded like a record with a required string "name" and optional string "version" and "author": a
// manifest that breaks that shape is ignored as a whole.
std::optional<QString> manifestName(const QString& root) {
    QFile file(root + QStringLiteral("/manifest.json"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject manifest = document.object();
    const QJsonValue name = manifest.value(QStringLiteral("name"));
    if (!name.isString())
        return std::nullopt;
    for (const char* optional : {"version", "author"}) {
        const QJsonValue value = manifest.value(QLatin1String(optional));
        if (!value.isUndefined() && !value.isNull() && !value.isString())
            return std::nullopt;
    }
    return name.toString();
}

} // namespace

PetPackManager::PetPackManager()
    : PetPackManager(QString(), QString(), [] { return QUuid::createUuid(); },
                     [](const QString& line) { NubboLog::log(line); }) {}

PetPackManager::PetPackManager(QString petPacksDirectory, QString temporaryDirectory, UuidSource uuids,
                               LogFunction log, PackExtractor::Limits limits, PetArtLimits artLimits)
    : packsDirectory_(std::move(petPacksDirectory)), temporaryDirectory_(std::move(temporaryDirectory)),
      uuids_(std::move(uuids)), log_(std::move(log)), limits_(limits), artLimits_(artLimits) {}

QString PetPackManager::petPacksDirectory() const {
    if (packsDirectory_.isEmpty())
        return AppPaths::petPacksDirectory();
    PrivateFiles::makeFolder(packsDirectory_);
    return packsDirectory_;
}

QString PetPackManager::packRoot(const QString& directory) {
    if (hasArt(directory))
        return directory;
    // Without QDir::Hidden: a hidden folder never counts.
    const QStringList folders = QDir(directory).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return folders.size() == 1 ? directory + u'/' + folders.front() : directory;
}

QString PetPackManager::packName(const QString& root, const QString& zipPath) {
    if (const auto manifest = manifestName(root))
        if (const auto name = usableName(*manifest))
            return *name;
    if (const auto name = usableName(QFileInfo(zipPath).completeBaseName()))
        return *name;
    return QStringLiteral("Pack");
}

PackInstallResult PetPackManager::install(const QString& zipPath) const {
    const QString tag = uuids_().toString(QUuid::WithoutBraces);
    const QString temporary = temporaryDirectory_.isEmpty() ? QDir::tempPath() : temporaryDirectory_;
    const QString working = temporary + QStringLiteral("/nubbopack-") + tag;
    const auto fail = [&](PackError error, const QString& reason) {
        log_(QStringLiteral("pet pack import failed: ") + reason);
        return PackInstallResult::failed(error);
    };

    // mkdir, not mkpath: the working folder must be a fresh one of ours.
    if (!QDir().mkpath(temporary) || !QDir().mkdir(working))
        return fail(PackError::extractFailed, QStringLiteral("cannot create ") + working);
    struct Cleanup {
        QString path;
        ~Cleanup() { QDir(path).removeRecursively(); }
    } cleanup{working};

    QString reason;
    if (!PackExtractor::extract(zipPath, working, limits_, &reason))
        return fail(PackError::extractFailed, reason);
    const QString root = packRoot(working);
    if (!hasArt(root))
        return fail(PackError::invalidStructure, QStringLiteral("no images/ or frames/ in ") + zipPath);
    if (const auto refusal = petart::checkPack(root, artLimits_)) {
        log_(QStringLiteral("pet pack import failed: ") + description(*refusal, Language::en));
        return PackInstallResult::refused(*refusal);
    }
    return moveIntoPlace(root, packName(root, zipPath), tag);
}

PackInstallResult PetPackManager::moveIntoPlace(const QString& root, const QString& name, const QString& tag) const {
    const QString packs = petPacksDirectory();
    const QString destination = packs + u'/' + name;
    // The new pack first goes beside its destination, on the same file system, so that putting it in
    // place is a rename that cannot half-happen; only then does an old pack of the same name move aside.
    const QString staging = packs + QStringLiteral("/.nubbopack-new-") + tag;
    const QString aside = packs + QStringLiteral("/.nubbopack-old-") + tag;
    const auto fail = [&](const QString& reason) {
        removePath(staging);
        log_(QStringLiteral("pet pack import failed: ") + reason);
        return PackInstallResult::failed(PackError::installFailed);
    };

    if (!QDir().rename(root, staging) && !copyTree(root, staging))
        return fail(QStringLiteral("cannot copy the pack into ") + packs);
    const bool replacing = pathExists(destination);
    if (replacing && !QDir().rename(destination, aside))
        return fail(QStringLiteral("cannot move the old pack aside: ") + destination);
    if (!QDir().rename(staging, destination)) {
        if (replacing)
            QDir().rename(aside, destination);
        return fail(QStringLiteral("cannot move the pack to ") + destination);
    }
    if (replacing)
        removePath(aside);
    log_(QStringLiteral("pet pack installed: ") + name);
    return PackInstallResult::installed(destination);
}

} // namespace nubbo
