// The picture item: frames play by the clock and restart on a change of state, a custom picture is shown
// still (for the motion loop) even where frames exist, and without any art the paw is drawn.
#include "ManualTime.h"
#include "petart/PetImageStore.h"
#include "pet/qml/PetPictureItem.h"
#include "pet/qml/PetQml.h"

#include <QDir>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace nubbo {
namespace {

void writePng(const QString& path, QColor color) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(QSize(64, 64), QImage::Format_ARGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(path, "PNG"));
}

class PetPictureItemTest : public ::testing::Test {
protected:
    PetPictureItemTest() {
        PetImageStore::setShared(&store);
        PetPictureItem::setClock(&clock);
        installPetQml(engine);
        window.setColor(Qt::transparent);
        window.resize(200, 200);
        for (int i = 0; i < 4; ++i)
            writePng(resources() + QStringLiteral("/PetFrames/idle/%1.png").arg(i), QColor(10 * i, 0, 0));
        writePng(resources() + "/PetFrames/coding/1.png", Qt::green);
        writePng(resources() + "/PetFrames/coding/2.png", Qt::green);
        writePng(dir.filePath("custom.png"), Qt::blue);
    }
    ~PetPictureItemTest() override {
        delete item;
        PetPictureItem::setClock(nullptr);
        PetImageStore::setShared(nullptr);
    }

    QString resources() const { return dir.filePath(QStringLiteral("Resources")); }

    QQuickItem* create(const QString& properties) {
        QQmlComponent component(&engine);
        component.setData(("import Nubbo.Pet\nPetPictureItem { width: 150; height: 150; " + properties + " }")
                              .toUtf8(),
                          QUrl());
        item = qobject_cast<QQuickItem*>(component.create());
        if (!item) {
            for (const QQmlError& error : component.errors())
                ADD_FAILURE() << error.toString().toStdString();
            return nullptr;
        }
        item->setParentItem(window.contentItem());
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        settle();
        return item;
    }
    // Lets the art being loaded arrive.
    static void settle() { PetImageStore::shared().drain(); }
    int frame() const { return item->property("frameIndex").toInt(); }
    QImage grab() const {
        const auto result = item->grabToImage();
        bool ready = false;
        QObject::connect(result.data(), &QQuickItemGrabResult::ready, [&ready] { ready = true; });
        if (!QTest::qWaitFor([&ready] { return ready; }, 5000))
            return {};
        return result->image();
    }

    QTemporaryDir dir;
    PetImageStore store{resources()};
    fakes::ManualClock clock;
    QQmlEngine engine;
    QQuickWindow window;
    QQuickItem* item = nullptr;
};

TEST_F(PetPictureItemTest, FramesFollowTheClockAndRestartWithTheState) {
    ASSERT_TRUE(create(QStringLiteral("petState: \"idle\"")));
    EXPECT_TRUE(item->property("animatesByFrames").toBool());
    EXPECT_EQ(item->property("frameCount").toInt(), 4);
    EXPECT_TRUE(item->property("ticking").toBool());
    // idle plays at 4 frames per second.
    clock.set(clock.now() + 0.26);
    QMetaObject::invokeMethod(item, "advanceFrame");
    EXPECT_EQ(frame(), 1);
    clock.set(clock.now() + 0.75);
    QMetaObject::invokeMethod(item, "advanceFrame");
    EXPECT_EQ(frame(), 0);  // 1.01 s: frame 4 wraps to 0

    clock.set(clock.now() + 0.3);
    QMetaObject::invokeMethod(item, "advanceFrame");
    ASSERT_EQ(frame(), 1);
    item->setProperty("petState", QStringLiteral("coding"));
    settle();
    EXPECT_EQ(frame(), 0);
    EXPECT_EQ(item->property("frameCount").toInt(), 2);
    // Hidden, nothing ticks.
    item->setVisible(false);
    EXPECT_FALSE(item->property("ticking").toBool());
}

TEST_F(PetPictureItemTest, CustomPictureIsStillEvenWhereFramesExist) {
    ASSERT_TRUE(create("petState: \"idle\"; customPath: \"" + dir.filePath("custom.png") + "\""));
    EXPECT_FALSE(item->property("animatesByFrames").toBool());
    EXPECT_FALSE(item->property("ticking").toBool());
    EXPECT_FALSE(item->property("showsSymbol").toBool());
    EXPECT_EQ(item->property("decodeSize").toSize(), QSize(150, 150));
    EXPECT_EQ(grab().pixelColor(75, 140), QColor(Qt::blue));
}

// Frames are held cut to their visible pixels; the cut is drawn exactly where it stood in the whole frame.
TEST_F(PetPictureItemTest, ATrimmedFrameIsDrawnWhereItStood) {
    QImage frame(QSize(64, 64), QImage::Format_ARGB32);
    frame.fill(Qt::transparent);
    for (int y = 40; y < 56; ++y)
        for (int x = 40; x < 56; ++x)
            frame.setPixelColor(x, y, Qt::green);
    QDir().mkpath(resources() + "/PetFrames/sleeping");
    ASSERT_TRUE(frame.save(resources() + "/PetFrames/sleeping/1.png", "PNG"));

    ASSERT_TRUE(create(QStringLiteral("petState: \"sleeping\"")));
    const QImage held = store.frameImages(QStringLiteral("sleeping"), std::nullopt, QSize(150, 150)).value(0);
    EXPECT_LT(held.width() * held.height(), 50 * 50);
    EXPECT_EQ(PetImageStore::canvasSize(held), QSize(150, 150));
    const QImage image = grab();
    // 40..56 of 64 is 94..131 of 150.
    EXPECT_EQ(image.pixelColor(112, 112), QColor(Qt::green));
    EXPECT_EQ(qAlpha(image.pixel(88, 112)), 0);
    EXPECT_EQ(qAlpha(image.pixel(112, 137)), 0);
}

TEST_F(PetPictureItemTest, WithoutArtThePawIsDrawn) {
    PetImageStore empty{QString()};
    PetImageStore::setShared(&empty);
    ASSERT_TRUE(create(QStringLiteral("petState: \"thinking\"; symbolColor: \"#ff0000\"")));
    EXPECT_TRUE(item->property("showsSymbol").toBool());
    const QImage image = grab();
    // The paw's pads cover the middle; the corners stay clear.
    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            painted += qAlpha(image.pixel(x, y)) > 200;
    EXPECT_GT(painted, 150 * 150 / 8);
    EXPECT_EQ(qAlpha(image.pixel(2, 2)), 0);
    PetImageStore::setShared(&store);
}

} // namespace
} // namespace nubbo
