#include "core/AppPaths.h"

#include "common/AppLocations.h"

#include <QCoreApplication>
#include <QDir>

namespace nubbo {
namespace {

QString ensured(const QString& path) {
    QDir().mkpath(path);
    return path;
}

QString supportFolder() {
    return QDir(QDir::homePath()).filePath(QLatin1StringView(locations::kSupportFolder));
}

QString ensuredInSupport(const QString& name) {
    return ensured(supportFolder() + u'/' + name);
}

} // namespace

QString AppPaths::applicationSupport() {
    return ensured(supportFolder());
}

QString AppPaths::logsDirectory() {
    return ensuredInSupport(QStringLiteral("Logs"));
}

QString AppPaths::customPetsDirectory() {
    return ensuredInSupport(QStringLiteral("CustomPets"));
}

QString AppPaths::petPacksDirectory() {
    return ensuredInSupport(QStringLiteral("PetPacks"));
}

QString AppPaths::backupsDirectory() {
    return ensuredInSupport(QStringLiteral("Backups"));
}

QString AppPaths::socketPath() {
    applicationSupport();  // the folder must exist before the bind
    return QString::fromStdString(locations::socketPath(QDir::homePath().toStdString()));
}

QString AppPaths::bundleResourcesDirectory() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources"));
}

} // namespace nubbo
