#include "NubboLog.h"

#include "AppPaths.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <mutex>
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

} // namespace

void NubboLog::appendToFile(const QString& path, const QByteArray& bytes) {
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return;
    writeAll(fd, bytes);
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
