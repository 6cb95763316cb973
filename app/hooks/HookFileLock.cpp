#include "hooks/HookFileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace nubbo {

HookFileLock::HookFileLock(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray name = QFile::encodeName(path);
    do {
        fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
        return;
    int result;
    do {
        result = ::flock(fd_, LOCK_EX);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

HookFileLock::~HookFileLock() {
    // Closing the descriptor releases the lock.
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace nubbo
