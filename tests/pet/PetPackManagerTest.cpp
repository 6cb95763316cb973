// Pet pack import: where the art is found in the archive, what the pack is called, replacing a pack, and
// archives built to write outside the working folder or to fill the disk.
#include "petart/PetPackManager.h"

#include "TestZip.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace nubbo {
namespace {

using testing::folder;
using testing::pngBytes;
using testing::symlink;
using testing::tree;
using testing::ZipEntry;

class PetPackManagerTest : public ::testing::Test {
protected:
    // Small limits, so the size and count bounds are reached with small archives.
    static PackExtractor::Limits smallLimits() {
        PackExtractor::Limits limits;
        limits.maxEntryBytes = 4096;
        limits.maxTotalBytes = 8192;
        limits.maxEntries = 50;
        return limits;
    }

    QString zip(const QString& name, const std::vector<ZipEntry>& entries) {
        const QString path = dir.path() + u'/' + name;
        EXPECT_TRUE(testing::writeZip(path, entries)) << name.toStdString();
        return path;
    }
    static ZipEntry frame(const QString& name) { return {name, pngBytes()}; }
    static ZipEntry manifest(const QString& name, const QByteArray& json) { return {name, json}; }

    QTemporaryDir dir;
    QString packs = dir.path() + QStringLiteral("/packs");
    QString temporary = dir.path() + QStringLiteral("/tmp");
    QStringList log;
    int uuids = 0;
    PetPackManager manager{packs, temporary,
                           [this] {
                               return QUuid::fromString(QStringLiteral("00000000-0000-0000-0000-%1")
                                                            .arg(++uuids, 12, 10, QChar(u'0')));
                           },
                           [this](const QString& line) { log << line; }, smallLimits()};
};

TEST_F(PetPackManagerTest, AWrapperFolderIsUnwrappedAndNamedByItsManifest) {
    // One folder at the top (a hidden one beside it does not count): its content is the pack.
    const QString archive =
        zip("wrapped.zip", {folder("Wrapper/"), manifest("Wrapper/manifest.json", R"({"name": "My/Pet ", "version": "1"})"),
                            frame("Wrapper/frames/idle/001.png"), frame("Wrapper/images/idle.png"),
                            {"Wrapper/notes.txt", "hello"}, {".hidden/x", "x"}});
    const PackInstallResult result = manager.install(archive);

    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.path(), packs + QStringLiteral("/My-Pet"));
    EXPECT_EQ(tree(packs), QStringList({"My-Pet", "My-Pet/frames", "My-Pet/frames/idle", "My-Pet/frames/idle/001.png",
                                        "My-Pet/images", "My-Pet/images/idle.png", "My-Pet/manifest.json",
                                        "My-Pet/notes.txt"}));
    EXPECT_TRUE(tree(temporary).isEmpty());
    EXPECT_EQ(log, QStringList{"pet pack installed: My-Pet"});
}

TEST_F(PetPackManagerTest, TwoTopLevelFoldersWithoutArtAreNoPack) {
    // An archiver's metadata folder beside the real one counts as a second folder.
    const PackInstallResult result =
        manager.install(zip("two.zip", {frame("Pet/frames/idle/001.png"), {"__MACOSX/Pet/._001.png", "x"}}));

    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), PackError::invalidStructure);
    EXPECT_EQ(description(result.error(), Language::en), "The pack has no images/ or frames/ folder.");
    EXPECT_TRUE(tree(packs).isEmpty());
    EXPECT_TRUE(tree(temporary).isEmpty());
}

