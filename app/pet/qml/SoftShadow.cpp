#include "pet/qml/SoftShadow.h"

#include <QPainter>

#include <cmath>
#include <vector>

namespace nubbo {
namespace {

// One box pass over a line of n samples spaced step apart; outside the line counts as transparent.
void boxLine(uchar* data, int n, int step, int radius, std::vector<int>& scratch) {
    scratch.resize(std::size_t(n));
    for (int i = 0; i < n; ++i)
        scratch[std::size_t(i)] = data[i * step];
    const int width = 2 * radius + 1;
    int sum = 0;
    for (int i = 0; i <= radius && i < n; ++i)
        sum += scratch[std::size_t(i)];
    for (int i = 0; i < n; ++i) {
        data[i * step] = uchar((sum + width / 2) / width);
        const int enter = i + radius + 1;
        const int leave = i - radius;
        if (enter < n)
            sum += scratch[std::size_t(enter)];
        if (leave >= 0)
            sum -= scratch[std::size_t(leave)];
    }
}

} // namespace

void blurAlpha(QImage& alpha, qreal sigma) {
    if (sigma <= 0 || alpha.isNull())
        return;
    // Three boxes of width w have the variance of a Gaussian with sigma^2 = (w^2 - 1) / 4.
    const int radius = std::max(1, int(std::lround((std::sqrt(4 * sigma * sigma + 1) - 1) / 2)));
    std::vector<int> scratch;
    const int w = alpha.width();
    const int h = alpha.height();
    const int stride = int(alpha.bytesPerLine());
    uchar* bits = alpha.bits();
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y)
            boxLine(bits + y * stride, w, 1, radius, scratch);
        for (int x = 0; x < w; ++x)
            boxLine(bits + x, h, stride, radius, scratch);
    }
}

QImage renderSoftShadow(const QPainterPath& shape, QSize canvasSize, const QPointF& offset, qreal blurRadius,
                        const QColor& color) {
    if (canvasSize.isEmpty())
        return {};
    QImage alpha(canvasSize, QImage::Format_Alpha8);
    alpha.fill(0);
    {
        QPainter painter(&alpha);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(shape.translated(offset), Qt::black);
    }
    blurAlpha(alpha, blurRadius / 2);

    QImage shadow(canvasSize, QImage::Format_ARGB32_Premultiplied);
    shadow.fill(color);
    QPainter painter(&shadow);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(0, 0, alpha);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.fillPath(shape, Qt::black);
    return shadow;
}

} // namespace nubbo
