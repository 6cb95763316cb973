// The panel's placement, the drag spring with its edge bumps, the edge snap and the slide animations, on a
// fake panel and the manual clock.
#include "pet/PetWindowController.h"

#include "FakePetPanel.h"
#include "ManualTime.h"
#include "PetWorld.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <QUuid>

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

QT_BEGIN_NAMESPACE
static void PrintTo(const QPointF& point, std::ostream* out) { *out << '(' << point.x() << ", " << point.y() << ')'; }
QT_END_NAMESPACE

namespace nubbo {
namespace {

using Controller = PetWindowController;

// The fake screen's default spot: 24 points in from the available area's right and bottom.
const QPointF kDefault(1280 - 280 - 24, 800 - 360 - 24);

class PetWindowControllerTest : public ::testing::Test, protected fakes::PetWorld {
protected:
    PetWindowControllerTest() {
        QObject::connect(&model, &PetViewModel::bumpTriggerChanged,
                         [this] { bumps.push_back(*model.bumpDirection()); });
    }

    void press(const QPointF& pointer) {
        panel.pointer = pointer;
        controller.beginDrag();
    }
    void pointerTo(const QPointF& pointer) {
        panel.pointer = pointer;
        controller.updateDrag();
    }
    void tick() { scheduler.advance(Controller::kFollowInterval); }
    void settle() {
        for (int i = 0; i < 2000 && controller.following(); ++i)
            tick();
        ASSERT_FALSE(controller.following());
    }
    std::optional<QPointF> saved() const {
        if (!preferences.contains(Controller::kOriginXKey))
            return std::nullopt;
        return QPointF(preferences.value(Controller::kOriginXKey).toDouble(),
                       preferences.value(Controller::kOriginYKey).toDouble());
    }
    // Drags the panel from `from` so that the spring's target is `to`, releases it and lets it come to rest.
    void dragAndRelease(const QPointF& from, const QPointF& to) {
        panel.position = from;
        press(QPointF(600, 400));
        pointerTo(QPointF(600, 400) + (to - from));
        controller.endDrag();
        settle();
    }

