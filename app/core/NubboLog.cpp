#include "core/NubboLog.h"

#include "core/AppPaths.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nubbo {
namespace {

std::mutex clockMutex;
std::function<double()> testClock;

double secondsSince1970() {
    std::function<double()> clock;
    {
        std::lock_guard lock(clockMutex);
        clock = testClock;
    }
    if (clock) return clock();
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The shortest decimal that reads back as the same double, always with a fractional part. Fixed notation
// is forced because the shortest form of a round number would otherwise be scientific ("1e+09").
QByteArray formatTime(double seconds) {
    char buffer[400]; // the longest fixed rendering of any double is about 330 characters
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    if (ec != std::errc{}) return QByteArrayLiteral("0.0");
    QByteArray text(buffer, static_cast<qsizetype>(end - buffer));
    if (std::isfinite(seconds) && !text.contains('.')) text += ".0";
    return text;
}

// One write() per line: O_APPEND makes each write land whole at the end, whoever else is writing.
void writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    auto remaining = static_cast<size_t>(bytes.size());
    while (remaining > 0) {
        const ssize_t written = ::write(fd, data, remaining);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        data += written;
        remaining -= static_cast<size_t>(written);
    }
}

// Called with fd, just written to, at or over the limit. Writers share no memory (the app and a
// command-line run both append), so the file itself is the lock: whoever holds it rotates, and only when
// the name still leads to the file it wrote, so a second writer that saw the same full file does not
// rotate the fresh one. A writer that opened the old file before the rename still appends whole lines
// to it under its new name.
void rotate(int fd, const QByteArray& name, const LogRotation& rotation) {
    while (::flock(fd, LOCK_EX) < 0)
        if (errno != EINTR) return;
    struct stat written{}, current{};
    if (::fstat(fd, &written) == 0 && ::stat(name.constData(), &current) == 0 && written.st_dev == current.st_dev &&
        written.st_ino == current.st_ino && current.st_size >= rotation.maxBytes) {
        const auto numbered = [&name](int n) { return name + '.' + QByteArray::number(n); };
        // Renaming onto the oldest name drops it; a missing file in the chain is simply skipped.
        for (int n = rotation.files - 1; n >= 2; --n) ::rename(numbered(n - 1).constData(), numbered(n).constData());
        if (rotation.files >= 2)
            ::rename(name.constData(), numbered(1).constData());
        else
            ::unlink(name.constData());
    }
    ::flock(fd, LOCK_UN);
}

} // namespace

void NubboLog::appendToFile(const QString& path, const QByteArray& bytes, const LogRotation& rotation) {
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return;
    writeAll(fd, bytes);
    struct stat after{};
    // Regular files only: /dev/null or a pipe given as a log never rotates.
    if (::fstat(fd, &after) == 0 && S_ISREG(after.st_mode) && after.st_size >= rotation.maxBytes)
        rotate(fd, name, rotation);
    ::close(fd);
}

void NubboLog::log(const QString& message) {
    const QByteArray text = message.toUtf8();
    appendToFile(AppPaths::logsDirectory() + QStringLiteral("/nubbo.log"),
                 formatTime(secondsSince1970()) + ' ' + text + '\n');
    writeAll(STDERR_FILENO, QByteArrayLiteral("NUBBO_DBG ") + text + '\n');
}

void NubboLog::setClockForTesting(std::function<double()> clock) {
    std::lock_guard lock(clockMutex);
    testClock = std::move(clock);
}

} // namespace nubbo
