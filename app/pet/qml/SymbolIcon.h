// A tinted symbol from the bundled icon set, drawn crisp at the screen's pixel ratio.
#pragma once

#include <QColor>
#include <QImage>
#include <QQuickPaintedItem>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace nubbo {

class SymbolIcon : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    // A symbol name of the table in SymbolTable.h; unknown names draw the question-mark icon.
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit SymbolIcon(QQuickItem* parent = nullptr);

    QString name() const { return name_; }
    void setName(const QString& name);
    QColor color() const { return color_; }
    void setColor(const QColor& color);

    void paint(QPainter* painter) override;

Q_SIGNALS:
    void nameChanged();
    void colorChanged();

private:
    QString name_;
    QColor color_ = Qt::black;
    // The last rendering, reused while name, colour and pixel size stay.
    QImage cached_;
    QString cachedName_;
    QColor cachedColor_;
};

} // namespace nubbo
