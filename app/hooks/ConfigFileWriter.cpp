#include "hooks/ConfigFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace nubbo {
namespace {

constexpr int kMaxLinkDepth = 40;  // the kernel's own limit for symlink chains

std::atomic<bool> fullDisk{false};

// What the disk takes: all of it, or with a full disk the first half and then ENOSPC.
qint64 writeToDisk(QSaveFile& file, const QByteArray& bytes) {
    if (!fullDisk.load()) return file.write(bytes);
    file.write(bytes.left(bytes.size() / 2));
    file.flush();
    errno = ENOSPC;
    return -1;
}

} // namespace

QString ConfigFileWriter::systemError(const QString& what, const QString& path) {
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
}

QString ConfigFileWriter::resolveWriteTarget(const QString& path) {
    QString current = QFileInfo(path).absoluteFilePath();
    for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        // symLinkTarget() resolves a relative link against the link's folder and works for dangling links.
        const QString next = info.symLinkTarget();
        if (next.isEmpty())
            return current;
        current = QDir::cleanPath(next);
    }
    return QFileInfo(path).absoluteFilePath();
}

std::optional<unsigned> ConfigFileWriter::mode(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return static_cast<unsigned>(status.st_mode & 07777);
}

QString ConfigFileWriter::writeAtomically(const QString& path, const QByteArray& bytes, unsigned newFileMode) {
    const QString target = resolveWriteTarget(path);
    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("could not create the folder %1").arg(folder);

    const std::optional<unsigned> keptMode = mode(target);
    QSaveFile file(target);
    // Without this, a target Qt cannot rename over would be written in place, which is what we must avoid.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("could not write %1: %2").arg(target, file.errorString());
    if (writeToDisk(file, bytes) != bytes.size()) {
        const QString reason = errno == ENOSPC ? QString::fromLocal8Bit(std::strerror(ENOSPC)) : file.errorString();
        const QString error = QStringLiteral("could not write %1: %2").arg(target, reason);
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return QStringLiteral("could not write %1: %2").arg(target, file.errorString());
    // Set the exact bits afterwards: Qt's permission flags cannot express every mode, and a new file would
    // otherwise carry the temp file's 0600.
    if (::chmod(QFile::encodeName(target).constData(), keptMode.value_or(newFileMode)) != 0)
        return systemError(QStringLiteral("could not set the permissions of"), target);
    return {};
}

void ConfigFileWriter::simulateFullDiskForTesting(bool full) { fullDisk.store(full); }

std::optional<QByteArray> ConfigFileWriter::read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

QString ConfigFileWriter::copy(const QString& source, const QString& destination) {
    if (QFileInfo::exists(destination) || QFileInfo(destination).isSymLink())
        QFile::remove(destination);  // a failure shows up as a failed copy below
    QFile file(source);
    if (!file.copy(destination))
        return QStringLiteral("could not copy %1 to %2: %3").arg(source, destination, file.errorString());
    return {};
}

} // namespace nubbo
