#include "pet/qml/SymbolTable.h"

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
        // The settings and onboarding windows: categories, cards and buttons.
        {QStringLiteral("gearshape"), QStringLiteral("settings")},
        {QStringLiteral("paintpalette"), QStringLiteral("palette")},
        {QStringLiteral("paintbrush"), QStringLiteral("brush")},
        {QStringLiteral("cursorarrow.motionlines"), QStringLiteral("click")},
        {QStringLiteral("hand.raised"), QStringLiteral("hand-stop")},
        {QStringLiteral("bell"), QStringLiteral("bell")},
        {QStringLiteral("bell.badge"), QStringLiteral("bell-ringing")},
        {QStringLiteral("wrench.adjustable"), QStringLiteral("tool")},
        {QStringLiteral("info.circle.fill"), QStringLiteral("info-circle-filled")},
        {QStringLiteral("switch.2"), QStringLiteral("toggle-right")},
        {QStringLiteral("slider.horizontal.3"), QStringLiteral("adjustments-horizontal")},
        {QStringLiteral("xmark.circle"), QStringLiteral("circle-x")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("square.and.arrow.up"), QStringLiteral("upload")},
        {QStringLiteral("square.and.arrow.down"), QStringLiteral("download")},
        {QStringLiteral("sparkles"), QStringLiteral("sparkles")},
        {QStringLiteral("trash"), QStringLiteral("trash")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("circle-check-filled")},
        {QStringLiteral("exclamationmark.circle.fill"), QStringLiteral("alert-circle-filled")},
        {QStringLiteral("arrow.counterclockwise"), QStringLiteral("restore")},
        {QStringLiteral("arrow.clockwise"), QStringLiteral("refresh")},
        {QStringLiteral("macwindow"), QStringLiteral("app-window")},
        {QStringLiteral("photo"), QStringLiteral("photo")},
        {QStringLiteral("shippingbox"), QStringLiteral("package")},
        {QStringLiteral("link"), QStringLiteral("plug-connected")},
        {QStringLiteral("chevron.down"), QStringLiteral("chevron-down")},
        {QStringLiteral("checkmark"), QStringLiteral("check")},
        // The agents' own symbols, as the catalogue names them.
        {QStringLiteral("diamond"), QStringLiteral("diamond")},
        {QStringLiteral("curlybraces"), QStringLiteral("braces")},
        {QStringLiteral("q.square"), QStringLiteral("square-letter-q")},
        {QStringLiteral("q.circle"), QStringLiteral("circle-letter-q")},
        {QStringLiteral("person.2"), QStringLiteral("users")},
        {QStringLiteral("k.square"), QStringLiteral("square-letter-k")},
        {QStringLiteral("wind"), QStringLiteral("wind")},
        {QStringLiteral("cursorarrow.rays"), QStringLiteral("pointer")},
        {QStringLiteral("chevron.left.forwardslash.chevron.right"), QStringLiteral("code")},
        {QStringLiteral("c.square"), QStringLiteral("square-letter-c")},
        // The quick panel's activities.
        {QStringLiteral("lightbulb"), QStringLiteral("bulb")},
        {QStringLiteral("ellipsis.bubble"), QStringLiteral("message-dots")},
        {QStringLiteral("checkmark.circle"), QStringLiteral("circle-check")},
        {QStringLiteral("archivebox"), QStringLiteral("archive")},
        // The pet's badge while Allow All or Ignore Risk is on: drawn by us, with strokes heavy enough to
        // read at 16 px.
        {QStringLiteral("checkmark.heavy"), QStringLiteral("badge-check")},
        {QStringLiteral("exclamationmark.heavy"), QStringLiteral("badge-exclamation")},
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
