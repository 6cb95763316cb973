#include "petart/PetImageStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QMetaObject>

#include <algorithm>
#include <memory>

namespace nubbo {
namespace {

PetImageStore* installedStore = nullptr;

QString sizeSuffix(QSize pixelSize) {
    return QStringLiteral("@%1x%2").arg(pixelSize.width()).arg(pixelSize.height());
}

// A cached list costs its pixels plus a little, so that many empty lists are bounded too.
qint64 costOf(const QList<QImage>& frames) {
    qint64 bytes = 1024;
    for (const QImage& frame : frames)
        bytes += frame.sizeInBytes();
    return bytes;
}

QImage stillImageIn(const QString& resources, PetState state, const std::optional<QString>& customPath,
                    const std::optional<QString>& packPath, QSize pixelSize, const PetArtLimits& limits) {
    if (customPath && !customPath->isEmpty()) {
        if (QImage image = PetImageStore::decode(*customPath, pixelSize, limits.forPicture()); !image.isNull())
            return image;
    }
    if (packPath && !packPath->isEmpty()) {
        const QString path = *packPath + QStringLiteral("/images/") + imageName(state) + QStringLiteral(".png");
        if (QImage image = PetImageStore::decode(path, pixelSize, limits); !image.isNull())
            return image;
    }
    if (resources.isEmpty())
        return {};
    const QString images = resources + QStringLiteral("/PetImages/");
    if (QImage image = PetImageStore::decode(images + imageName(state) + QStringLiteral(".png"), pixelSize, limits);
        !image.isNull())
        return image;
    return PetImageStore::decode(images + QStringLiteral("nubbo_default.png"), pixelSize, limits);
}

QList<QImage> officialFramesIn(const QString& resources, const QString& name, QSize pixelSize,
                               const PetArtLimits& limits) {
    if (resources.isEmpty())
        return {};
    return PetImageStore::loadFrames(resources + QStringLiteral("/PetFrames/") + name, pixelSize, limits);
}

} // namespace

PetImageStore::PetImageStore(QString resourcesDirectory, qint64 cacheBytes, PetArtLimits limits)
    : resourcesDirectory_(std::move(resourcesDirectory)), cacheBudget_(cacheBytes), limits_(limits) {
    worker_.setMaxThreadCount(1);
}

PetImageStore::~PetImageStore() {
    worker_.clear();
    worker_.waitForDone();
}

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

QImage PetImageStore::decode(const QString& path, QSize pixelSize, const PetArtLimits& limits) {
    // Opening a FIFO would wait for a writer for ever.
    QFile file;
    if (!petart::openRegularFile(path, file))
        return {};
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    // The header's size, read before any pixel: the decoders decode at file size first, whatever is asked.
    const QSize natural = reader.size();
    if (!natural.isValid() || natural.width() > limits.maxSide || natural.height() > limits.maxSide)
        return {};
    if (pixelSize.width() > 0 && pixelSize.height() > 0 && !natural.isEmpty())
        reader.setScaledSize(natural.scaled(pixelSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
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
    return decode(resourcesDirectory_ + QStringLiteral("/PetImages/") + name + QStringLiteral(".png"), pixelSize,
                  limits_);
}

QImage PetImageStore::stillImage(PetState state, const std::optional<QString>& customPath,
                                 const std::optional<QString>& packPath, QSize pixelSize) const {
    return stillImageIn(resourcesDirectory_, state, customPath, packPath, pixelSize, limits_);
}

QString PetImageStore::packKey(const QString& packPath, const QString& name, QSize pixelSize) const {
    return QStringLiteral("pack:") + packPath + QLatin1Char(':') + name + sizeSuffix(pixelSize);
}

QString PetImageStore::bundleKey(const QString& name, QSize pixelSize) const {
    return QStringLiteral("bundle:") + name + sizeSuffix(pixelSize);
}

const QList<QImage>* PetImageStore::recall(const QString& key) {
    const auto found = frameCache_.find(key);
    if (found == frameCache_.end())
        return nullptr;
    found->lastUse = ++uses_;
    return &found->frames;
}

void PetImageStore::remember(const QString& key, const QList<QImage>& frames) {
    if (const auto old = frameCache_.constFind(key); old != frameCache_.constEnd())
        cachedBytes_ -= old->bytes;
    const qint64 bytes = costOf(frames);
    frameCache_.insert(key, Cached{frames, bytes, ++uses_});
    cachedBytes_ += bytes;
    while (cachedBytes_ > cacheBudget_ && frameCache_.size() > 1) {
        auto oldest = frameCache_.end();
        for (auto it = frameCache_.begin(); it != frameCache_.end(); ++it)
            if (it.key() != key && (oldest == frameCache_.end() || it->lastUse < oldest->lastUse))
                oldest = it;
        cachedBytes_ -= oldest->bytes;
        frameCache_.erase(oldest);
    }
}

QList<QImage> PetImageStore::frameImages(const QString& name, const std::optional<QString>& packPath,
                                         QSize pixelSize) {
    if (packPath && !packPath->isEmpty()) {
        const QString key = packKey(*packPath, name, pixelSize);
        if (const QList<QImage>* found = recall(key))
            return *found;
        QList<QImage> frames = loadFrames(*packPath + QStringLiteral("/frames/") + name, pixelSize, limits_);
        if (!frames.isEmpty()) {
            remember(key, frames);
            return frames;
        }
    }
    const QString key = bundleKey(name, pixelSize);
    if (const QList<QImage>* found = recall(key))
        return *found;
    const QList<QImage> frames = officialFramesIn(resourcesDirectory_, name, pixelSize, limits_);
    remember(key, frames);
    return frames;
}

std::optional<PetArt> PetImageStore::cachedArt(const PetArtRequest& request) {
    // A custom picture has no frames, and still pictures are not cached: they are loaded.
    if (request.customPath && !request.customPath->isEmpty())
        return std::nullopt;
    const QString name = frameAnimationName(request.state);
    const QList<QImage>* frames = nullptr;
    if (request.packPath && !request.packPath->isEmpty())
        frames = recall(packKey(*request.packPath, name, request.pixelSize));
    else
        frames = recall(bundleKey(name, request.pixelSize));
    if (!frames || frames->isEmpty())
        return std::nullopt;
    return PetArt{*frames, {}};
}

void PetImageStore::load(const PetArtRequest& request, QObject* receiver, std::function<void(const PetArt&)> done) {
    const bool custom = request.customPath && !request.customPath->isEmpty();
    const bool pack = request.packPath && !request.packPath->isEmpty();
    const QString name = frameAnimationName(request.state);
    const QString officialKey = bundleKey(name, request.pixelSize);
    const QString ownKey = pack ? packKey(*request.packPath, name, request.pixelSize) : QString();
    // What the cache already holds goes along, so the worker decodes only what is missing.
    std::optional<QList<QImage>> official;
    if (const QList<QImage>* found = custom ? nullptr : recall(officialKey))
        official = *found;

    // The worker touches nothing of the store but these copies.
    struct Loaded {
        QList<QImage> packFrames;
        std::optional<QList<QImage>> officialLoaded;  // decoded by the worker, to be cached
        PetArt art;
    };
    const QString resources = resourcesDirectory_;
    const PetArtLimits limits = limits_;
    worker_.start([=, this, receiver = QPointer<QObject>(receiver), done = std::move(done)] {
        Loaded loaded;
        if (!custom) {
            if (pack)
                loaded.packFrames =
                    loadFrames(*request.packPath + QStringLiteral("/frames/") + name, request.pixelSize, limits);
            if (!loaded.packFrames.isEmpty()) {
                loaded.art.frames = loaded.packFrames;
            } else if (official) {
                loaded.art.frames = *official;
            } else {
                loaded.officialLoaded = officialFramesIn(resources, name, request.pixelSize, limits);
                loaded.art.frames = *loaded.officialLoaded;
            }
        }
        if (loaded.art.frames.isEmpty())
            loaded.art.still =
                stillImageIn(resources, request.state, request.customPath, request.packPath, request.pixelSize, limits);
        QMetaObject::invokeMethod(
            &mainThread_,
            [this, loaded = std::move(loaded), ownKey, officialKey, receiver, done] {
                if (!loaded.packFrames.isEmpty())
                    remember(ownKey, loaded.packFrames);
                if (loaded.officialLoaded)
                    remember(officialKey, *loaded.officialLoaded);
                if (receiver)
                    done(loaded.art);
            },
            Qt::QueuedConnection);
    });
}

void PetImageStore::drain() {
    worker_.waitForDone();
    QCoreApplication::sendPostedEvents(&mainThread_, QEvent::MetaCall);
}

QList<QImage> PetImageStore::loadFrames(const QString& directory, QSize pixelSize, const PetArtLimits& limits) {
    QStringList names = petart::frameFiles(directory);
    // A folder grown on disk since the pack was checked plays its first frames only.
    if (names.size() > limits.maxFramesPerLoop)
        names.resize(limits.maxFramesPerLoop);
    QList<QImage> frames;
    frames.reserve(names.size());
    for (const QString& file : names) {
        const QImage image = decode(directory + QLatin1Char('/') + file, pixelSize, limits);
        if (!image.isNull())
            frames.append(trimmed(image));
    }
    return frames;
}

} // namespace nubbo
