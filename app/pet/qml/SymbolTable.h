// The system-symbol names the code uses ("pencil", "pawprint.fill", ...), resolved to the bundled icons.
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

namespace nubbo {

// The icon's resource path for a symbol name; a name missing from the table gets the question-mark icon, so
// nothing ever draws an empty square.
QString symbolResource(const QString& name);
// Whether the table knows the name.
bool hasSymbol(const QString& name);
// The icon rendered to fit pixelSize (aspect kept, centred), every drawn pixel in the colour with the icon's
// own coverage as alpha. Null only for an empty size.
QImage renderSymbol(const QString& name, QSize pixelSize, const QColor& color);

} // namespace nubbo
