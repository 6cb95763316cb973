// The real pet panel: a frameless, translucent tool window that never takes focus, shown on every virtual
// desktop, hosting the QML pet view. Clicks reach it only on the pet square and the shown bubble card.
#pragma once

#include "pet/PetPanel.h"
#include "pet/PetViewSource.h"

#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QPointF>
#include <QRegion>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <memory>

class QQuickView;
class QScreen;

namespace nubbo {

class PetWindow final : public QObject, public PetPanel {
    Q_OBJECT

public:
    using LogFunction = std::function<void(const QString& line)>;

    // `properties` are the root item's initial properties (the view model, the settings, the interaction).
    PetWindow(const PetViewSource& source, const QVariantMap& properties, LogFunction log, QObject* parent = nullptr);
    ~PetWindow() override;

    QPointF origin() const override { return origin_; }
    void moveTo(const QPointF& origin) override;
    QList<PetScreen> screens() const override;
    QPointF pointerPosition() const override;
    void setAlwaysOnTop(bool onTop) override;
    void showPanel() override;

    QQuickView& view() { return *view_; }
    bool hasShownFirstFrame() const { return firstFrameLogged_; }
    // Where clicks are taken, in window coordinates; empty before the first frame.
    QRegion inputRegion() const { return inputShape_; }
    // The pet's square and its shown bubble card, in global coordinates: what a panel beside the pet must
    // not cover.
    QRect petOnScreen();

Q_SIGNALS:
    // Screens were added or removed, or one changed its geometry.
    void screensChanged();
    // The first frame is on screen.
    void firstFrameShown();

private:
    void watchScreen(QScreen* screen);
    void afterFrame();
    void clipToDrawnContent();
    QRegion currentShape();

    std::unique_ptr<QQuickView> view_;
    LogFunction log_;
    QPointF origin_;
    bool alwaysOnTop_ = true;
    bool shown_ = false;
    bool firstFrameLogged_ = false;
    QPointer<QQuickItem> petSquare_;
    QPointer<QQuickItem> bubbleCard_;
    QRegion inputShape_;
    int framesSinceCompositorCheck_ = 0;
    bool compositor_ = false;
    // Without a compositor: the window is clipped to its drawn pixels (device pixels).
    bool clipped_ = false;
    QRegion bounding_;
    QTimer boundingUpdate_;
    QString drawnState_;
};

} // namespace nubbo
