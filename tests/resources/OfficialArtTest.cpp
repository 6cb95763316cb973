// What the app looks up, in the bundle the build made: every picture and frame folder the states name.
#include "petart/PetImageStore.h"
#include "model/PetState.h"

#include <QDir>
#include <QImage>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace nubbo;

namespace {

const QString kResources = QStringLiteral(NUBBO_BUNDLE_RESOURCES);
constexpr int kCanvas = 480;

QStringList frameFiles(const QString& folder) {
    return QDir(kResources + QStringLiteral("/PetFrames/") + folder).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
}

// The lowest row holding a mostly opaque pixel, and the box of such pixels.
struct Extent { int bottom = -1; QRect box; };
Extent opaqueExtent(const QImage& image) {
    Extent e;
    int left = image.width(), right = -1, top = image.height();
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(row[x]) >= 128) {
                left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), e.bottom = y;
            }
    }
    e.box = QRect(QPoint(left, top), QPoint(right, e.bottom));
    return e;
}

} // namespace

TEST(OfficialArt, EveryStateFindsItsPictureAndFramesAtTheSizesTheViewsDraw) {
    PetImageStore store(kResources);
    const QSize drawn(150, 150);
    for (PetState state : kAllPetStates) {
        SCOPED_TRACE(rawValue(state).toStdString());
        const QImage still = store.officialImage(imageName(state), {});
        EXPECT_EQ(still.size(), QSize(kCanvas, kCanvas));
        const QList<QImage> frames = store.frameImages(frameAnimationName(state), std::nullopt, drawn);
        ASSERT_GE(frames.size(), 6);
        for (const QImage& frame : frames)
            EXPECT_EQ(PetImageStore::canvasSize(frame), drawn);

        // Plain name order is play order: the numbers are zero-padded and run from 0 without a gap.
        const QStringList names = frameFiles(frameAnimationName(state));
        static const QRegularExpression numbered(QStringLiteral("^frame-(\\d+)\\.png$"));
        for (qsizetype i = 0; i < names.size(); ++i)
            EXPECT_EQ(numbered.match(names[i]).captured(1).toInt(), i) << names[i].toStdString();
    }
    EXPECT_FALSE(store.officialImage(QStringLiteral("nubbo_default"), {}).isNull());

    EXPECT_EQ(QImage(kResources + QStringLiteral("/MenuBarIcon.png")).size(), QSize(18, 18));
    EXPECT_EQ(QImage(kResources + QStringLiteral("/MenuBarIcon@2x.png")).size(), QSize(36, 36));
    for (int side : {16, 24, 32, 48, 64, 128, 256, 512}) {
        const QString icon = QStringLiteral("%1/icons/hicolor/%2x%2/apps/dev.nubbo.Nubbo.png").arg(kResources).arg(side);
        EXPECT_EQ(QImage(icon).size(), QSize(side, side)) << icon.toStdString();
    }
    EXPECT_FALSE(QImage(kResources + QStringLiteral("/icons/hicolor/scalable/apps/dev.nubbo.Nubbo.svg")).isNull());
    EXPECT_FALSE(QImage(kResources + QStringLiteral("/Mascot.png")).isNull());
    EXPECT_FALSE(QImage(kResources + QStringLiteral("/AppLogo.png")).isNull());
}

// The view aligns every picture to the bottom, so a figure standing higher or lower in one state would make
// the pet jump when the state changes; and nothing may reach past the canvas's margin.
TEST(OfficialArt, EveryPictureStandsOnOneBaselineInsideTheMargin) {
    QStringList standing;   // stills, and the first frame of every loop (each loop starts on the ground)
    for (const QString& name : QDir(kResources + QStringLiteral("/PetImages")).entryList({QStringLiteral("*.png")}))
        standing.append(kResources + QStringLiteral("/PetImages/") + name);
    QStringList all = standing;
    for (const QString& folder : QDir(kResources + QStringLiteral("/PetFrames")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QStringList names = frameFiles(folder);
        ASSERT_FALSE(names.isEmpty()) << folder.toStdString();
        standing.append(kResources + QStringLiteral("/PetFrames/%1/%2").arg(folder, names.first()));
        for (const QString& name : names)
            all.append(kResources + QStringLiteral("/PetFrames/%1/%2").arg(folder, name));
    }
    ASSERT_GE(standing.size(), 13 + 24);

    const int baseline = opaqueExtent(QImage(kResources + QStringLiteral("/PetImages/idle.png"))).bottom;
    EXPECT_NEAR(baseline, kCanvas * 0.94, 8);
    for (const QString& path : standing)
        EXPECT_NEAR(opaqueExtent(QImage(path)).bottom, baseline, 3) << path.toStdString();

    const QRect inside(QPoint(int(kCanvas * 0.04), int(kCanvas * 0.04)), QPoint(int(kCanvas * 0.96), int(kCanvas * 0.96)));
    for (const QString& path : all) {
        const QRect box = opaqueExtent(QImage(path)).box;
        EXPECT_TRUE(inside.contains(box)) << path.toStdString() << ": " << box.left() << "," << box.top() << " to "
                                          << box.right() << "," << box.bottom();
    }
}
