#include "pet/qml/DesktopPalette.h"

#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>

namespace nubbo {

DesktopPalette::DesktopPalette(QObject* parent) : QObject(parent) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
    refresh();
}

bool DesktopPalette::eventFilter(QObject* watched, QEvent* event) {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange)
        refresh();
    return QObject::eventFilter(watched, event);
}

void DesktopPalette::refresh() {
    const bool dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    if (dark == dark_)
        return;
    dark_ = dark;
    Q_EMIT changed();
}

QColor DesktopPalette::primary() const { return dark_ ? QColor(0xF2, 0xF2, 0xF5) : QColor(0x1C, 0x1C, 0x1E); }
QColor DesktopPalette::secondary() const { return dark_ ? QColor(0xA1, 0xA1, 0xA8) : QColor(0x6B, 0x6B, 0x72); }
QColor DesktopPalette::material() const {
    return dark_ ? QColor(0x2A, 0x2A, 0x2E, 245) : QColor(0xFB, 0xFB, 0xFD, 245);
}
QColor DesktopPalette::orange() const { return dark_ ? QColor(0xFF, 0x9F, 0x0A) : QColor(0xF5, 0x8A, 0x00); }
QColor DesktopPalette::blue() const { return dark_ ? QColor(0x0A, 0x84, 0xFF) : QColor(0x00, 0x7A, 0xFF); }
QColor DesktopPalette::red() const { return dark_ ? QColor(0xFF, 0x45, 0x3A) : QColor(0xFF, 0x3B, 0x30); }

QString DesktopPalette::uiFontFamily() const {
    static const QString family = [] {
        const QString desktop = QGuiApplication::font().family();
        // With no desktop theme to name a font, Qt ends at fontconfig's last resort, DejaVu Sans, which runs
        // wide at bubble sizes: take a proper interface face when one is installed.
        QString chosen = desktop;
        if (desktop == QLatin1String("DejaVu Sans") || desktop == QLatin1String("Sans Serif")) {
            for (const char* candidate : {"Inter", "Cantarell", "Noto Sans", "Ubuntu", "Nimbus Sans"}) {
                if (QFontDatabase::hasFamily(QString::fromLatin1(candidate))) {
                    chosen = QString::fromLatin1(candidate);
                    break;
                }
            }
        }
        // Chinese text in that face falls back per glyph; name the simplified-Chinese face so Qt does not pick
        // a Japanese one for shared ideographs.
        const QString chinese = QStringLiteral("Noto Sans CJK SC");
        if (QFontDatabase::hasFamily(chinese))
            QFont::insertSubstitution(chosen, chinese);
        return chosen;
    }();
    return family;
}
QString DesktopPalette::monoFontFamily() const {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

QColor DesktopPalette::accent(const QString& themeColor) const {
    if (themeColor == QLatin1String("blue"))
        return blue();
    if (themeColor == QLatin1String("green"))
        return dark_ ? QColor(0x30, 0xD1, 0x58) : QColor(0x28, 0xA7, 0x45);
    if (themeColor == QLatin1String("purple"))
        return dark_ ? QColor(0xBF, 0x5A, 0xF2) : QColor(0xAF, 0x52, 0xDE);
    return dark_ ? QColor(0xFF, 0x37, 0x5F) : QColor(0xF0, 0x3E, 0x7A);
}

QColor DesktopPalette::alpha(const QColor& color, qreal opacity) const {
    QColor out = color;
    out.setAlphaF(float(color.alphaF() * opacity));
    return out;
}

} // namespace nubbo
