// Turns the raw mouse events on the pet's square into gestures: a drag moves the pet, a click and a double
// click do what the user chose, hovering over a calm pet makes it shy, a right click opens the menu. The QML
// mouse area forwards its events here, so the gesture rules are tested without a window.
#pragma once

#include "platform/Clock.h"

#include <QObject>
#include <QPointF>

#include <functional>
#include <optional>

namespace nubbo {

class PetMenuController;
class PetViewModel;
class SettingsStore;

// Main thread only. Reaches the window controller through PetWindowController::shared(); without one a drag
// only changes the pet's pose.
class PetInteraction : public QObject {
    Q_OBJECT
    // Side of the pet's hit square in the view, kept current by the pet view.
    Q_PROPERTY(double petSize READ petSize WRITE setPetSize NOTIFY petSizeChanged)

public:
    static constexpr double kDragThreshold = 4;
    static constexpr double kHoverInterval = 5;
    static constexpr double kShyReactionSeconds = 0.6;

    // doubleClickInterval: the platform's, in seconds.
    PetInteraction(PetViewModel& viewModel, SettingsStore& settings, PetMenuController& menu, Scheduler& scheduler,
                   Clock& clock, double doubleClickInterval, QObject* parent = nullptr);
    ~PetInteraction() override;

    double petSize() const { return petSize_; }
    void setPetSize(double size);

    // Positions in the pet square's coordinates.
    Q_INVOKABLE void mouseDown(qreal x, qreal y);
    Q_INVOKABLE void mouseDragged(qreal x, qreal y);
    Q_INVOKABLE void mouseUp();
    Q_INVOKABLE void pointerEntered();
    Q_INVOKABLE void contextMenu(qreal globalX, qreal globalY);

    // Opens or closes the quick panel, for the single click's "Open Quick Panel" choice; without one that
    // choice toggles the bubble.
    void setQuickPanelHandler(std::function<void()> handler) { quickPanelHandler_ = std::move(handler); }

    bool isDragging() const { return isDragging_; }
    bool hasPendingSingleClick() const { return pendingSingleClick_.has_value(); }

Q_SIGNALS:
    void petSizeChanged();

private:
    void runSingleClick();
    void runDoubleClick();

    PetViewModel& viewModel_;
    SettingsStore& settings_;
    PetMenuController& menu_;
    Scheduler& scheduler_;
    Clock& clock_;
    double doubleClickInterval_;

    double petSize_ = 150;
    bool isDragging_ = false;
    std::optional<QPointF> mouseDownLocation_;
    std::optional<TaskId> pendingSingleClick_;
    std::function<void()> quickPanelHandler_;
};

} // namespace nubbo
