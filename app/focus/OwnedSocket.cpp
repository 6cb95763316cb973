#include "focus/OwnedSocket.h"

#include <QFile>

#include <sys/stat.h>

namespace nubbo {

bool isSocketOwnedBy(const QString& path, uid_t uid) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISSOCK(info.st_mode) && info.st_uid == uid;
}

} // namespace nubbo
