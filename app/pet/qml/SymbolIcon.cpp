#include "pet/qml/SymbolIcon.h"

#include "pet/qml/SymbolTable.h"

#include <QPainter>
#include <QQuickWindow>

#include <cmath>

namespace nubbo {

SymbolIcon::SymbolIcon(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setImplicitSize(16, 16);
    setAntialiasing(true);
}

void SymbolIcon::setName(const QString& name) {
    if (name_ == name)
        return;
    name_ = name;
    update();
    Q_EMIT nameChanged();
}

void SymbolIcon::setColor(const QColor& color) {
    if (color_ == color)
        return;
    color_ = color;
    update();
    Q_EMIT colorChanged();
}

void SymbolIcon::paint(QPainter* painter) {
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const QSize pixels(int(std::ceil(width() * ratio)), int(std::ceil(height() * ratio)));
    if (pixels.isEmpty())
        return;
    if (cached_.size() != pixels || cachedName_ != name_ || cachedColor_ != color_) {
        cached_ = renderSymbol(name_, pixels, color_);
        cachedName_ = name_;
        cachedColor_ = color_;
    }
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(QRectF(0, 0, width(), height()), cached_);
}

} // namespace nubbo
