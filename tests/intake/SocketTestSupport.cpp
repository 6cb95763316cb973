#include "SocketTestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace nubbo::test {

TempDir::TempDir() {
    char pattern[] = "/tmp/nubbo-test-XXXXXX";
    if (const char* made = ::mkdtemp(pattern)) path_ = made;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

Client::Client(const std::string& socketPath) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) close();
}

Client::~Client() { close(); }

void Client::send(std::string_view bytes) {
    while (fd_ >= 0 && !bytes.empty()) {
        const auto n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void Client::shutdownWrite() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

void Client::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string Client::readAll(std::chrono::milliseconds timeout) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[4096];
        const auto n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

bool Client::staysSilent(std::chrono::milliseconds window) {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(window.count())) == 0;
}

std::string requestReply(const std::string& socketPath, std::string_view bytes) {
    Client client(socketPath);
    client.send(bytes);
    return client.readAll();
}

void Recorder::attach(LocalSocketServer& server) {
    server.setOnEvent([this](const AgentEvent& event, LocalSocketServer::Reply reply) {
        std::lock_guard lock(mutex_);
        events_.push_back({event, std::move(reply)});
        ++total_;
        changed_.notify_all();
    });
    server.setOnParkedReleased([this](const QUuid& id) {
        std::lock_guard lock(mutex_);
        releases_.push_back(id);
        changed_.notify_all();
    });
}

std::optional<Delivered> Recorder::next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return !events_.empty(); })) return std::nullopt;
    auto delivered = std::move(events_.front());
    events_.pop_front();
    return delivered;
}

std::optional<QUuid> Recorder::nextRelease(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return !releases_.empty(); })) return std::nullopt;
    const auto id = releases_.front();
    releases_.pop_front();
    return id;
}

std::size_t Recorder::count() const {
    std::lock_guard lock(mutex_);
    return total_;
}

LocalSocketServer::LogFunction LogCapture::function() {
    return [this](const QString& line) {
        std::lock_guard lock(mutex_);
        lines_.append(line);
    };
}

QStringList LogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

} // namespace nubbo::test
