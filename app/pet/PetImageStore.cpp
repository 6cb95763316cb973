#include "PetImageStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <memory>

namespace nubbo {
namespace {

PetImageStore* installedStore = nullptr;

QString sizeSuffix(QSize pixelSize) {
    return QStringLiteral("@%1x%2").arg(pixelSize.width()).arg(pixelSize.height());
}

} // namespace

PetImageStore::PetImageStore(QString resourcesDirectory) : resourcesDirectory_(std::move(resourcesDirectory)) {}

PetImageStore& PetImageStore::shared() {
    if (installedStore)
        return *installedStore;
    static const std::unique_ptr<PetImageStore> fallback =
        std::make_unique<PetImageStore>(bundleResourcesDirectory());
    return *fallback;
}

void PetImageStore::setShared(PetImageStore* store) { installedStore = store; }

QString PetImageStore::bundleResourcesDirectory() {
    if (!QCoreApplication::instance())
        return {};
    const QDir resources(QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources"));
    return resources.exists() ? resources.canonicalPath() : QString();
}

QImage PetImageStore::decode(const QString& path, QSize pixelSize) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (pixelSize.width() > 0 && pixelSize.height() > 0) {
        const QSize natural = reader.size();
        if (natural.isValid() && !natural.isEmpty())
            reader.setScaledSize(natural.scaled(pixelSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    // One format for every picture, so painting never converts on the fly.
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage PetImageStore::officialImage(const QString& name, QSize pixelSize) const {
    if (resourcesDirectory_.isEmpty())
        return {};
    return decode(resourcesDirectory_ + QStringLiteral("/PetImages/") + name + QStringLiteral(".png"), pixelSize);
}

QImage PetImageStore::stillImage(PetState state, const std::optional<QString>& customPath,
                                 const std::optional<QString>& packPath, QSize pixelSize) const {
    if (customPath && !customPath->isEmpty()) {
        if (QImage image = decode(*customPath, pixelSize); !image.isNull())
            return image;
    }
    if (packPath && !packPath->isEmpty()) {
        const QString path = *packPath + QStringLiteral("/images/") + imageName(state) + QStringLiteral(".png");
        if (QImage image = decode(path, pixelSize); !image.isNull())
            return image;
    }
    if (QImage image = officialImage(imageName(state), pixelSize); !image.isNull())
        return image;
    return officialImage(QStringLiteral("nubbo_default"), pixelSize);
}

QList<QImage> PetImageStore::frameImages(const QString& name, const std::optional<QString>& packPath,
                                         QSize pixelSize) {
    const QString suffix = sizeSuffix(pixelSize);
    if (packPath && !packPath->isEmpty()) {
        const QString key = QStringLiteral("pack:") + *packPath + QLatin1Char(':') + name + suffix;
        if (const auto found = frameCache_.constFind(key); found != frameCache_.constEnd())
            return *found;
        QList<QImage> frames = loadFrames(*packPath + QStringLiteral("/frames/") + name, pixelSize);
        if (!frames.isEmpty()) {
            frameCache_.insert(key, frames);
            return frames;
        }
    }
    const QString key = QStringLiteral("bundle:") + name + suffix;
    if (const auto found = frameCache_.constFind(key); found != frameCache_.constEnd())
        return *found;
    QList<QImage> frames;
    if (!resourcesDirectory_.isEmpty())
        frames = loadFrames(resourcesDirectory_ + QStringLiteral("/PetFrames/") + name, pixelSize);
    frameCache_.insert(key, frames);
    return frames;
}

QList<QImage> PetImageStore::loadFrames(const QString& directory, QSize pixelSize) {
    // QDir leaves hidden entries out unless asked; an unreadable or missing folder lists nothing.
    QStringList names = QDir(directory).entryList(QDir::Files | QDir::Readable, QDir::NoSort);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString& file) {
                                   return QFileInfo(file).suffix().toLower() != QLatin1String("png");
                               }),
                names.end());
    // Plain code-unit order, not the locale's or a numeric one: "10.png" plays before "2.png".
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a < b; });
    QList<QImage> frames;
    frames.reserve(names.size());
    for (const QString& file : names) {
        QImage image = decode(directory + QLatin1Char('/') + file, pixelSize);
        if (!image.isNull())
            frames.append(std::move(image));
    }
    return frames;
}

} // namespace nubbo
