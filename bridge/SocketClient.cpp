#include "bridge/SocketClient.h"

#include "common/Utf8Text.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace nubbo::bridge {
namespace {

void setSendTimeout(int fd, std::chrono::milliseconds timeout) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

} // namespace

int connectSocket(const std::string& path, std::chrono::milliseconds timeout) {
    sockaddr_un address{};
    if (path.size() > wire::kMaxSocketPathBytes || path.size() >= sizeof address.sun_path) return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    // On Linux a Unix-socket connect to a full backlog waits for the send time-out; with none it would
    // wait for ever. Bound it, then clear it so the verdict wait and the write stay unbounded.
    setSendTimeout(fd, timeout);
    int rc;
    do {
        rc = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        close(fd);
        return -1;
    }
    setSendTimeout(fd, std::chrono::milliseconds{0});
    return fd;
}

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto written = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

std::optional<std::string> readLine(int fd, std::size_t maxBytes) {
    std::string bytes;
    char c = 0;
    while (bytes.size() < maxBytes) {
        const auto n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') break;
        bytes.push_back(c);
    }
    if (bytes.empty()) return std::nullopt;
    return text::repairUtf8(bytes);
}

} // namespace nubbo::bridge
