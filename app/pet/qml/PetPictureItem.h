// Draws one state of the pet: its frame animation when the art has one, else the still picture (or the paw
// symbol when there is no picture at all). The motion loop over a still picture is the QML's job; this item
// tells it whether frames play. Art not in the store's cache is decoded off the main thread; meanwhile the
// item keeps drawing what it drew before, and ready says when the art asked for first arrived.
#pragma once

#include "platform/Clock.h"
#include "petart/PetImageStore.h"
#include "model/PetState.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QQuickPaintedItem>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

namespace nubbo {

class PetPictureItem : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    // A PetState raw value; an unknown one draws idle.
    Q_PROPERTY(QString petState READ stateRaw WRITE setStateRaw NOTIFY sourceChanged)
    // "" for none; the settings' effective paths.
    Q_PROPERTY(QString customPath READ customPath WRITE setCustomPath NOTIFY sourceChanged)
    Q_PROPERTY(QString packPath READ packPath WRITE setPackPath NOTIFY sourceChanged)
    // The paw's colour when there is no picture.
    Q_PROPERTY(QColor symbolColor READ symbolColor WRITE setSymbolColor NOTIFY symbolColorChanged)
    Q_PROPERTY(bool animatesByFrames READ animatesByFrames NOTIFY loaded)
    Q_PROPERTY(bool showsSymbol READ showsSymbol NOTIFY loaded)
    Q_PROPERTY(bool ready READ ready NOTIFY loaded)
    Q_PROPERTY(int frameCount READ frameCount NOTIFY loaded)
    Q_PROPERTY(int frameIndex READ frameIndex NOTIFY frameIndexChanged)
    // Device pixels the art was decoded at: the item's side times the window's pixel ratio.
    Q_PROPERTY(QSize decodeSize READ decodeSize NOTIFY loaded)
    // The frame timer runs: more than one frame, the item visible, its window shown.
    Q_PROPERTY(bool ticking READ ticking NOTIFY tickingChanged)

public:
    explicit PetPictureItem(QQuickItem* parent = nullptr);

    // Where frame times are read; nullptr: the system clock. Tests pass a manual clock before creating items.
    static void setClock(Clock* clock);

    QString stateRaw() const { return rawValue(state_); }
    void setStateRaw(const QString& raw);
    QString customPath() const { return customPath_; }
    void setCustomPath(const QString& path);
    QString packPath() const { return packPath_; }
    void setPackPath(const QString& path);
    QColor symbolColor() const { return symbolColor_; }
    void setSymbolColor(const QColor& color);

    bool animatesByFrames() const { return !frames_.isEmpty(); }
    bool showsSymbol() const { return frames_.isEmpty() && still_.isNull(); }
    bool ready() const { return ready_; }
    int frameCount() const { return int(frames_.size()); }
    int frameIndex() const { return frameIndex_; }
    QSize decodeSize() const { return decodeSize_; }
    bool ticking() const { return timer_.isActive(); }

    // Moves to the frame the clock says; the frame timer calls it, tests call it after moving their clock.
    Q_INVOKABLE void advanceFrame();

    void paint(QPainter* painter) override;

Q_SIGNALS:
    void sourceChanged();
    void symbolColorChanged();
    void loaded();
    void frameIndexChanged();
    void tickingChanged();

protected:
    void componentComplete() override;
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    void itemChange(ItemChange change, const ItemChangeData& value) override;

private:
    // Looks the art up again for the current state, source and size.
    void reload();
    // Shows art that arrived, from its first frame.
    void show(const PetArt& art);
    void updateTimer();
    double now() const;
    QSize wantedDecodeSize() const;

    PetState state_ = PetState::idle;
    QString customPath_;
    QString packPath_;
    QColor symbolColor_ = QColor(0xF0, 0x3E, 0x7A);

    QList<QImage> frames_;
    QImage still_;
    QImage symbol_;
    QSize decodeSize_;
    double frameRate_ = 1;
    double startTime_ = 0;
    int frameIndex_ = 0;
    bool ready_ = false;
    // Counts the loads asked for; a load that arrives after a newer one was asked for is dropped.
    quint64 loads_ = 0;
    QTimer timer_;
    QMetaObject::Connection windowVisibility_;
};

} // namespace nubbo