TEST_F(PetPackManagerTest, TheNameComesFromTheManifestThenTheArchiveThenPack) {
    struct Case {
        QByteArray manifest; // empty: no manifest.json
        QString archive;
        QString name;
    };
    const Case cases[] = {
        {R"({"name": " My/Pet \n"})", "a.zip", "My-Pet"},
        {R"({"author": "me"})", "Fox Pack.v2.zip", "Fox Pack.v2"},   // no name: the archive's
        {R"({"name": "Fox", "version": 2})", "Owl.zip", "Owl"},       // a mistyped field spoils the manifest
        {"not json", "Owl.zip", "Owl"},
        {"", "Owl.nubbopack", "Owl"},
        {R"({"name": ".."})", "Owl.zip", "Owl"},                      // never a hidden or parent folder
        {R"({"name": ".config"})", "Owl.zip", "Owl"},
        {R"({"name": "/"})", "Owl.zip", "-"},
        {R"({"name": "a\u0000b"})", "Owl.zip", "Owl"},               // no control characters in a folder name
        {R"({"name": "a\u008eb"})", "Owl.zip", "Owl"},
        {R"({"name": "  "})", ".zip", "Pack"},
    };
    for (const Case& c : cases) {
        QTemporaryDir root;
        if (!c.manifest.isEmpty()) {
            QFile file(root.path() + QStringLiteral("/manifest.json"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.manifest);
        }
        EXPECT_EQ(PetPackManager::packName(root.path(), "/downloads/" + c.archive), c.name) << c.manifest.constData();
    }
}

TEST_F(PetPackManagerTest, ASameNamedPackIsReplacedOnlyByAPackThatUnpackedAndChecked) {
    const auto named = [](const char* file) {
        return std::vector<ZipEntry>{manifest("manifest.json", R"({"name": "Same"})"), frame(file)};
    };
    ASSERT_TRUE(manager.install(zip("old.zip", named("images/idle.png"))).ok());
    const QStringList old = tree(packs);

    // One without art, one refused halfway through after its manifest and a frame were written.
    std::vector<ZipEntry> refused = named("images/coding.png");
    refused.push_back({"../escape.txt", "x"});
    const std::vector<ZipEntry> artless{manifest("manifest.json", R"({"name": "Same"})"), {"readme.txt", "x"}};
    EXPECT_EQ(manager.install(zip("artless.zip", artless)).error(), PackError::invalidStructure);
    EXPECT_EQ(manager.install(zip("refused.zip", refused)).error(), PackError::extractFailed);
    EXPECT_EQ(tree(packs), old);

    const PackInstallResult replaced = manager.install(zip("new.zip", named("frames/idle/001.png")));
    ASSERT_TRUE(replaced.ok());
    EXPECT_EQ(tree(packs), QStringList({"Same", "Same/frames", "Same/frames/idle", "Same/frames/idle/001.png",
                                        "Same/manifest.json"}));
    EXPECT_TRUE(tree(temporary).isEmpty());
}

TEST_F(PetPackManagerTest, HostileArchivesFailWholeAndWriteNothingOutsideTheWorkingFolder) {
    // Where an escape would land: inside the test folder, so the tree comparison below would see it.
    const QString outside = dir.path() + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QDir().mkpath(temporary));
    std::vector<ZipEntry> many;
    for (int i = 0; i < 51; ++i)
        many.push_back({QStringLiteral("images/%1.png").arg(i), "x"});

    struct Case {
        const char* what;
        std::vector<ZipEntry> entries;
    };
    const Case cases[] = {
        {"climbs out", {frame("images/idle.png"), {"../../escape.txt", "x"}}},
        {"climbs out from inside", {{"images/../../../escape.txt", "x"}}},
        {"absolute", {frame("images/idle.png"), {outside + "/absolute.txt", "x"}}},
        {"absolute link, then a file through it", {symlink("images", outside), frame("images/idle.png")}},
        {"relative link, then a file through it", {folder("a/"), symlink("a/b", "../../outside"), {"a/b/x.txt", "x"}}},
        {"link to a file inside", {frame("images/idle.png"), symlink("images/coding.png", "idle.png")}},
        {"one entry over the entry bound", {{"images/idle.png", QByteArray(5000, '\0')}}},
        {"entries over the total bound",
         {{"images/a.png", QByteArray(3000, 'a')}, {"images/b.png", QByteArray(3000, 'b')},
          {"images/c.png", QByteArray(3000, 'c')}}},
        {"too many entries", many},
        {"a name twice", {frame("images/idle.png"), {"images/idle.png", "other"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString archive = zip(QStringLiteral("hostile.zip"), c.entries);
        const QStringList before = tree(dir.path());
        log.clear();

        const PackInstallResult result = manager.install(archive);

        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error(), PackError::extractFailed);
        EXPECT_EQ(tree(dir.path()), before);
        EXPECT_TRUE(tree(temporary).isEmpty());
        ASSERT_EQ(log.size(), 1);
        EXPECT_TRUE(log.front().startsWith("pet pack import failed: ")) << log.front().toStdString();
        QFile::remove(archive);
    }
}

// A few bytes of PNG can claim gigabytes of pixels: sizes are read from the headers, never decoded.
TEST_F(PetPackManagerTest, ArtOverTheLimitsIsRefusedByNameBeforeAnythingIsDecoded) {
    PetArtLimits limits;
    limits.maxFramesPerLoop = 3;
    limits.maxFrames = 5;
    PetPackManager bounded{packs, temporary, [] { return QUuid::createUuid(); },
                           [this](const QString& line) { log << line; }, smallLimits(), limits};
    const auto claiming = [](const QString& name, int width, int height) {
        return ZipEntry{name, testing::pngClaiming(QSize(width, height))};
    };
    const auto loop = [](const QString& name, int count) {
        std::vector<ZipEntry> frames;
        for (int i = 1; i <= count; ++i)
            frames.push_back(frame(QStringLiteral("frames/%1/%2.png").arg(name).arg(i, 3, 10, QChar(u'0'))));
        return frames;
    };
    const auto join = [](std::vector<ZipEntry> a, const std::vector<ZipEntry>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        const char* what;
        std::vector<ZipEntry> entries;
        std::optional<ArtRefusal> refusal;
        QString text;
    };
    using Reason = ArtRefusal::Reason;
    const Case cases[] = {
        {"a still of 30000 × 30000",
         {claiming("images/idle.png", 30000, 30000)},
         ArtRefusal{Reason::tooLarge, "images/idle.png", QSize(30000, 30000), 0, 2048},
         "images/idle.png is 30000 × 30000 pixels; a picture may be at most 2048 × 2048."},
        {"a frame one pixel too wide",
         join(loop("idle", 1), {claiming("frames/idle/002.png", 2049, 1)}),
         ArtRefusal{Reason::tooLarge, "frames/idle/002.png", QSize(2049, 1), 0, 2048},
         "frames/idle/002.png is 2049 × 1 pixels; a picture may be at most 2048 × 2048."},
        {"a loop over its bound", loop("idle", 4),
         ArtRefusal{Reason::tooManyFramesInLoop, "frames/idle", {}, 4, 3},
         "frames/idle has 4 frames; a loop may have at most 3."},
        {"loops over the pack's bound", join(loop("idle", 3), loop("coding", 3)),
         ArtRefusal{Reason::tooManyFrames, {}, {}, 6, 5}, "The pack has 6 frames in all; a pack may have at most 5."},
        {"at every bound", join(join(loop("idle", 3), loop("coding", 2)), {claiming("images/idle.png", 2048, 2048)}),
         std::nullopt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(packs).removeRecursively();
        log.clear();
        const PackInstallResult result = bounded.install(zip(QStringLiteral("Owl.zip"), c.entries));
        EXPECT_TRUE(tree(temporary).isEmpty());
        if (!c.refusal) {
            EXPECT_TRUE(result.ok());
            continue;
        }
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error(), PackError::tooMuchArt);
        EXPECT_EQ(result.refusal(), c.refusal);
        EXPECT_EQ(description(*result.refusal(), Language::en), c.text);
        EXPECT_TRUE(tree(packs).isEmpty());
        EXPECT_EQ(log, QStringList{"pet pack import failed: " + c.text});
    }
}

TEST_F(PetPackManagerTest, AnEntryThatInflatesBeyondWhatItsHeadersClaimIsStoppedAtTheBound) {
    const QString archive = zip("liar.zip", {{"images/idle.png", QByteArray(300000, '\0')}});
    QFile file(archive);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    // The size sits in the local header, the data descriptor and the central directory; claim 100 in each.
    // The inflated bytes stream past the claim (libarchive only compares at the end), so the bound must be
    // counted on what arrives, not on what the headers say.
    const auto le32 = [](quint32 value) {
        const char bytes[] = {char(value & 0xff), char(value >> 8 & 0xff), char(value >> 16 & 0xff), char(value >> 24)};
        return QByteArray(bytes, 4);
    };
    ASSERT_EQ(bytes.count(le32(300000)), 3);
    bytes.replace(le32(300000), le32(100));
    file.seek(0);
    file.write(bytes);
    file.close();

    EXPECT_EQ(manager.install(archive).error(), PackError::extractFailed);
    EXPECT_EQ(log, QStringList{"pet pack import failed: entry too large images/idle.png"});
    EXPECT_TRUE(tree(temporary).isEmpty());
}

TEST_F(PetPackManagerTest, AFileThatIsNoZipFailsToUnzip) {
    const QString archive = dir.path() + QStringLiteral("/pack.zip");
    QFile file(archive);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pngBytes());
    file.close();

    EXPECT_EQ(manager.install(archive).error(), PackError::extractFailed);
    EXPECT_EQ(manager.install(dir.path() + QStringLiteral("/missing.zip")).error(), PackError::extractFailed);
    EXPECT_EQ(description(PackError::extractFailed, Language::zh), QString::fromUtf16(u"无法解压该宠物包。"));
    EXPECT_TRUE(tree(temporary).isEmpty());
}

} // namespace
} // namespace nubbo
