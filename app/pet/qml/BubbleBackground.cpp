#include "pet/qml/BubbleBackground.h"

#include "pet/qml/SoftShadow.h"

#include <QPainter>
#include <QQuickWindow>

#include <cmath>

namespace nubbo {

QPainterPath bubbleTailPath(const QRectF& rect) {
    QPainterPath path;
    path.moveTo(rect.topLeft());
    path.quadTo(QPointF(rect.center().x(), rect.bottom()), rect.topRight());
    path.closeSubpath();
    return path;
}

BubbleBackground::BubbleBackground(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
    connect(this, &QQuickItem::widthChanged, this, [this] { shadowCache_ = QImage(); });
    connect(this, &QQuickItem::heightChanged, this, [this] { shadowCache_ = QImage(); });
}

qreal BubbleBackground::margin() const {
    // A Gaussian of sigma = radius / 2 has faded out after three sigmas.
    return std::ceil(1.5 * shadowRadius_ + std::abs(shadowOffsetY_));
}

QRectF BubbleBackground::cardRect() const {
    const qreal m = margin();
    return QRectF(m, m, std::max<qreal>(0, width() - 2 * m), std::max<qreal>(0, height() - 2 * m - tailHeight_));
}

QPainterPath BubbleBackground::shape(qreal scale) const {
    const QRectF card = cardRect();
    QPainterPath cardPath;
    const qreal r = std::min({radius_, card.width() / 2, card.height() / 2});
    cardPath.addRoundedRect(card, r, r);
    // Overlap the card by a hair so the union leaves no seam between the two.
    const QRectF tail(card.center().x() - tailWidth_ / 2, card.bottom() - 0.5, tailWidth_, tailHeight_ + 0.5);
    const QPainterPath path = cardPath.united(bubbleTailPath(tail));
    return scale == 1.0 ? path : QTransform::fromScale(scale, scale).map(path);
}

void BubbleBackground::paint(QPainter* painter) {
    if (cardRect().isEmpty())
        return;
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const QSize pixels(int(std::ceil(width() * ratio)), int(std::ceil(height() * ratio)));
    if (shadowCache_.size() != pixels) {
        shadowCache_ = renderSoftShadow(shape(ratio), pixels, QPointF(0, shadowOffsetY_ * ratio),
                                        shadowRadius_ * ratio, shadowColor_);
        shadowCache_.setDevicePixelRatio(ratio);
    }
    painter->drawImage(QPointF(0, 0), shadowCache_);

    painter->setRenderHint(QPainter::Antialiasing);
    const QPainterPath outline = shape(1.0);
    painter->fillPath(outline, fillColor_);
    // The outline follows card and tail as one contour, so no line crosses where the tail joins.
    painter->strokePath(outline, QPen(outlineColor_, 1));
}

} // namespace nubbo