    fakes::FakePetPanel panel;
    Controller controller{panel, settings, preferences, model, scheduler, clock};
    std::vector<BumpDirection> bumps;
};

TEST_F(PetWindowControllerTest, ShowPlacesThePanelAndFollowsTheWindowSettings) {
    EXPECT_EQ(Controller::shared(), &controller);
    settings.setAlwaysOnTop(true);
    settings.setPauseNubbo(false);
    controller.show();
    EXPECT_EQ(panel.position, kDefault);
    EXPECT_EQ(panel.shown, 1);
    EXPECT_TRUE(panel.alwaysOnTop);
    // The pause switch's current value is not announced.
    EXPECT_FALSE(model.bubbleVisible());

    settings.setAlwaysOnTop(false);
    EXPECT_FALSE(panel.alwaysOnTop);

    settings.setPauseNubbo(true);
    EXPECT_EQ(model.state(), PetState::sleeping);
    EXPECT_EQ(model.bubbleMap().value("text").toString(), QStringLiteral("Paused. Zzz..."));
    scheduler.advance(3);
    EXPECT_FALSE(model.bubbleVisible());
    settings.setPauseNubbo(false);
    EXPECT_EQ(model.state(), PetState::idle);
    EXPECT_EQ(model.bubbleMap().value("text").toString(), QStringLiteral("Nubbo is back."));
    EXPECT_TRUE(model.bubbleVisible());
}

TEST_F(PetWindowControllerTest, SavedSpotCountsOnlyWhileThePanelWouldOverlapAScreen) {
    preferences.setValue(Controller::kOriginXKey, 100.0);
    preferences.setValue(Controller::kOriginYKey, 200.0);
    EXPECT_EQ(controller.restoredOrigin(), QPointF(100, 200));
    // Partly off the screen still shows a part of the pet.
    preferences.setValue(Controller::kOriginXKey, 1100.0);
    EXPECT_EQ(controller.restoredOrigin(), QPointF(1100, 200));
    // Saved on a second screen that has been unplugged since.
    preferences.setValue(Controller::kOriginXKey, 1500.0);
    EXPECT_EQ(controller.restoredOrigin(), kDefault);
    preferences.setValue(Controller::kOriginYKey, QStringLiteral("garbage"));
    preferences.setValue(Controller::kOriginXKey, 100.0);
    EXPECT_EQ(controller.restoredOrigin(), kDefault);
    panel.screenList.clear();
    EXPECT_EQ(controller.restoredOrigin(), QPointF(100, 100));
}

TEST_F(PetWindowControllerTest, EdgeBumpsOnArrivalOnlyAndNeverTwiceWithinTheCooldown) {
    panel.position = QPointF(400, 200);
    press(QPointF(500, 300));
    pointerTo(QPointF(50, 300)); // target x −50: beyond the left edge
    EXPECT_EQ(model.facing(), -1.0);

    // The spring overshoots: the panel touches the edge, bounces off and touches it again within the
    // cooldown, which must not bump a second time.
    bool bouncedOff = false;
    for (int i = 0; i < 90; ++i) {
        tick();
        if (!bumps.empty() && panel.position.x() > 1)
            bouncedOff = true;
    }
    EXPECT_TRUE(bouncedOff);
    EXPECT_EQ(bumps, std::vector<BumpDirection>{BumpDirection::left});

    scheduler.advance(2); // held against the edge
    EXPECT_EQ(bumps.size(), 1u);

    pointerTo(QPointF(350, 300)); // away from the edge, target x 250
    EXPECT_EQ(model.facing(), 1.0);
    pointerTo(QPointF(349.6, 300)); // jitter leaves the facing alone
    EXPECT_EQ(model.facing(), 1.0);
    scheduler.advance(1);
    EXPECT_EQ(bumps.size(), 1u);

    pointerTo(QPointF(50, 300));
    scheduler.advance(1);
    EXPECT_EQ(bumps, (std::vector<BumpDirection>{BumpDirection::left, BumpDirection::left}));

    controller.endDrag();
    settle();

    // The bottom counts only a point beyond the available area, unlike the other edges.
    const double flush = 800 - 360;
    for (const double y : {flush, flush + 1}) {
        scheduler.advance(1);
        panel.position = QPointF(400, y);
        press(QPointF(500, 300));
        tick();
        controller.endDrag();
        settle();
    }
    EXPECT_EQ(bumps, (std::vector<BumpDirection>{BumpDirection::left, BumpDirection::left, BumpDirection::bottom}));
}

TEST_F(PetWindowControllerTest, ReleasedNearAnEdgeSnapsToTwelvePointsFromIt) {
    settings.setEdgeSnap(true);
    // 30 points from the right edge.
    dragAndRelease(QPointF(500, 300), QPointF(1280 - 30 - 280, 300));
    EXPECT_EQ(panel.position, QPointF(970, 300));
    EXPECT_EQ(saved(), QPointF(970, 300)); // the release spot first
    EXPECT_FALSE(controller.settling());
    EXPECT_FALSE(controller.targetOrigin());
    ASSERT_TRUE(controller.animating());
    scheduler.advance(0.17);
    EXPECT_GT(panel.position.x(), 970);
    EXPECT_LT(panel.position.x(), 988);
    scheduler.advance(0.03);
    EXPECT_FALSE(controller.animating());
    EXPECT_EQ(panel.position, QPointF(1280 - 12 - 280, 300));
    EXPECT_EQ(saved(), QPointF(988, 300));

    // 40 points away stays put.
    dragAndRelease(QPointF(500, 300), QPointF(1280 - 40 - 280, 300));
    EXPECT_FALSE(controller.animating());
    EXPECT_EQ(panel.position, QPointF(960, 300));
    EXPECT_EQ(saved(), QPointF(960, 300));
}

TEST_F(PetWindowControllerTest, ResetSlidesHomeAndAHalfPointAwayArrivesAtOnce) {
    panel.position = QPointF(100, 100);
    controller.resetPosition();
    scheduler.advance(0.29);
    EXPECT_NE(panel.position, kDefault);
    EXPECT_FALSE(saved());
    scheduler.advance(0.05);
    EXPECT_EQ(panel.position, kDefault);
    EXPECT_EQ(saved(), kDefault);

    preferences.values.clear();
    panel.position = kDefault + QPointF(0.3, 0.2);
    controller.resetPosition();
    EXPECT_FALSE(controller.animating());
    EXPECT_EQ(scheduler.pending(), 0u);
    EXPECT_EQ(panel.position, kDefault);
    EXPECT_EQ(saved(), kDefault);
}

TEST_F(PetWindowControllerTest, PanelLeftOnNoScreenComesBackWhenTheScreensChange) {
    const PetScreen second{QRectF(1280, 0, 1920, 1080), QRectF(1280, 0, 1920, 1080)};
    panel.screenList.append(second);
    preferences.setValue(Controller::kOriginXKey, 1500.0);
    preferences.setValue(Controller::kOriginYKey, 200.0);
    controller.show();
    EXPECT_EQ(panel.position, QPointF(1500, 200));

    // Still on a screen, or no screens for a moment during a reconfiguration: it stays.
    const int moves = panel.moves;
    controller.screensChanged();
    panel.screenList.clear();
    controller.screensChanged();
    EXPECT_EQ(panel.moves, moves);
    EXPECT_EQ(saved(), QPointF(1500, 200));

    // The second screen is gone, and the pet was sliding there.
    panel.screenList = {PetScreen{QRectF(0, 0, 1280, 800), QRectF(0, 24, 1280, 776)}};
    controller.animate(QPointF(1600, 300), 0.3, [] {});
    controller.screensChanged();
    EXPECT_EQ(panel.position, kDefault);
    EXPECT_EQ(saved(), kDefault);
    scheduler.advance(1);
    EXPECT_EQ(panel.position, kDefault);
}

} // namespace
} // namespace nubbo
