// The art look-ups: the still-picture chain, frame folders in plain file-name order, pack frames with the
// official fallback, the cache and its rules, and decoding at the drawn size.
#include "petart/PetImageStore.h"

#include "FifoBound.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

#include <gtest/gtest.h>

namespace nubbo {
namespace {

// A picture whose colour tells which file it came from.
void writePng(const QString& path, QColor color, QSize size = QSize(48, 48)) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QColor colourOf(const QImage& image) { return image.isNull() ? QColor() : image.pixelColor(0, 0); }

QList<int> reds(const QList<QImage>& frames) {
    QList<int> out;
    for (const QImage& frame : frames)
        out.append(frame.pixelColor(0, 0).red());
    return out;
}

class PetImageStoreTest : public ::testing::Test {
protected:
    QString resources() const { return root.filePath(QStringLiteral("Resources")); }
    QString pack() const { return root.filePath(QStringLiteral("Pack")); }

    QTemporaryDir root;
    PetImageStore store{resources()};
    const QSize size{48, 48};
};

TEST_F(PetImageStoreTest, StillPictureComesFromTheFirstSourceThatDecodes) {
    writePng(resources() + "/PetImages/coding.png", Qt::red);
    writePng(resources() + "/PetImages/nubbo_default.png", Qt::blue);
    writePng(pack() + "/images/idle.png", Qt::green);
    writePng(root.filePath("custom.png"), Qt::yellow);
    writeBytes(root.filePath("broken.png"), "not a picture");

    EXPECT_EQ(colourOf(store.stillImage(PetState::coding, root.filePath("custom.png"), pack(), size)),
              QColor(Qt::yellow));
    // An undecodable custom file falls through to the pack, then to the official art, then the default;
    // so does a FIFO, which is never opened.
    EXPECT_EQ(colourOf(store.stillImage(PetState::idle, root.filePath("broken.png"), pack(), size)),
              QColor(Qt::green));
    ASSERT_TRUE(testing::makeFifo(root.filePath("fifo.png")));
    EXPECT_TRUE(testing::finishesWithin(std::chrono::seconds(10), root.filePath("fifo.png"), [&] {
        EXPECT_EQ(colourOf(store.stillImage(PetState::idle, root.filePath("fifo.png"), pack(), size)),
                  QColor(Qt::green));
    }));
    EXPECT_EQ(colourOf(store.stillImage(PetState::running, std::nullopt, pack(), size)), QColor(Qt::red));
    EXPECT_EQ(colourOf(store.stillImage(PetState::thinking, std::nullopt, pack(), size)), QColor(Qt::blue));
    // Without any art there is nothing, and the view draws the paw.
    EXPECT_TRUE(PetImageStore(QString()).stillImage(PetState::idle, std::nullopt, std::nullopt, size).isNull());
}

TEST_F(PetImageStoreTest, FramesPlayInPlainNameOrderAndSkipWhatIsNotAFrame) {
    const QString dir = root.filePath("frames");
    writePng(dir + "/1.png", QColor(1, 0, 0));
    writePng(dir + "/2.png", QColor(2, 0, 0));
    writePng(dir + "/10.png", QColor(10, 0, 0));
    writePng(dir + "/3.PNG", QColor(3, 0, 0));
    writePng(dir + "/.4.png", QColor(4, 0, 0));
    writePng(dir + "/5.jpg", QColor(5, 0, 0));
    writeBytes(dir + "/0.png", "truncated");
    EXPECT_EQ(reds(PetImageStore::loadFrames(dir, size)), (QList<int>{1, 10, 2, 3}));
    EXPECT_TRUE(PetImageStore::loadFrames(root.filePath("missing"), size).isEmpty());
}

TEST_F(PetImageStoreTest, PackFramesFallBackToOfficialPerFolderAndStayCached) {
    writePng(pack() + "/frames/idle/01.png", QColor(11, 0, 0));
    writePng(pack() + "/frames/idle/02.png", QColor(12, 0, 0));
    writePng(resources() + "/PetFrames/idle/01.png", QColor(21, 0, 0));
    writePng(resources() + "/PetFrames/coding/01.png", QColor(31, 0, 0));

    EXPECT_EQ(reds(store.frameImages("idle", pack(), size)), (QList<int>{11, 12}));
    EXPECT_EQ(reds(store.frameImages("coding", pack(), size)), (QList<int>{31}));
    EXPECT_EQ(reds(store.frameImages("idle", std::nullopt, size)), (QList<int>{21}));

    // Once loaded, a key never reads the disk again.
    QDir(pack() + "/frames/idle").removeRecursively();
    EXPECT_EQ(reds(store.frameImages("idle", pack(), size)), (QList<int>{11, 12}));
    // An empty pack folder is not remembered, so frames added later are found; an empty official one is.
    EXPECT_TRUE(store.frameImages("walk", pack(), size).isEmpty());
    writePng(pack() + "/frames/walk/01.png", QColor(41, 0, 0));
    writePng(resources() + "/PetFrames/walk/01.png", QColor(51, 0, 0));
    EXPECT_EQ(reds(store.frameImages("walk", pack(), size)), (QList<int>{41}));
    EXPECT_TRUE(store.frameImages("walk", std::nullopt, size).isEmpty());
}

TEST_F(PetImageStoreTest, ArtIsDecodedAtTheDrawnSizeWithItsAspectKept) {
    writePng(resources() + "/PetFrames/idle/01.png", Qt::red, QSize(480, 480));
    writePng(resources() + "/PetImages/idle.png", Qt::red, QSize(480, 240));
    EXPECT_EQ(store.frameImages("idle", std::nullopt, QSize(150, 150)).value(0).size(), QSize(150, 150));
    // Another drawn size is another cache entry, decoded afresh.
    EXPECT_EQ(store.frameImages("idle", std::nullopt, QSize(300, 300)).value(0).size(), QSize(300, 300));
    EXPECT_EQ(store.cachedFrameLists(), 2);
    EXPECT_EQ(store.stillImage(PetState::idle, std::nullopt, std::nullopt, QSize(150, 150)).size(),
              QSize(150, 75));
}

// The views' path: decoded on the worker, handed back through the event loop, then served from the cache.
TEST_F(PetImageStoreTest, LoadsArriveThroughTheEventLoopAndOnlyToReceiversStillThere) {
    writePng(resources() + "/PetFrames/idle/01.png", QColor(21, 0, 0));
    writePng(resources() + "/PetImages/thinking.png", QColor(22, 0, 0));
    const PetArtRequest idle{PetState::idle, std::nullopt, std::nullopt, size};
    const PetArtRequest thinking{PetState::thinking, std::nullopt, std::nullopt, size};
    EXPECT_FALSE(store.cachedArt(idle));

    QObject receiver;
    auto gone = std::make_unique<QObject>();
    QList<PetArt> arrived;
    store.load(idle, &receiver, [&](const PetArt& art) { arrived.append(art); });
    store.load(thinking, &receiver, [&](const PetArt& art) { arrived.append(art); });
    store.load(idle, gone.get(), [&](const PetArt& art) { arrived.append(art); });
    gone.reset();
    // Nothing is decoded or delivered on the caller's turn.
    EXPECT_TRUE(arrived.isEmpty());
    store.drain();
    ASSERT_EQ(arrived.size(), 2);
    EXPECT_EQ(reds(arrived[0].frames), (QList<int>{21}));
    EXPECT_EQ(colourOf(arrived[1].still), QColor(22, 0, 0));
    ASSERT_TRUE(store.cachedArt(idle));
    EXPECT_EQ(reds(store.cachedArt(idle)->frames), (QList<int>{21}));
}

// Each drawn size is its own entry; a budget of two lists' worth keeps the two used last.
TEST_F(PetImageStoreTest, TheFrameCacheKeepsTheListsUsedLastWithinItsBudget) {
    for (const char* loop : {"idle", "coding", "thinking"})
        writePng(resources() + "/PetFrames/" + loop + "/01.png", Qt::red);
    PetImageStore small(resources(), 2 * (48 * 48 * 4 + 1024));
    small.frameImages("idle", std::nullopt, size);
    small.frameImages("coding", std::nullopt, size);
    small.frameImages("idle", std::nullopt, size);  // used again: coding is now the oldest
    small.frameImages("thinking", std::nullopt, size);
    EXPECT_EQ(small.cachedFrameLists(), 2);
    EXPECT_LE(small.cachedBytes(), 2 * (48 * 48 * 4 + 1024));
    EXPECT_TRUE(small.cachedArt({PetState::idle, std::nullopt, std::nullopt, size}));
    EXPECT_FALSE(small.cachedArt({PetState::coding, std::nullopt, std::nullopt, size}));
    // A list larger than the whole budget is still kept while it is the one in use.
    PetImageStore tiny(resources(), 1);
    EXPECT_EQ(tiny.frameImages("idle", std::nullopt, size).size(), 1);
    EXPECT_EQ(tiny.cachedFrameLists(), 1);
}

} // namespace
} // namespace nubbo
