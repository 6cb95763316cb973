// nubbo-pet-art: renders the pet's text sources into the bundle's pictures, frame folders and icons.
//   nubbo-pet-art <source folder> <Contents/Resources> [--sheet FILE] [--states FILE]
// The output depends on nothing but the sources: the same sources give the same bytes.
#include "ArtBook.h"
#include "ContactSheet.h"
#include "FrameComposer.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QtConcurrent/QtConcurrentMap>

#include <atomic>
#include <optional>
#include <cstdio>
#include <functional>
#include <stdexcept>

using namespace nubbo::art;

namespace {


void writeIfChanged(const QString& path, const QByteArray& bytes) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes)
        return;
    existing.close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
        throw std::runtime_error((path + QStringLiteral(": cannot be written")).toStdString());
}

QByteArray png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    auto option = [&](const QString& name) {
        const qsizetype i = args.indexOf(name);
        if (i < 0 || i + 1 >= args.size())
            return QString();
        const QString value = args[i + 1];
        args.remove(i, 2);
        return value;
    };
    const QString sheetFile = option(QStringLiteral("--sheet"));
    const QString statesFile = option(QStringLiteral("--states"));
    const QString svgDirectory = option(QStringLiteral("--svg"));   // the composed documents, for debugging
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: nubbo-pet-art <source folder> <resources folder> [--sheet FILE] [--states FILE] [--svg FOLDER]\n");
        return 2;
    }
    const QString out = args[1];
    QElapsedTimer clock;
    clock.start();
    try {
        const ArtBook book = ArtBook::load(args[0]);
        const FrameComposer composer(book);
        const int canvas = int(book.canvas());

        struct Picture { QString file; QByteArray svg; int size; };
        QList<Picture> pictures;
        for (const auto& [name, spec] : book.stills())
            pictures.append({QStringLiteral("PetImages/%1.png").arg(name),
                             composer.compose(book.sample(book.pose(spec.pose), spec.at)), canvas});
        for (const QString& folder : book.folders()) {
            const Pose& pose = book.pose(folder);
            // A shorter loop than last time must not leave old frames behind to play after the new ones.
            QDir(out + QStringLiteral("/PetFrames/") + folder).removeRecursively();
            for (int i = 0; i < pose.frames; ++i)
                pictures.append({QStringLiteral("PetFrames/%1/frame-%2.png").arg(folder).arg(i, 2, 10, QLatin1Char('0')),
                                 composer.compose(book.sample(pose, double(i) / pose.frames)), canvas});
        }
        for (const IconSpec& icon : book.icons()) {
            std::optional<PoseSample> sample;
            if (!icon.pose.isEmpty())
                sample = book.sample(book.pose(icon.pose), icon.at);
            const QByteArray svg = composer.compose(sample ? &*sample : nullptr, icon.parts, icon.viewBox, icon.figureTransform);
            for (const IconOutput& o : icon.outputs)
                pictures.append({o.file, svg, o.size});
            if (!icon.svgFile.isEmpty())
                writeIfChanged(out + QLatin1Char('/') + icon.svgFile, svg);
        }

        if (!svgDirectory.isEmpty())
            for (const Picture& picture : std::as_const(pictures))
                writeIfChanged(svgDirectory + QLatin1Char('/') + QString(picture.file).replace(QStringLiteral(".png"), QStringLiteral(".svg")), picture.svg);
        std::atomic<int> failures{0};
        QtConcurrent::blockingMap(pictures, [&](const Picture& picture) {
            try {
                writeIfChanged(out + QLatin1Char('/') + picture.file, png(FrameComposer::render(picture.svg, picture.size)));
            } catch (const std::exception& e) {
                std::fprintf(stderr, "nubbo-pet-art: %s: %s\n", qPrintable(picture.file), e.what());
                ++failures;
            }
        });
        if (failures)
            return 1;
        if (!sheetFile.isEmpty())
            writeIfChanged(sheetFile, png(contactSheet(book, out)));
        if (!statesFile.isEmpty())
            writeIfChanged(statesFile, png(statesGrid(book, out)));
        std::printf("nubbo-pet-art: %lld pictures in %lld ms\n", static_cast<long long>(pictures.size()),
                    static_cast<long long>(clock.elapsed()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nubbo-pet-art: %s\n", e.what());
        return 1;
    }
    return 0;
}
