// A producer's side of the socket for tests, and a handler that records what the server delivered.
#pragma once

#include "intake/LocalSocketServer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace nubbo::test {

using namespace std::chrono_literals;

// A short private folder (socket paths are limited to 103 bytes); removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class Client {
public:
    explicit Client(const std::string& socketPath);
    ~Client();
    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void send(std::string_view bytes);
    void shutdownWrite();
    void close();
    // Everything up to end of stream, or what arrived before the time-out (nothing: empty).
    std::string readAll(std::chrono::milliseconds timeout = 5s);
    // True when nothing at all arrives (and the server keeps the connection open) for `window`.
    bool staysSilent(std::chrono::milliseconds window);

private:
    int fd_ = -1;
};

// Round trip of one request that the server answers at once.
std::string requestReply(const std::string& socketPath, std::string_view bytes);

struct Delivered {
    AgentEvent event;
    LocalSocketServer::Reply reply;
};

class Recorder {
public:
    void attach(LocalSocketServer& server);
    std::optional<Delivered> next(std::chrono::milliseconds timeout = 5s);
    std::optional<QUuid> nextRelease(std::chrono::milliseconds timeout = 5s);
    std::size_t count() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Delivered> events_;
    std::deque<QUuid> releases_;
    std::size_t total_ = 0;
};

class LogCapture {
public:
    LocalSocketServer::LogFunction function();
    QStringList lines() const;

private:
    mutable std::mutex mutex_;
    QStringList lines_;
};

} // namespace nubbo::test
