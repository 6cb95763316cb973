// Custom pictures and the installer the settings window calls: what lands on disk, what the settings
// become, and the alert a failure brings.
#include "petart/PetArtInstaller.h"

#include "petart/CustomPetManager.h"
#include "FifoBound.h"
#include "petart/PetPackManager.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"
#include "TestZip.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <ostream>

static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace nubbo {
namespace {

using testing::pngBytes;
using testing::tree;

const QUuid kUuid = QUuid::fromString(QStringLiteral("12345678-1234-1234-1234-123456789abc"));

class PetArtInstallerTest : public ::testing::Test {
protected:
    QString file(const QString& name, const QByteArray& content) {
        const QString path = dir.path() + QStringLiteral("/chosen/") + name;
        QDir().mkpath(QFileInfo(path).path());
        fakes::writeFile(path, content);
        return path;
    }

    QTemporaryDir dir;
    QString customPets = dir.path() + QStringLiteral("/CustomPets");
    QString packs = dir.path() + QStringLiteral("/PetPacks");
    QStringList log;
    CustomPetManager pictures{customPets, [] { return kUuid; }, [this](const QString& line) { log << line; }};
    PetPackManager packManager{packs, dir.path() + QStringLiteral("/tmp"), [] { return kUuid; },
                               [this](const QString& line) { log << line; }};
    fakes::MemoryPreferences preferences;
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{QStringLiteral("en-US")}; }};
    PetArtInstaller installer{settings, pictures, packManager};
};

TEST_F(PetArtInstallerTest, APictureIsCopiedUnderANewNameAndANonPictureIsRefused) {
    const QString chosen = file("cat.JPG", pngBytes()); // decoded by content, named by the source
    const QString expected = customPets + QStringLiteral("/custom-12345678-1234-1234-1234-123456789abc.JPG");
    EXPECT_EQ(pictures.installImage(chosen), expected);
    QFile::remove(expected);
    const std::optional<QString> bare = pictures.installImage(file("cat", pngBytes()));
    ASSERT_TRUE(bare);
    EXPECT_TRUE(bare->endsWith(QStringLiteral("-123456789abc.png")));
    QFile copy(*bare);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), pngBytes());

    log.clear();
    const QString fifo = dir.path() + QStringLiteral("/chosen/pipe.png");
    ASSERT_TRUE(testing::makeFifo(fifo));
    for (const QString& refused : {file("notes.png", "just text"), dir.path() + QStringLiteral("/chosen"),
                                   dir.path() + QStringLiteral("/missing.png"), fifo}) {
        PictureError error = PictureError::copyFailed;
        EXPECT_TRUE(testing::finishesWithin(std::chrono::seconds(10), fifo, [&] {
            EXPECT_FALSE(pictures.installImage(refused, &error)) << refused.toStdString();
        }));
        EXPECT_EQ(error, PictureError::notAnImage);
    }
    EXPECT_EQ(tree(customPets), QStringList{QFileInfo(*bare).fileName()});
    ASSERT_EQ(log.size(), 4);
    for (const QString& line : log)
        EXPECT_TRUE(line.startsWith(QStringLiteral("custom pet copy failed "))) << line.toStdString();

    // A copy that cannot be written (the uuid's name is taken) is a failure too, not a silent overwrite.
    PictureError error = PictureError::notAnImage;
    EXPECT_FALSE(pictures.installImage(file("cat", pngBytes()), &error));
    EXPECT_EQ(error, PictureError::copyFailed);
}

TEST_F(PetArtInstallerTest, SuccessSwitchesThePetsArtAndFailureAnswersWithTheAlert) {
    const QVariantMap picture = installer.installImage(QUrl::fromLocalFile(file("cat.png", pngBytes())));
    EXPECT_EQ(picture.value("ok"), true);
    EXPECT_EQ(settings.customPetPath(), picture.value("path").toString());
    EXPECT_EQ(settings.petSource(), PetSource::custom);
    EXPECT_EQ(installer.petFolder(), customPets);

    const QString archive = dir.path() + QStringLiteral("/Owl.zip");
    ASSERT_TRUE(testing::writeZip(archive, {{"images/idle.png", pngBytes()}}));
    const QVariantMap pack = installer.importPack(QUrl::fromLocalFile(archive));
    EXPECT_EQ(pack, (QVariantMap{{"ok", true}, {"path", packs + QStringLiteral("/Owl")}}));
    EXPECT_EQ(settings.activePackPath(), packs + QStringLiteral("/Owl"));
    EXPECT_EQ(settings.petSource(), PetSource::pack);
    EXPECT_EQ(installer.petFolder(), packs);

    // Failures change nothing and speak the effective language; a picture too large says how large.
    const QString before = settings.customPetPath();
    EXPECT_EQ(installer.installImage(QUrl::fromLocalFile(file("notes.png", "text"))),
              (QVariantMap{{"ok", false},
                           {"title", "Could not use this picture"},
                           {"text", "This file is not a picture Nubbo can read."}}));
    EXPECT_EQ(installer.installImage(QUrl::fromLocalFile(file("huge.png", testing::pngClaiming(QSize(30000, 20))))),
              (QVariantMap{{"ok", false},
                           {"title", "Could not use this picture"},
                           {"text", "huge.png is 30000 × 20 pixels; a picture may be at most 4096 × 4096."}}));
    ASSERT_TRUE(testing::writeZip(archive, {{"frames/idle/1.png", testing::pngClaiming(QSize(30000, 30000))}}));
    EXPECT_EQ(installer.importPack(QUrl::fromLocalFile(archive)).value("text").toString(),
              QStringLiteral("frames/idle/1.png is 30000 × 30000 pixels; a picture may be at most 2048 × 2048."));
    settings.setLanguage(AppLanguage::zh);
    ASSERT_TRUE(testing::writeZip(archive, {{"readme.txt", "x"}}));
    EXPECT_EQ(installer.importPack(QUrl::fromLocalFile(archive)),
              (QVariantMap{{"ok", false},
                           {"title", QString::fromUtf16(u"无法导入宠物包")},
                           {"text", QString::fromUtf16(u"宠物包里没有 images/ 或 frames/ 文件夹。")}}));
    EXPECT_EQ(installer.importPack(QUrl(QStringLiteral("https://example.com/Owl.zip"))).value("ok"), false);
    EXPECT_EQ(settings.customPetPath(), before);
    EXPECT_EQ(settings.activePackPath(), packs + QStringLiteral("/Owl"));
    EXPECT_EQ(settings.petSource(), PetSource::pack);
}

} // namespace
} // namespace nubbo
