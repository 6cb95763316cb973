// The colours the pet's views draw with, following the desktop's light or dark palette as it changes.
#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace nubbo {

// Without a blur behind the window, the bubble's "material" is a nearly opaque fill: text must stay
// readable over any wallpaper.
class DesktopPalette : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // The application palette's window colour is dark.
    Q_PROPERTY(bool dark READ dark NOTIFY changed)
    Q_PROPERTY(QColor primary READ primary NOTIFY changed)
    Q_PROPERTY(QColor secondary READ secondary NOTIFY changed)
    Q_PROPERTY(QColor material READ material NOTIFY changed)
    Q_PROPERTY(QColor orange READ orange NOTIFY changed)
    Q_PROPERTY(QColor blue READ blue NOTIFY changed)
    Q_PROPERTY(QColor red READ red NOTIFY changed)
    Q_PROPERTY(QString uiFontFamily READ uiFontFamily CONSTANT)
    Q_PROPERTY(QString monoFontFamily READ monoFontFamily CONSTANT)

public:
    explicit DesktopPalette(QObject* parent = nullptr);

    bool dark() const { return dark_; }
    QColor primary() const;
    QColor secondary() const;
    QColor material() const;
    QColor orange() const;
    QColor blue() const;
    QColor red() const;
    QString uiFontFamily() const;
    QString monoFontFamily() const;

    // The accent for a themeColor setting ("pink", "blue", "green", "purple"); anything else is pink.
    Q_INVOKABLE QColor accent(const QString& themeColor) const;
    // The colour with its alpha multiplied, for the translucent fills.
    Q_INVOKABLE QColor alpha(const QColor& color, qreal opacity) const;

Q_SIGNALS:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();

    bool dark_ = false;
};

} // namespace nubbo
