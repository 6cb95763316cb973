// Gestures on the pet: the drag threshold and its hand-over to the window controller, single against double
// clicks, the shy reaction on hover, and the context menu popping up.
#include "pet/PetInteraction.h"

#include "FakePetPanel.h"
#include "ManualTime.h"
#include "PetWorld.h"
#include "pet/PetMenuController.h"
#include "pet/PetViewModel.h"
#include "pet/PetWindowController.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QUuid>

#include <gtest/gtest.h>

namespace nubbo {
namespace {

constexpr double kDoubleClick = 0.4;

class PetInteractionTest : public ::testing::Test, protected fakes::PetWorld {
protected:
    void click() {
        interaction.mouseDown(50, 50);
        interaction.mouseUp();
    }

    fakes::FakePetPanel panel;
    PetWindowController controller{panel, settings, preferences, model, scheduler, clock};
    PetMenuController menu{model, settings};
    PetInteraction interaction{model, settings, menu, scheduler, clock, kDoubleClick};
};

TEST_F(PetInteractionTest, FourPointsMakeADragThatHandsOverAndIsNeverAClick) {
    settings.setSingleClickBehavior(SingleClickBehavior::toggleBubble);
    interaction.mouseDown(10, 10);
    interaction.mouseDragged(13.9, 10);
    interaction.mouseUp();
    EXPECT_FALSE(interaction.isDragging());
    EXPECT_FALSE(model.bubbleVisible());
    scheduler.advance(kDoubleClick);
    EXPECT_TRUE(model.bubbleVisible());
    model.toggleBubble();

    panel.position = QPointF(200, 200);
    panel.pointer = QPointF(500, 300);
    interaction.mouseDown(10, 10);
    interaction.mouseDragged(14, 10);
    EXPECT_TRUE(interaction.isDragging());
    EXPECT_TRUE(controller.buttonDown());
    EXPECT_EQ(model.state(), PetState::dragging);
    panel.pointer = QPointF(600, 250);
    interaction.mouseDragged(60, 10);
    EXPECT_EQ(controller.targetOrigin(), QPointF(300, 150));

    interaction.mouseUp();
    EXPECT_FALSE(interaction.hasPendingSingleClick());
    EXPECT_FALSE(controller.buttonDown());
    EXPECT_TRUE(controller.settling());
    EXPECT_EQ(model.state(), PetState::reactHappy); // the view model's landing
    scheduler.advance(5);
    EXPECT_FALSE(model.bubbleVisible());
    EXPECT_EQ(model.state(), PetState::idle);
}

TEST_F(PetInteractionTest, SecondClickCancelsTheFirstAndRunsTheDoubleClickBehaviour) {
    settings.setSingleClickBehavior(SingleClickBehavior::toggleBubble);
    settings.setDoubleClickBehavior(DoubleClickBehavior::none);
    click();
    scheduler.advance(kDoubleClick / 2);
    click();
    EXPECT_FALSE(interaction.hasPendingSingleClick());
    scheduler.advance(5);
    EXPECT_FALSE(model.bubbleVisible());
    EXPECT_EQ(model.state(), PetState::idle);
    EXPECT_EQ(scheduler.pending(), 0u);

    settings.setDoubleClickBehavior(DoubleClickBehavior::petReaction);
    click();
    click();
    ASSERT_TRUE(model.reactionActive());
    const QString line = model.bubbleMap().value("text").toString();
    scheduler.advance(kDoubleClick + 0.1);
    // A stray single click would have hidden the reaction's line.
    EXPECT_TRUE(model.bubbleVisible());
    EXPECT_EQ(model.bubbleMap().value("text").toString(), line);
}

TEST_F(PetInteractionTest, QuickPanelOpensThePanelAndWithoutOneTogglesTheBubble) {
    settings.setSingleClickBehavior(SingleClickBehavior::quickPanel);
    click();
    scheduler.advance(kDoubleClick);
    EXPECT_TRUE(model.bubbleVisible());
    EXPECT_EQ(model.bubbleMap().value("text").toString(), model.neutralStatusText());
    click();
    scheduler.advance(kDoubleClick);
    EXPECT_FALSE(model.bubbleVisible());

    settings.setSingleClickBehavior(SingleClickBehavior::none);
    click();
    scheduler.advance(kDoubleClick);
    EXPECT_FALSE(model.bubbleVisible());
    int panelToggles = 0;
    interaction.setQuickPanelHandler([&] { ++panelToggles; });
    settings.setSingleClickBehavior(SingleClickBehavior::quickPanel);
    click();
    scheduler.advance(kDoubleClick);
    EXPECT_EQ(panelToggles, 1);
    EXPECT_FALSE(model.bubbleVisible());
    // A double click is never also a single click.
    click();
    click();
    scheduler.advance(kDoubleClick);
    EXPECT_EQ(panelToggles, 1);
}

TEST_F(PetInteractionTest, HoverMakesACalmPetShyAtMostOnceInFiveSeconds) {
    interaction.pointerEntered();
    EXPECT_EQ(model.state(), PetState::reactShy);
    EXPECT_FALSE(model.bubbleVisible());
    scheduler.advance(0.6);
    EXPECT_EQ(model.state(), PetState::idle);

    scheduler.advance(3);
    interaction.pointerEntered();
    EXPECT_EQ(model.state(), PetState::idle);
    scheduler.advance(1.5);
    interaction.pointerEntered();
    EXPECT_EQ(model.state(), PetState::reactShy);
    scheduler.advance(10);

    model.setState(PetState::thinking);
    interaction.pointerEntered();
    EXPECT_EQ(model.state(), PetState::thinking);

    // Not over another reaction either.
    model.setState(PetState::coffee);
    model.petReaction();
    const PetState reaction = model.state();
    interaction.pointerEntered();
    EXPECT_EQ(model.state(), reaction);
}

TEST_F(PetInteractionTest, RightClickPopsUpAFreshMenuThatDeletesItselfWhenClosed) {
    interaction.contextMenu(300, 200);
    QPointer<QMenu> shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->actions().size(), 23);
    shown->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(shown);
}

} // namespace
} // namespace nubbo
