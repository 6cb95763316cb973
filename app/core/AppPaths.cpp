#include "core/AppPaths.h"

#include "core/PrivateFiles.h"
#include "common/AppLocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace nubbo {
namespace {

QString fromTable(std::string (*folder)(const locations::Environment&)) {
    return QString::fromStdString(folder(locations::Environment::current()));
}

QString ensured(const QString& path) {
    PrivateFiles::makeFolder(path);
    return path;
}

} // namespace

QString AppPaths::configDirectory() {
    return ensured(fromTable(locations::configFolder));
}

QString AppPaths::dataDirectory() {
    return ensured(fromTable(locations::dataFolder));
}

QString AppPaths::stateDirectory() {
    return ensured(fromTable(locations::stateFolder));
}

QString AppPaths::runtimeDirectory() {
    return ensured(fromTable(locations::runtimeFolder));
}

QString AppPaths::logsDirectory() {
    return stateDirectory();
}

QString AppPaths::customPetsDirectory() {
    return ensured(fromTable(locations::dataFolder) + QStringLiteral("/CustomPets"));
}

QString AppPaths::petPacksDirectory() {
    return ensured(fromTable(locations::dataFolder) + QStringLiteral("/PetPacks"));
}

QString AppPaths::backupsDirectory() {
    return ensured(fromTable(locations::dataFolder) + QStringLiteral("/Backups"));
}

QString AppPaths::socketPath() {
    const QString path = fromTable(locations::socketPath);
    ensured(QFileInfo(path).path());  // the folder must exist before the bind
    return path;
}

QString AppPaths::legacySupportDirectory() {
    return QString::fromStdString(locations::legacySupportFolder(QDir::homePath().toStdString()));
}

QString AppPaths::bundleResourcesDirectory() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources"));
}

} // namespace nubbo
