// The renderer that turns the art's text sources into the bundle's pictures.
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kRenderer = QStringLiteral(NUBBO_PET_ART);
const QString kSource = QStringLiteral(NUBBO_ART_SOURCE);

struct RenderRun { int exitCode; QString errors; };
RenderRun render(const QString& source, const QString& out) {
    QProcess process;
    process.start(kRenderer, {source, out});
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

QMap<QString, QByteArray> filesUnder(const QString& root) {
    QMap<QString, QByteArray> files;
    for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        files.insert(path.mid(root.size()), file.readAll());
    }
    return files;
}

} // namespace

// Two renders give the same bytes, and the bundle holds exactly what the sources give.
TEST(ArtRenderer, IsDeterministicAndTheBundleMatchesTheSources) {
    QTemporaryDir first, second;
    ASSERT_EQ(render(kSource, first.path()).exitCode, 0);
    ASSERT_EQ(render(kSource, second.path()).exitCode, 0);
    const auto a = filesUnder(first.path()), b = filesUnder(second.path());
    ASSERT_GT(a.size(), 300);
    EXPECT_TRUE(a == b);

    const auto bundle = filesUnder(QStringLiteral(NUBBO_BUNDLE_RESOURCES));
    for (auto it = a.begin(); it != a.end(); ++it)
        EXPECT_TRUE(bundle.value(it.key()) == it.value()) << it.key().toStdString();
}

// A loop whose last key differs from its first would jump at the seam; the build refuses it by name.
TEST(ArtRenderer, RefusesALoopThatDoesNotClose) {
    QTemporaryDir dir;
    for (const char* name : {"parts.svg", "rig.json"})
        ASSERT_TRUE(QFile::copy(kSource + QLatin1Char('/') + QLatin1String(name), dir.filePath(QLatin1String(name))));
    QFile poses(dir.filePath(QStringLiteral("poses.json")));
    ASSERT_TRUE(poses.open(QIODevice::WriteOnly));
    poses.write(R"({"poses": {"idle": {"frames": 4, "tracks": {"body.y": {"keys": [[0, 0], [0.5, -8], [1, -4]]}}}},
                   "folders": ["idle"], "stills": {}, "icons": {}})");
    poses.close();
    QTemporaryDir out;
    const RenderRun run = render(dir.path(), out.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("idle.body.y"))) << run.errors.toStdString();
    EXPECT_FALSE(QFile::exists(out.filePath(QStringLiteral("PetFrames/idle/frame-00.png"))));
}
