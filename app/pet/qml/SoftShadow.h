// A drop shadow without a blur effect: the software renderer has none, so the blur is computed once into an
// image whenever the shape's size changes.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>

namespace nubbo {

// The shape filled in the colour, moved by offset and blurred like a Gaussian of sigma = blurRadius / 2 (the
// usual meaning of a shadow radius), as an image of canvasSize device pixels; the shape itself is cut out
// again, so a translucent fill drawn over it does not darken. Path, offset and radius are in device pixels.
QImage renderSoftShadow(const QPainterPath& shape, QSize canvasSize, const QPointF& offset, qreal blurRadius,
                        const QColor& color);

// Three box blurs in each direction on an 8-bit alpha image, close to a Gaussian of that sigma.
void blurAlpha(QImage& alpha, qreal sigma);

} // namespace nubbo
