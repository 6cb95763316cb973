// Moves the pet's panel: restores and saves its spot, makes it trail the pointer on a damped spring while the
// user drags the pet, bumps the pet when it hits a screen edge, snaps a released pet to a nearby edge and
// slides the panel to new spots.
#pragma once

#include "platform/Clock.h"
#include "pet/PetPanel.h"
#include "pet/PetViewModel.h"

#include <QObject>
#include <QPointF>
#include <QRectF>

#include <functional>
#include <optional>

namespace nubbo {

class PreferencesDomain;
class SettingsStore;

// Main thread only. The scheduler, the panel and the stores must outlive the controller.
class PetWindowController : public QObject {
    Q_OBJECT

public:
    static inline const QString kOriginXKey = QStringLiteral("pet.originX");
    static inline const QString kOriginYKey = QStringLiteral("pet.originY");
    static constexpr double kFollowInterval = 1.0 / 90;
    static constexpr double kAnimationInterval = 1.0 / 60;
    static constexpr double kBumpCooldown = 0.4;
    static constexpr double kSnapDistance = 36;
    static constexpr double kSnapInset = 12;
    static constexpr double kDefaultInset = 24;
    static constexpr double kSnapDuration = 0.18;
    static constexpr double kResetDuration = 0.3;

    // Registers itself as shared().
    PetWindowController(PetPanel& panel, SettingsStore& settings, PreferencesDomain& preferences,
                        PetViewModel& viewModel, Scheduler& scheduler, Clock& clock, QObject* parent = nullptr);
    ~PetWindowController() override;

    // The live controller the mouse handling and the menu reach; nullptr when there is none.
    static PetWindowController* shared();

    // Places the panel at its restored spot, follows alwaysOnTop and the pause switch, shows the panel.
    void show();
    // Slides the panel back to the default spot and saves it there.
    void resetPosition();
    // The mouse view's drag: begin, every pointer move, release (the panel then coasts into place).
    void beginDrag();
    void updateDrag();
    void endDrag();
    // Screens were added, removed or resized: a panel left on no screen comes back to the default spot.
    void screensChanged();

    // The saved spot when it still lies on a screen, else the default.
    QPointF restoredOrigin() const;
    // Bottom-right of the primary screen's available area, inset; (100, 100) without screens.
    QPointF defaultOrigin() const;
    // Whether the panel at that origin would overlap any screen.
    bool isOnAnyScreen(const QPointF& origin) const;
    // Eases the panel to target; onComplete runs once when it arrives (at once when it is already there).
    void animate(const QPointF& target, double duration, std::function<void()> onComplete);

    // --- Read by tests
    bool buttonDown() const { return dragStartMouse_.has_value(); }
    bool settling() const { return settling_; }
    bool following() const { return followRunning_; }
    bool animating() const { return animRunning_; }
    std::optional<QPointF> targetOrigin() const { return targetOrigin_; }

private:
    void startFollowTimer();
    void scheduleFollowTick();
    void stopFollowTimer();
    void stepFollow();
    void tryBump(BumpDirection direction);
    void snapToNearestEdgeIfNeeded();
    void scheduleAnimTick();
    void stopAnimTimer();
    void stepAnim();
    // Stops the spring and any animation (dropping its completion) and forgets the drag.
    void haltMotion();
    void saveOrigin();
    void applyAlwaysOnTop();
    void pauseChanged();
    QRectF panelFrame() const;
    // The screen the panel overlaps most; nothing when it overlaps none.
    std::optional<PetScreen> panelScreen() const;

    PetPanel& panel_;
    SettingsStore& settings_;
    PreferencesDomain& preferences_;
    PetViewModel& viewModel_;
    Scheduler& scheduler_;
    Clock& clock_;

    std::optional<QPointF> dragStartMouse_;
    std::optional<QPointF> dragStartOrigin_;
    std::optional<QPointF> targetOrigin_;
    std::optional<QPointF> lastMouse_;
    bool followRunning_ = false;
    std::optional<TaskId> followTask_;
    bool settling_ = false;
    QPointF followVelocity_;
    bool atLeftEdge_ = false;
    bool atRightEdge_ = false;
    bool atTopEdge_ = false;
    bool atBottomEdge_ = false;
    std::optional<double> lastBumpAt_;

    bool animRunning_ = false;
    std::optional<TaskId> animTask_;
    QPointF animFrom_;
    QPointF animTo_;
    double animStart_ = 0;
    double animDuration_ = kSnapDuration;
    std::function<void()> animOnComplete_;
};

} // namespace nubbo
