#include "pet/PetWindowController.h"

#include "model/PetBubbleKind.h"
#include "platform/PreferencesDomain.h"
#include "settings/SettingsStore.h"

#include <QLineF>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace nubbo {

namespace {

PetWindowController* sharedController = nullptr;

// Spring constants per follow tick: how hard the target pulls, and how much speed survives a tick.
constexpr double kSpringPull = 0.55;
constexpr double kSpringDamping = 0.78;
// A released panel counts as arrived when this close and this slow.
constexpr double kSettleDistance = 0.6;
constexpr double kSettleSpeed = 0.5;
constexpr double kAnimationMinimumDuration = 0.05;
constexpr double kAlreadyThereDistance = 0.5;

double distance(const QPointF& a, const QPointF& b) { return QLineF(a, b).length(); }
double right(const QRectF& r) { return r.x() + r.width(); }
double bottom(const QRectF& r) { return r.y() + r.height(); }

std::optional<double> storedDouble(const PreferencesDomain& preferences, const QString& key) {
    bool ok = false;
    const double value = preferences.value(key).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

PetWindowController::PetWindowController(PetPanel& panel, SettingsStore& settings, PreferencesDomain& preferences,
                                         PetViewModel& viewModel, Scheduler& scheduler, Clock& clock,
                                         QObject* parent)
    : QObject(parent), panel_(panel), settings_(settings), preferences_(preferences), viewModel_(viewModel),
      scheduler_(scheduler), clock_(clock) {
    sharedController = this;
}

PetWindowController::~PetWindowController() {
    if (followTask_)
        scheduler_.cancel(*followTask_);
    if (animTask_)
        scheduler_.cancel(*animTask_);
    if (sharedController == this)
        sharedController = nullptr;
}

PetWindowController* PetWindowController::shared() { return sharedController; }

void PetWindowController::show() {
    panel_.moveTo(restoredOrigin());
    applyAlwaysOnTop();
    // The store signals only real changes, so the pause switch's current value is not replayed.
    connect(&settings_, &SettingsStore::alwaysOnTopChanged, this, &PetWindowController::applyAlwaysOnTop,
            Qt::UniqueConnection);
    connect(&settings_, &SettingsStore::pauseNubboChanged, this, &PetWindowController::pauseChanged,
            Qt::UniqueConnection);
    panel_.showPanel();
}

void PetWindowController::applyAlwaysOnTop() { panel_.setAlwaysOnTop(settings_.alwaysOnTop()); }

void PetWindowController::pauseChanged() {
    const bool paused = settings_.pauseNubbo();
    viewModel_.setState(paused ? PetState::sleeping : PetState::idle);
    viewModel_.showBubble(BubbleMessage{paused ? QStringLiteral("Paused. Zzz...") : QStringLiteral("Nubbo is back.")},
                          false);
}

QPointF PetWindowController::restoredOrigin() const {
    if (preferences_.contains(kOriginXKey)) {
        const auto x = storedDouble(preferences_, kOriginXKey);
        const auto y = storedDouble(preferences_, kOriginYKey);
        if (x && y && isOnAnyScreen(QPointF(*x, *y)))
            return QPointF(*x, *y);
    }
    return defaultOrigin();
}

QPointF PetWindowController::defaultOrigin() const {
    const QList<PetScreen> screens = panel_.screens();
    if (screens.isEmpty())
        return QPointF(100, 100);
    const QRectF available = screens.first().availableGeometry;
    return QPointF(right(available) - kPetPanelSize.width() - kDefaultInset,
                   bottom(available) - kPetPanelSize.height() - kDefaultInset);
}

bool PetWindowController::isOnAnyScreen(const QPointF& origin) const {
    const QRectF frame(origin, kPetPanelSize);
    const QList<PetScreen> screens = panel_.screens();
    return std::any_of(screens.begin(), screens.end(),
                       [&](const PetScreen& screen) { return frame.intersects(screen.geometry); });
}

QRectF PetWindowController::panelFrame() const { return QRectF(panel_.origin(), kPetPanelSize); }

std::optional<PetScreen> PetWindowController::panelScreen() const {
    const QRectF frame = panelFrame();
    std::optional<PetScreen> best;
    double bestArea = 0;
    for (const PetScreen& screen : panel_.screens()) {
        const QRectF overlap = frame.intersected(screen.geometry);
        const double area = overlap.width() * overlap.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    return best;
}

void PetWindowController::resetPosition() {
    haltMotion();
    animate(defaultOrigin(), kResetDuration, [this] { saveOrigin(); });
}

void PetWindowController::screensChanged() {
    const QList<PetScreen> screens = panel_.screens();
    // No screen at all is a passing moment of a reconfiguration; the saved spot stays until screens return.
    if (screens.isEmpty() || isOnAnyScreen(panel_.origin()))
        return;
    haltMotion();
    panel_.moveTo(defaultOrigin());
    saveOrigin();
}

void PetWindowController::haltMotion() {
    stopFollowTimer();
    stopAnimTimer();
    animOnComplete_ = nullptr;
    dragStartMouse_.reset();
    dragStartOrigin_.reset();
    lastMouse_.reset();
    targetOrigin_.reset();
    settling_ = false;
    followVelocity_ = QPointF();
}

void PetWindowController::beginDrag() {
    const QPointF pointer = panel_.pointerPosition();
    dragStartMouse_ = pointer;
    lastMouse_ = pointer;
    dragStartOrigin_ = panel_.origin();
    targetOrigin_ = dragStartOrigin_;
    settling_ = false;
    followVelocity_ = QPointF();
    atLeftEdge_ = atRightEdge_ = atTopEdge_ = atBottomEdge_ = false;
    // A snap or reset still sliding would fight the spring for the panel.
    stopAnimTimer();
    animOnComplete_ = nullptr;
    startFollowTimer();
}

void PetWindowController::updateDrag() {
    if (!dragStartMouse_ || !dragStartOrigin_)
        return;
    const QPointF pointer = panel_.pointerPosition();
    targetOrigin_ = *dragStartOrigin_ + (pointer - *dragStartMouse_);
    if (lastMouse_) {
        const double dx = pointer.x() - lastMouse_->x();
        // Jitter of half a point must not flip the pet back and forth.
        if (std::abs(dx) > 0.5)
            viewModel_.setFacing(dx < 0 ? -1.0 : 1.0);
    }
    lastMouse_ = pointer;
}

void PetWindowController::endDrag() {
    // The spring keeps running: the panel coasts to its target and the follow step finishes the drag.
    settling_ = true;
    dragStartMouse_.reset();
    dragStartOrigin_.reset();
    lastMouse_.reset();
    viewModel_.endDragging();
}

void PetWindowController::startFollowTimer() {
    stopFollowTimer();
    followRunning_ = true;
    scheduleFollowTick();
}

void PetWindowController::scheduleFollowTick() {
    QPointer<PetWindowController> self(this);
    followTask_ = scheduler_.schedule(kFollowInterval, [self] {
        if (!self)
            return;
        self->followTask_.reset();
        self->stepFollow();
        if (self && self->followRunning_ && !self->followTask_)
            self->scheduleFollowTick();
    });
}

void PetWindowController::stopFollowTimer() {
    followRunning_ = false;
    if (followTask_) {
        scheduler_.cancel(*followTask_);
        followTask_.reset();
    }
}

void PetWindowController::stepFollow() {
    if (!targetOrigin_)
        return;
    const QPointF target = *targetOrigin_;
    const QPointF origin = panel_.origin();
    followVelocity_ = (followVelocity_ + (target - origin) * kSpringPull) * kSpringDamping;
    const QPointF moved = origin + followVelocity_;
    panel_.moveTo(moved);

    const double speed = std::hypot(followVelocity_.x(), followVelocity_.y());
    if (settling_ && distance(moved, target) < kSettleDistance && speed < kSettleSpeed) {
        panel_.moveTo(target);
        followVelocity_ = QPointF();
        stopFollowTimer();
        targetOrigin_.reset();
        settling_ = false;
        if (settings_.edgeSnap())
            snapToNearestEdgeIfNeeded();
        // When a snap started this is the pre-snap spot; the snap saves again when it ends.
        saveOrigin();
        return;
    }

    if (!dragStartMouse_ || settling_)
        return;
    const std::optional<PetScreen> screen = panelScreen();
    if (!screen)
        return;
    const QRectF available = screen->availableGeometry;
    const QRectF frame = panelFrame();
    const bool left = frame.x() <= available.x() + 1;
    const bool rightContact = right(frame) >= right(available) - 1;
    const bool top = frame.y() <= available.y() + 1;
    // The bottom counts only a point beyond the available area, the other edges within a point inside it.
    const bool bottomContact = bottom(frame) >= bottom(available) + 1;
    // Only arrival bumps: a pet held against an edge bumps once.
    if (left && !atLeftEdge_)
        tryBump(BumpDirection::left);
    if (rightContact && !atRightEdge_)
        tryBump(BumpDirection::right);
    if (top && !atTopEdge_)
        tryBump(BumpDirection::top);
    if (bottomContact && !atBottomEdge_)
        tryBump(BumpDirection::bottom);
    atLeftEdge_ = left;
    atRightEdge_ = rightContact;
    atTopEdge_ = top;
    atBottomEdge_ = bottomContact;
}

void PetWindowController::tryBump(BumpDirection direction) {
    const double now = clock_.now();
    if (lastBumpAt_ && now - *lastBumpAt_ <= kBumpCooldown)
        return;
    lastBumpAt_ = now;
    viewModel_.bump(direction);
}

void PetWindowController::snapToNearestEdgeIfNeeded() {
    std::optional<PetScreen> screen = panelScreen();
    if (!screen) {
        const QList<PetScreen> screens = panel_.screens();
        if (screens.isEmpty())
            return;
        screen = screens.first();
    }
    const QRectF available = screen->availableGeometry;
    const QRectF frame = panelFrame();
    double x = frame.x();
    double y = frame.y();
    if (std::abs(frame.x() - available.x()) < kSnapDistance)
        x = available.x() + kSnapInset;
    else if (std::abs(right(available) - right(frame)) < kSnapDistance)
        x = right(available) - frame.width() - kSnapInset;
    if (std::abs(bottom(available) - bottom(frame)) < kSnapDistance)
        y = bottom(available) - frame.height() - kSnapInset;
    else if (std::abs(frame.y() - available.y()) < kSnapDistance)
        y = available.y() + kSnapInset;

    const QPointF snapped(x, y);
    if (snapped != frame.topLeft())
        animate(snapped, kSnapDuration, [this] { saveOrigin(); });
    else
        saveOrigin();
}

void PetWindowController::animate(const QPointF& target, double duration, std::function<void()> onComplete) {
    stopAnimTimer();
    if (distance(panel_.origin(), target) <= kAlreadyThereDistance) {
        animOnComplete_ = nullptr;
        panel_.moveTo(target);
        if (onComplete)
            onComplete();
        return;
    }
    animFrom_ = panel_.origin();
    animTo_ = target;
    animStart_ = clock_.now();
    animDuration_ = std::max(duration, kAnimationMinimumDuration);
    // An earlier animation's completion is dropped, not run: its target was never reached.
    animOnComplete_ = std::move(onComplete);
    animRunning_ = true;
    scheduleAnimTick();
}

void PetWindowController::scheduleAnimTick() {
    QPointer<PetWindowController> self(this);
    animTask_ = scheduler_.schedule(kAnimationInterval, [self] {
        if (!self)
            return;
        self->animTask_.reset();
        self->stepAnim();
        if (self && self->animRunning_ && !self->animTask_)
            self->scheduleAnimTick();
    });
}

void PetWindowController::stopAnimTimer() {
    animRunning_ = false;
    if (animTask_) {
        scheduler_.cancel(*animTask_);
        animTask_.reset();
    }
}

void PetWindowController::stepAnim() {
    const double t = std::min((clock_.now() - animStart_) / animDuration_, 1.0);
    if (t < 1) {
        const double eased = 1 - std::pow(1 - t, 3);
        panel_.moveTo(animFrom_ + (animTo_ - animFrom_) * eased);
        return;
    }
    panel_.moveTo(animTo_);
    stopAnimTimer();
    const std::function<void()> done = std::exchange(animOnComplete_, nullptr);
    if (done)
        done();
}

void PetWindowController::saveOrigin() {
    const QPointF origin = panel_.origin();
    preferences_.setValue(kOriginXKey, origin.x());
    preferences_.setValue(kOriginYKey, origin.y());
}

} // namespace nubbo
