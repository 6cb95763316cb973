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

namespace {
const QString kCanvasKey = QStringLiteral("nubbo.canvas");
}

QImage PetImageStore::trimmed(const QImage& frame) {
    int left = frame.width(), top = frame.height(), right = -1, bottom = -1;
    for (int y = 0; y < frame.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); ++x)
            if (qAlpha(row[x]) != 0) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = y;
            }
    }
    if (right < 0)
        left = top = right = bottom = 0;
    const QRect box = QRect(QPoint(left, top), QPoint(right, bottom)).adjusted(-1, -1, 1, 1) & frame.rect();
    if (box == frame.rect())
        return frame;
    QImage cut = frame.copy(box);
    cut.setOffset(box.topLeft());
    cut.setText(kCanvasKey, QStringLiteral("%1x%2").arg(frame.width()).arg(frame.height()));
    return cut;
}

QSize PetImageStore::canvasSize(const QImage& picture) {
    const QStringList size = picture.text(kCanvasKey).split(QLatin1Char('x'));
    return size.size() == 2 ? QSize(size[0].toInt(), size[1].toInt()) : picture.size();
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
        const QImage image = decode(directory + QLatin1Char('/') + file, pixelSize);
        if (!image.isNull())
            frames.append(trimmed(image));
    }
    return frames;
}

} // namespace nubbo
