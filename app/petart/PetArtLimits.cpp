#include "petart/PetArtLimits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QList>

#include <algorithm>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nubbo::petart {

bool isRegularFile(const QString& path) {
    struct stat info{};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

bool openRegularFile(const QString& path, QFile& file) {
    if (!isRegularFile(path))
        return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

QSize headerSize(const QString& path) {
    QFile file;
    if (!openRegularFile(path, file))
        return {};
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    // Reads the header only. A picture turned by its EXIF orientation swaps its sides, which matters
    // for neither check.
    return reader.size();
}

std::optional<ArtRefusal> checkPicture(const QString& path, const QString& shownName, const PetArtLimits& limits) {
    const QSize size = headerSize(path);
    if (size.isValid() && (size.width() > limits.maxSide || size.height() > limits.maxSide))
        return ArtRefusal{ArtRefusal::Reason::tooLarge, shownName, size, 0, limits.maxSide};
    return std::nullopt;
}

QStringList frameFiles(const QString& directory) {
    // QDir leaves hidden entries out unless asked; an unreadable or missing folder lists nothing.
    QStringList names = QDir(directory).entryList(QDir::Files | QDir::Readable, QDir::NoSort);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString& file) {
                                   return QFileInfo(file).suffix().toLower() != QLatin1String("png");
                               }),
                names.end());
    // Plain code-unit order, not the locale's or a numeric one: "10.png" plays before "2.png".
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a < b; });
    return names;
}

std::optional<ArtRefusal> checkPack(const QString& root, const PetArtLimits& limits) {
    // Folder (relative to the root) and its pictures; the counts are checked before any header is read.
    QList<std::pair<QString, QStringList>> folders{{QStringLiteral("images"), frameFiles(root + QStringLiteral("/images"))}};
    QStringList loops = QDir(root + QStringLiteral("/frames")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(loops.begin(), loops.end());
    int total = 0;
    for (const QString& loop : loops) {
        const QString folder = QStringLiteral("frames/") + loop;
        QStringList files = frameFiles(root + u'/' + folder);
        if (files.size() > limits.maxFramesPerLoop)
            return ArtRefusal{ArtRefusal::Reason::tooManyFramesInLoop, folder, {}, int(files.size()),
                              limits.maxFramesPerLoop};
        total += int(files.size());
        folders.append({folder, std::move(files)});
    }
    if (total > limits.maxFrames)
        return ArtRefusal{ArtRefusal::Reason::tooManyFrames, {}, {}, total, limits.maxFrames};

    for (const auto& [folder, files] : folders)
        for (const QString& file : files)
            if (auto refusal = checkPicture(root + u'/' + folder + u'/' + file, folder + u'/' + file, limits))
                return refusal;
    return std::nullopt;
}

} // namespace nubbo::petart
