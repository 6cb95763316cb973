#include "core/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>

#include <cerrno>
#include <sys/stat.h>

namespace nubbo {

bool PrivateFiles::makeFolder(const QString& path) {
    if (path.isEmpty()) return false;
    const QString clean = QDir::cleanPath(path);
    struct stat status {};
    if (::stat(QFile::encodeName(clean).constData(), &status) == 0) return S_ISDIR(status.st_mode);
    const QString parent = QDir::cleanPath(clean + QStringLiteral("/.."));
    if (parent != clean) makeFolder(parent);
    const QByteArray name = QFile::encodeName(clean);
    if (::mkdir(name.constData(), 0700) != 0) return errno == EEXIST;
    // mkdir's mode passes through the umask; the folder is private whatever it is.
    return ::chmod(name.constData(), 0700) == 0;
}

bool PrivateFiles::restrict(QFileDevice& file) {
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace nubbo
