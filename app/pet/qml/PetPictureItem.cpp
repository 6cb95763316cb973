#include "pet/qml/PetPictureItem.h"

#include "petart/PetImageStore.h"
#include "pet/qml/SymbolTable.h"

#include <QPainter>
#include <QQuickWindow>

#include <cmath>

namespace nubbo {
namespace {

Clock* injectedClock = nullptr;

// The paw stands in for missing art: a filled symbol with a darker rim, so it reads on light and dark
// wallpapers alike, as large as a pet's body would be.
QImage pawSymbol(QSize canvas, const QColor& color) {
    QImage image(canvas, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const int side = int(std::round(std::min(canvas.width(), canvas.height()) * 0.62));
    if (side <= 0)
        return image;
    const QImage rim = renderSymbol(QStringLiteral("pawprint.fill"), QSize(side, side), color.darker(175));
    const QImage fill = renderSymbol(QStringLiteral("pawprint.fill"), QSize(side, side), color);
    const QPointF origin((canvas.width() - side) / 2.0, (canvas.height() - side) / 2.0);
    const qreal reach = std::max(1.0, side * 0.025);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int step = 0; step < 12; ++step) {
        const double angle = step * M_PI / 6;
        painter.drawImage(origin + QPointF(std::cos(angle), std::sin(angle)) * reach, rim);
    }
    painter.drawImage(origin, fill);
    return image;
}

} // namespace

PetPictureItem::PetPictureItem(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PetPictureItem::advanceFrame);
}

void PetPictureItem::setClock(Clock* clock) { injectedClock = clock; }

double PetPictureItem::now() const {
    static SystemClock system;
    return injectedClock ? injectedClock->now() : system.now();
}

void PetPictureItem::setStateRaw(const QString& raw) {
    const PetState state = petStateFromRaw(raw).value_or(PetState::idle);
    if (state == state_)
        return;
    state_ = state;
    reload();
    Q_EMIT sourceChanged();
}

void PetPictureItem::setCustomPath(const QString& path) {
    if (path == customPath_)
        return;
    customPath_ = path;
    reload();
    Q_EMIT sourceChanged();
}

void PetPictureItem::setPackPath(const QString& path) {
    if (path == packPath_)
        return;
    packPath_ = path;
    reload();
    Q_EMIT sourceChanged();
}

void PetPictureItem::setSymbolColor(const QColor& color) {
    if (color == symbolColor_)
        return;
    symbolColor_ = color;
    if (showsSymbol())
        reload();
    Q_EMIT symbolColorChanged();
}

void PetPictureItem::componentComplete() {
    QQuickPaintedItem::componentComplete();
    reload();
}

void PetPictureItem::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size() && wantedDecodeSize() != decodeSize_)
        reload();
}

void PetPictureItem::itemChange(ItemChange change, const ItemChangeData& value) {
    QQuickPaintedItem::itemChange(change, value);
    if (change == ItemDevicePixelRatioHasChanged || change == ItemSceneChange) {
        if (wantedDecodeSize() != decodeSize_)
            reload();
    }
    if (change == ItemSceneChange) {
        disconnect(windowVisibility_);
        if (value.window)
            windowVisibility_ = connect(value.window, &QWindow::visibleChanged, this, &PetPictureItem::updateTimer);
    }
    if (change == ItemVisibleHasChanged || change == ItemSceneChange)
        updateTimer();
}

QSize PetPictureItem::wantedDecodeSize() const {
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    return QSize(int(std::round(width() * ratio)), int(std::round(height() * ratio)));
}

void PetPictureItem::reload() {
    if (!isComponentComplete())
        return;
    decodeSize_ = wantedDecodeSize();
    const quint64 load = ++loads_;
    if (decodeSize_.isEmpty()) {
        show({});
        return;
    }
    PetImageStore& store = PetImageStore::shared();
    // A custom picture is never animated by frames, even for states the official art animates.
    const PetArtRequest request{state_, customPath_.isEmpty() ? std::nullopt : std::optional<QString>(customPath_),
                                packPath_.isEmpty() ? std::nullopt : std::optional<QString>(packPath_), decodeSize_};
    if (const std::optional<PetArt> cached = store.cachedArt(request)) {
        show(*cached);
        return;
    }
    store.load(request, this, [this, load](const PetArt& art) {
        if (load == loads_)
            show(art);
    });
}

void PetPictureItem::show(const PetArt& art) {
    frames_ = art.frames;
    still_ = frames_.isEmpty() ? art.still : QImage();
    symbol_ = frames_.isEmpty() && still_.isNull() && !decodeSize_.isEmpty() ? pawSymbol(decodeSize_, symbolColor_)
                                                                             : QImage();
    ready_ = true;
    frameRate_ = frameFPS(state_);
    startTime_ = now();
    frameIndex_ = 0;
    updateTimer();
    update();
    Q_EMIT loaded();
    Q_EMIT frameIndexChanged();
}

void PetPictureItem::updateTimer() {
    const bool run = frames_.size() > 1 && isVisible() && window() && window()->isVisible();
    if (run == timer_.isActive())
        return;
    if (run)
        timer_.start(std::max(1, int(std::lround(1000.0 / frameRate_))));
    else
        timer_.stop();
    Q_EMIT tickingChanged();
}

void PetPictureItem::advanceFrame() {
    if (frames_.size() <= 1)
        return;
    const double elapsed = std::max(0.0, now() - startTime_);
    const int index = int(std::fmod(std::floor(elapsed * frameRate_), double(frames_.size())));
    if (index == frameIndex_)
        return;
    frameIndex_ = index;
    update();
    Q_EMIT frameIndexChanged();
}

void PetPictureItem::paint(QPainter* painter) {
    const QImage& image = !frames_.isEmpty() ? frames_.at(frameIndex_) : !still_.isNull() ? still_ : symbol_;
    if (image.isNull() || decodeSize_.isEmpty())
        return;
    // The whole frame fitted into the square and standing on its bottom edge, like the art's baseline; a
    // trimmed frame's cut goes where it was cut from.
    const QSize canvas = PetImageStore::canvasSize(image);
    const qreal scale = std::min(width() / canvas.width(), height() / canvas.height());
    const QPointF origin((width() - canvas.width() * scale) / 2, height() - canvas.height() * scale);
    const QRectF target(origin + QPointF(image.offset()) * scale, QSizeF(image.size()) * scale);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(target, image);
}

} // namespace nubbo
