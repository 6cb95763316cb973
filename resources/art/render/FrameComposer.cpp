#include "FrameComposer.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>
#include <QTransform>

#include <functional>
#include <stdexcept>

namespace nubbo::art {
namespace {

// Fixed precision keeps the documents, and so the pictures, identical from run to run.
QString num(double v) { return QString::number(std::abs(v) < 5e-5 ? 0.0 : v, 'f', 4); }

QString matrix(const QTransform& m) {
    return QStringLiteral("matrix(%1 %2 %3 %4 %5 %6)")
        .arg(num(m.m11()), num(m.m12()), num(m.m21()), num(m.m22()), num(m.dx()), num(m.dy()));
}

QString resolvePart(const QString& pattern, const PoseSample& sample) {
    QString part = pattern;
    for (qsizetype open = part.indexOf(u'{'); open >= 0; open = part.indexOf(u'{')) {
        const qsizetype close = part.indexOf(u'}', open);
        const QString value = sample.text(part.mid(open + 1, close - open - 1));
        if (value.isEmpty() || value == u"none")
            return {};
        part.replace(open, close - open + 1, value);
    }
    return part;
}

} // namespace

QString FrameComposer::figure(const PoseSample& sample) const {
    const double axis = book_.mirrorAxis();
    QHash<QString, QTransform> world;
    QHash<QString, double> opacity;
    QHash<QString, const RigNode*> byId;
    for (const RigNode& node : book_.nodes())
        byId.insert(node.id, &node);

    // Parents may be drawn after their children (an arm behind the body hangs from the body), so transforms
    // are resolved by walking up, not in drawing order.
    std::function<void(const RigNode&)> resolve = [&](const RigNode& node) {
        if (world.contains(node.id))
            return;
        QTransform parent;
        double parentOpacity = 1;
        if (!node.parent.isEmpty()) {
            const RigNode& p = *byId.value(node.parent);
            resolve(p);
            parent = world.value(p.id);
            parentOpacity = opacity.value(p.id);
        }
        const QString& ns = node.channels;
        auto value = [&](const char* channel) {
            const QString key = ns + QLatin1Char('.') + QLatin1String(channel);
            return sample.number(key, neutralValue(key));
        };
        const double s = value("s");
        const QPointF pivot = node.pivot;
        const QTransform local = QTransform::fromTranslate(-pivot.x(), -pivot.y())
                                 * QTransform::fromScale(value("sx") * s, value("sy") * s)
                                 * QTransform().rotate(value("rot"))
                                 * QTransform::fromTranslate(pivot.x() + value("x"), pivot.y() + value("y"));
        const QTransform mirror = node.mirror ? QTransform(-1, 0, 0, 1, 2 * axis, 0) : QTransform();
        world.insert(node.id, local * mirror * parent);
        opacity.insert(node.id, parentOpacity * value("opacity"));
    };

    QString out;
    for (const RigNode& node : book_.nodes()) {
        resolve(node);
        if (node.part.isEmpty())
            continue;
        const QString showKey = node.channels + QStringLiteral(".show");
        if (sample.number(showKey, node.hidden ? 0 : 1) < 0.5)
            continue;
        if (!node.whenChannel.isEmpty() && sample.number(node.whenChannel, 0) != node.whenValue)
            continue;
        const QString part = resolvePart(node.part, sample);
        if (part.isEmpty())
            continue;
        if (!book_.hasPart(part))
            throw std::runtime_error(QStringLiteral("node %1 selects the missing part %2").arg(node.id, part).toStdString());
        const double alpha = opacity.value(node.id);
        if (alpha <= 0.001)
            continue;
        out += QStringLiteral("<g transform=\"%1\"%2><use xlink:href=\"#%3\"/></g>\n")
                   .arg(matrix(world.value(node.id)),
                        alpha < 0.999 ? QStringLiteral(" opacity=\"%1\"").arg(num(alpha)) : QString(), part);
    }
    return out;
}

QByteArray FrameComposer::compose(const PoseSample* sample, const QStringList& underlay,
                                  const QList<double>& viewBox, const QString& figureTransform) const {
    QString body;
    for (const QString& part : underlay) {
        if (!book_.hasPart(part))
            throw std::runtime_error(QStringLiteral("missing part ").append(part).toStdString());
        body += QStringLiteral("<use xlink:href=\"#%1\"/>\n").arg(part);
    }
    if (sample)
        body += figureTransform.isEmpty()
                    ? figure(*sample)
                    : QStringLiteral("<g transform=\"%1\">\n%2</g>\n").arg(figureTransform, figure(*sample));
    const QString box = QStringLiteral("%1 %2 %3 %4").arg(num(viewBox[0]), num(viewBox[1]), num(viewBox[2]), num(viewBox[3]));
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
                          "version=\"1.1\" width=\"%1\" height=\"%2\" viewBox=\"%3\">\n<defs>%4</defs>\n%5</svg>\n")
        .arg(num(viewBox[2]), num(viewBox[3]), box, book_.partsDefinitions(), body)
        .toUtf8();
}

QByteArray FrameComposer::compose(const PoseSample& sample) const {
    return compose(&sample, {}, {0, 0, book_.canvas(), book_.canvas()});
}

QImage FrameComposer::render(const QByteArray& svg, int size) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        throw std::runtime_error("a composed document does not parse as SVG");
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace nubbo::art
