// The bubble's card and tail as one shape: a translucent fill, one outline around both and a soft shadow
// under both. One shape, so card and tail blend as one surface with no seam where they meet.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace nubbo {

// The tail: from the rectangle's top-left corner a quadratic curve to its top-right corner with the control
// point at the bottom centre, closed.
QPainterPath bubbleTailPath(const QRectF& rect);

// The item covers the card, the tail under it and `margin` all round for the shadow; lay it out with
// anchors.margins: -margin around the card-and-tail rectangle.
class BubbleBackground : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qreal radius MEMBER radius_ WRITE setRadius NOTIFY shapeChanged)
    Q_PROPERTY(qreal tailWidth MEMBER tailWidth_ WRITE setTailWidth NOTIFY shapeChanged)
    Q_PROPERTY(qreal tailHeight MEMBER tailHeight_ WRITE setTailHeight NOTIFY shapeChanged)
    Q_PROPERTY(QColor fillColor MEMBER fillColor_ WRITE setFillColor NOTIFY shapeChanged)
    Q_PROPERTY(QColor outlineColor MEMBER outlineColor_ WRITE setOutlineColor NOTIFY shapeChanged)
    Q_PROPERTY(QColor shadowColor MEMBER shadowColor_ WRITE setShadowColor NOTIFY shapeChanged)
    Q_PROPERTY(qreal shadowRadius MEMBER shadowRadius_ WRITE setShadowRadius NOTIFY shapeChanged)
    Q_PROPERTY(qreal shadowOffsetY MEMBER shadowOffsetY_ WRITE setShadowOffsetY NOTIFY shapeChanged)
    // Room for the shadow on every side: its blur reach plus its offset.
    Q_PROPERTY(qreal margin READ margin NOTIFY shapeChanged)

public:
    explicit BubbleBackground(QQuickItem* parent = nullptr);

    void setRadius(qreal value) { assign(radius_, value); }
    void setTailWidth(qreal value) { assign(tailWidth_, value); }
    void setTailHeight(qreal value) { assign(tailHeight_, value); }
    void setFillColor(const QColor& value) { assign(fillColor_, value); }
    void setOutlineColor(const QColor& value) { assign(outlineColor_, value); }
    void setShadowColor(const QColor& value) { assign(shadowColor_, value); }
    void setShadowRadius(qreal value) { assign(shadowRadius_, value); }
    void setShadowOffsetY(qreal value) { assign(shadowOffsetY_, value); }
    qreal margin() const;

    void paint(QPainter* painter) override;

Q_SIGNALS:
    void shapeChanged();

private:
    template <typename T>
    void assign(T& member, const T& value) {
        if (member == value)
            return;
        member = value;
        shadowCache_ = QImage();
        update();
        Q_EMIT shapeChanged();
    }
    QRectF cardRect() const;
    QPainterPath shape(qreal scale) const;

    qreal radius_ = 14;
    qreal tailWidth_ = 22;
    qreal tailHeight_ = 11;
    QColor fillColor_ = QColor(250, 250, 252, 245);
    QColor outlineColor_ = QColor(0, 0, 0, 31);
    QColor shadowColor_ = QColor(0, 0, 0, 56);
    qreal shadowRadius_ = 12;
    qreal shadowOffsetY_ = 5;
    // The blurred shadow for the last device size; rebuilt only when the size or the shape changes.
    QImage shadowCache_;
};

} // namespace nubbo
