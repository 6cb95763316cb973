#include "SymbolTable.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

namespace nubbo {
namespace {

const QHash<QString, QString>& table() {
    static const QHash<QString, QString> names{
        {QStringLiteral("pawprint.fill"), QStringLiteral("paw")},
        {QStringLiteral("hand.raised.fill"), QStringLiteral("hand-stop")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("alert-triangle")},
        {QStringLiteral("pencil"), QStringLiteral("pencil")},
        {QStringLiteral("book"), QStringLiteral("book")},
        {QStringLiteral("magnifyingglass"), QStringLiteral("search")},
        {QStringLiteral("terminal"), QStringLiteral("terminal-2")},
        {QStringLiteral("globe"), QStringLiteral("world")},
        {QStringLiteral("checklist"), QStringLiteral("checklist")},
        {QStringLiteral("questionmark.circle.fill"), QStringLiteral("help-circle")},
        {QStringLiteral("lightbulb"), QStringLiteral("bulb")},
        {QStringLiteral("ellipsis.bubble"), QStringLiteral("message-dots")},
        {QStringLiteral("checkmark.circle"), QStringLiteral("circle-check")},
        {QStringLiteral("archivebox"), QStringLiteral("archive")},
        // The agents' own symbols, from the provider catalogue.
        {QStringLiteral("sparkles"), QStringLiteral("sparkles")},
        {QStringLiteral("diamond"), QStringLiteral("diamond")},
        {QStringLiteral("curlybraces"), QStringLiteral("braces")},
        {QStringLiteral("k.square"), QStringLiteral("square-letter-k")},
        {QStringLiteral("q.square"), QStringLiteral("square-letter-q")},
        {QStringLiteral("c.square"), QStringLiteral("square-letter-c")},
        {QStringLiteral("q.circle"), QStringLiteral("circle-letter-q")},
        {QStringLiteral("person.2"), QStringLiteral("users")},
        {QStringLiteral("wind"), QStringLiteral("wind")},
        {QStringLiteral("cursorarrow.rays"), QStringLiteral("pointer")},
        {QStringLiteral("chevron.left.forwardslash.chevron.right"), QStringLiteral("code")},
    };
    return names;
}

} // namespace

bool hasSymbol(const QString& name) { return table().contains(name); }

QString symbolResource(const QString& name) {
    return QStringLiteral(":/nubbo/symbols/") + table().value(name, QStringLiteral("help-circle")) +
           QStringLiteral(".svg");
}

QImage renderSymbol(const QString& name, QSize pixelSize, const QColor& color) {
    if (pixelSize.isEmpty())
        return {};
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(symbolResource(name));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QSizeF fitted = QSizeF(renderer.defaultSize()).scaled(QSizeF(pixelSize), Qt::KeepAspectRatio);
    renderer.render(&painter, QRectF(QPointF((pixelSize.width() - fitted.width()) / 2,
                                             (pixelSize.height() - fitted.height()) / 2),
                                     fitted));
    // The icons draw in currentColor, which the renderer takes as black: keep the coverage, swap the colour.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}

} // namespace nubbo
