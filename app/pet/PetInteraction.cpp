#include "pet/PetInteraction.h"

#include "pet/PetMenuController.h"
#include "pet/PetViewModel.h"
#include "pet/PetWindowController.h"
#include "settings/SettingsStore.h"

#include <QLineF>
#include <QPoint>
#include <QPointer>

namespace nubbo {

PetInteraction::PetInteraction(PetViewModel& viewModel, SettingsStore& settings, PetMenuController& menu,
                               Scheduler& scheduler, Clock& clock, double doubleClickInterval, QObject* parent)
    : QObject(parent), viewModel_(viewModel), settings_(settings), menu_(menu), scheduler_(scheduler), clock_(clock),
      doubleClickInterval_(doubleClickInterval) {}

PetInteraction::~PetInteraction() {
    if (pendingSingleClick_)
        scheduler_.cancel(*pendingSingleClick_);
}

void PetInteraction::setPetSize(double size) {
    if (qFuzzyCompare(petSize_, size))
        return;
    petSize_ = size;
    Q_EMIT petSizeChanged();
}

void PetInteraction::mouseDown(qreal x, qreal y) {
    isDragging_ = false;
    mouseDownLocation_ = QPointF(x, y);
}

void PetInteraction::mouseDragged(qreal x, qreal y) {
    if (!isDragging_) {
        if (!mouseDownLocation_ || QLineF(*mouseDownLocation_, QPointF(x, y)).length() < kDragThreshold)
            return;
        isDragging_ = true;
        if (PetWindowController* controller = PetWindowController::shared())
            controller->beginDrag();
        viewModel_.beginDragging();
    }
    // The controller reads the global pointer itself; the view position only decides when a drag begins.
    if (PetWindowController* controller = PetWindowController::shared())
        controller->updateDrag();
}

void PetInteraction::mouseUp() {
    mouseDownLocation_.reset();
    if (isDragging_) {
        isDragging_ = false;
        // A drag is never also a click.
        if (PetWindowController* controller = PetWindowController::shared())
            controller->endDrag(); // ends the view model's drag too
        else
            viewModel_.endDragging();
        return;
    }
    if (pendingSingleClick_) {
        // The second click of a double click: the first one's action never runs.
        scheduler_.cancel(*pendingSingleClick_);
        pendingSingleClick_.reset();
        runDoubleClick();
        return;
    }
    QPointer<PetInteraction> self(this);
    pendingSingleClick_ = scheduler_.schedule(doubleClickInterval_, [self] {
        if (!self)
            return;
        self->pendingSingleClick_.reset();
        self->runSingleClick();
    });
}

void PetInteraction::runSingleClick() {
    switch (settings_.singleClickBehavior()) {
    case SingleClickBehavior::quickPanel:
        if (quickPanelHandler_) {
            quickPanelHandler_();
            break;
        }
        viewModel_.toggleBubble();
        break;
    case SingleClickBehavior::toggleBubble:
        viewModel_.toggleBubble();
        break;
    case SingleClickBehavior::none:
        break;
    }
}

void PetInteraction::runDoubleClick() {
    switch (settings_.doubleClickBehavior()) {
    case DoubleClickBehavior::petReaction:
        viewModel_.petReaction();
        break;
    case DoubleClickBehavior::openSettings:
        viewModel_.openSettings();
        break;
    case DoubleClickBehavior::none:
        break;
    }
}

void PetInteraction::pointerEntered() {
    if (viewModel_.reactionActive() || !isCalmState(viewModel_.state()))
        return;
    const double now = clock_.now();
    if (const std::optional<double> last = viewModel_.lastNoticeAt(); last && now - *last < kHoverInterval)
        return;
    viewModel_.setLastNoticeAt(now);
    viewModel_.playReaction(PetState::reactShy, std::nullopt, kShyReactionSeconds);
}

void PetInteraction::contextMenu(qreal globalX, qreal globalY) {
    menu_.popup(QPoint(qRound(globalX), qRound(globalY)));
}

} // namespace nubbo
