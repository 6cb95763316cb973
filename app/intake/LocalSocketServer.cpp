#include "intake/LocalSocketServer.h"

#include "core/AppPaths.h"
#include "core/PrivateFiles.h"
#include "intake/IncomingEvent.h"
#include "core/NubboLog.h"
#include "common/Utf8Text.h"
#include "common/WireProtocol.h"

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace nubbo {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kBacklog = 16;

// Every parked request holds a descriptor, and desktop sessions often start apps with a soft limit of 1024.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

int openReserve() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

void sendOnce(int fd, std::string_view bytes) {
    // One write, result ignored: a producer that has gone must not cost us a signal or a wait.
    [[maybe_unused]] const auto n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// One accepted producer. The descriptor is only ever closed under `mutex` and marked closed, so a
// reply arriving late never touches a number that now belongs to someone else.
struct Connection {
    std::mutex mutex;
    int fd = -1;
    bool closed = false;
    QUuid eventId;
    std::string buffer;
    SteadyClock::time_point deadline;
    std::shared_ptr<std::atomic<std::size_t>> parkedCount;  // set while waiting for a verdict
    bool peerDoneWriting = false;  // a parked producer that shut down its sending side still waits to read

    void closeLocked() {
        if (closed) return;
        ::close(fd);
        closed = true;
        if (parkedCount) parkedCount->fetch_sub(1);
    }
};

} // namespace

struct LocalSocketServer::Core : std::enable_shared_from_this<Core> {
    Options options;
    EventHandler onEvent;
    ReleaseHandler onParkedReleased;

    int listenFd = -1;
    int wakeFd = -1;
    // Held so that, out of descriptors, the server can still accept a producer and close it: otherwise the
    // producer would hang in the backlog and the listening socket would stay readable, spinning the loop.
    int reserveFd = -1;
    bool atLimitLogged = false;
    ino_t socketInode = 0;
    SteadyClock::time_point nextSocketCheck;
    std::atomic<bool> stopping{false};
    std::thread thread;
    QString path;

    mutable std::mutex stateMutex;
    mutable std::condition_variable stateChanged;
    bool started = false;
    bool listening = false;
    // Shared with the connections, whose replies may outlive the server.
    std::shared_ptr<std::atomic<std::size_t>> parked = std::make_shared<std::atomic<std::size_t>>(0);

    std::list<std::shared_ptr<Connection>> reading;  // server thread only
    std::list<std::shared_ptr<Connection>> waiting;  // server thread only (each one also held by its reply)

    void log(const QString& line) const {
        if (options.log) options.log(line);
        else NubboLog::log(line);
    }

    void wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wakeFd, &one, sizeof one);
    }

    void finishStart(bool ok) {
        std::lock_guard lock(stateMutex);
        started = true;
        listening = ok;
        stateChanged.notify_all();
    }

    bool bindAndListen(bool announce = true) {
        const QByteArray bytes = path.toUtf8();
        // Also after the folder was removed while the app ran: it comes back private.
        PrivateFiles::makeFolder(QFileInfo(path).path());
        ::unlink(bytes.constData());  // a stale file from a crashed run

        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            log(QStringLiteral("socket() failed errno=%1").arg(errno));
            return false;
        }
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (static_cast<std::size_t>(bytes.size()) > wire::kMaxSocketPathBytes) {
            log(QStringLiteral("socket path too long (%1 >= %2)").arg(bytes.size()).arg(wire::kMaxSocketPathBytes + 1));
            ::close(fd);
            return false;
        }
        std::copy(bytes.begin(), bytes.end(), address.sun_path);
        // Only the user may talk to the app: the file is created 0600 (the socket inode's mode is what
        // bind gives the file), and is set again after bind in case the umask widened nothing.
        ::fchmod(fd, S_IRUSR | S_IWUSR);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            log(QStringLiteral("bind() failed errno=%1").arg(errno));
            ::close(fd);
            return false;
        }
        ::chmod(bytes.constData(), S_IRUSR | S_IWUSR);
        if (::listen(fd, kBacklog) != 0) {
            log(QStringLiteral("listen() failed errno=%1").arg(errno));
            ::close(fd);
            return false;
        }
        listenFd = fd;
        struct stat status {};
        socketInode = ::stat(bytes.constData(), &status) == 0 ? status.st_ino : 0;
        if (announce) log(QStringLiteral("nubbo socket listening at ") + path);
        return true;
    }

    // A cleanup script or a second copy removing the file would leave the app deaf while it still runs.
    // Only a missing file is bound again: one that another process put there is not ours to take.
    void checkSocketFile() {
        struct stat status {};
        const bool present = ::lstat(path.toUtf8().constData(), &status) == 0;
        if (present && (listenFd >= 0 || status.st_ino != socketInode)) return;
        if (!present && errno != ENOENT) return;
        if (listenFd >= 0) ::close(listenFd);
        listenFd = -1;
        const bool ok = bindAndListen(false);
        if (ok) log(QStringLiteral("nubbo socket file was removed; listening again at ") + path);
        std::lock_guard lock(stateMutex);
        listening = ok;
    }

    // Out of descriptors: take the oldest producer with the reserve and close it, so it falls back to the
    // agent's own prompt at once instead of waiting in the backlog.
    void refuseAtLimit() {
        if (reserveFd < 0) return;
        ::close(reserveFd);
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) ::close(fd);
        // Logged while the reserve's slot is free, so the log file can still be opened.
        if (!atLimitLogged)
            log(QStringLiteral("out of file descriptors (%1 held for producers): closing new producers").arg(reading.size() + waiting.size()));
        atLimitLogged = true;
        reserveFd = openReserve();
    }

    void acceptAll() {
        for (;;) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR) continue;
                if (errno == EMFILE || errno == ENFILE) {
                    refuseAtLimit();
                    if (reserveFd >= 0) continue;
                }
                return;  // EAGAIN, or a transient failure: poll again
            }
            atLimitLogged = false;
            ucred peer{};
            socklen_t length = sizeof peer;
            if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid()) {
                ::close(fd);  // another user's process: no reply at all
                continue;
            }
            auto connection = std::make_shared<Connection>();
            connection->fd = fd;
            connection->deadline = SteadyClock::now() + options.readTimeout;
            reading.push_back(std::move(connection));
        }
    }

    // Reads what is available; true once the request is complete (newline, end of stream, error or limit).
    static bool readSome(Connection& connection) {
        char chunk[16384];
        for (;;) {
            const std::size_t room = wire::kMaxRequestBytes - connection.buffer.size();
            if (room == 0) return true;
            const auto n = ::recv(connection.fd, chunk, std::min(room, sizeof chunk), MSG_DONTWAIT);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
            if (n <= 0) return true;
            const std::string_view got(chunk, static_cast<std::size_t>(n));
            const auto newline = got.find('\n');
            if (newline != std::string_view::npos) {
                connection.buffer.append(got.substr(0, newline));
                return true;
            }
            connection.buffer.append(got);
        }
    }

    void reject(const std::shared_ptr<Connection>& connection) {
        sendOnce(connection->fd, wire::acknowledgementLine(false));
        std::lock_guard lock(connection->mutex);
        connection->closeLocked();
    }

    void serve(const std::shared_ptr<Connection>& connection) {
        const std::string& line = connection->buffer;
        const auto request = line.empty() || !text::isValidUtf8(line) ? std::nullopt : IncomingEvent::decode(line);
        if (!request) {
            reject(connection);
            return;
        }
        const AgentEvent event = request->toAgentEvent();
        if (event.type != AgentEventType::approvalRequired) {
            if (onEvent) onEvent(event, [](std::optional<bool>) {});
            sendOnce(connection->fd, wire::acknowledgementLine(true));
            std::lock_guard lock(connection->mutex);
            connection->closeLocked();
            return;
        }
        if (!onEvent) {
            // Nobody could ever answer: closing lets the producer fall back to the agent's own prompt.
            std::lock_guard lock(connection->mutex);
            connection->closeLocked();
            return;
        }
        connection->eventId = event.id;
        connection->buffer.clear();
        connection->buffer.shrink_to_fit();
        {
            std::lock_guard lock(connection->mutex);
            connection->parkedCount = parked;
            parked->fetch_add(1);
        }
        waiting.push_back(connection);
        std::weak_ptr<Core> weakCore = weak_from_this();
        onEvent(event, [weakCore, connection](std::optional<bool> granted) {
            const auto core = weakCore.lock();
            {
                std::lock_guard lock(connection->mutex);
                if (connection->closed) return;
                if (core && granted) sendOnce(connection->fd, wire::verdictLine(*granted));
                connection->closeLocked();
            }
            if (core) core->wake();  // lets the loop forget the descriptor
        });
    }

    // A parked producer that closed its connection (its own time-out, or the user answered in the terminal).
    // One that only shut down its sending side still waits for the verdict.
    static bool peerHungUp(Connection& connection, short revents) {
        if (revents & (POLLHUP | POLLERR | POLLNVAL)) return true;
        if (!(revents & POLLIN)) return false;
        char sink[512];
        for (;;) {
            const auto n = ::recv(connection.fd, sink, sizeof sink, MSG_DONTWAIT);
            if (n > 0) continue;  // nothing more is expected; drop it
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) connection.peerDoneWriting = true;  // stop asking for input: end of stream stays readable
            return false;
        }
    }

    void run() {
        path = options.socketPath.isEmpty() ? AppPaths::socketPath() : options.socketPath;
        const bool ok = bindAndListen();
        finishStart(ok);
        if (!ok) return;
        std::vector<pollfd> fds;
        std::vector<std::shared_ptr<Connection>> owners;
        nextSocketCheck = SteadyClock::now() + options.socketCheckInterval;
        while (!stopping.load()) {
            if (SteadyClock::now() >= nextSocketCheck) {
                checkSocketFile();
                nextSocketCheck = SteadyClock::now() + options.socketCheckInterval;
            }
            // Forget parked connections that were answered meanwhile.
            waiting.remove_if([](const std::shared_ptr<Connection>& c) {
                std::lock_guard lock(c->mutex);
                return c->closed;
            });
            fds.clear();
            owners.clear();
            fds.push_back({wakeFd, POLLIN, 0});
            fds.push_back({listenFd, POLLIN, 0});
            auto nextDeadline = nextSocketCheck;
            for (const auto& c : reading) {
                fds.push_back({c->fd, POLLIN, 0});
                owners.push_back(c);
                nextDeadline = std::min(nextDeadline, c->deadline);
            }
            for (const auto& c : waiting) {
                std::lock_guard lock(c->mutex);
                if (c->closed) continue;
                // Hang-ups are always reported; input only matters until the producer's end of stream.
                fds.push_back({c->fd, static_cast<short>(c->peerDoneWriting ? 0 : POLLIN), 0});
                owners.push_back(c);
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextDeadline - SteadyClock::now());
            const int timeoutMs = static_cast<int>(std::max<std::int64_t>(0, left.count()));
            const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
            if (ready < 0 && errno != EINTR) break;
            if (stopping.load()) break;

            if (fds[0].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] const auto n = ::read(wakeFd, &count, sizeof count);
            }
            // Serve the connections that were already waiting, in arrival order, before accepting more.
            const auto now = SteadyClock::now();
            for (std::size_t i = 2; i < fds.size(); ++i) {
                const auto& connection = owners[i - 2];
                const short revents = fds[i].revents;
                if (connection->eventId.isNull()) {
                    if (revents && readSome(*connection)) {
                        reading.remove(connection);
                        serve(connection);
                    } else if (now >= connection->deadline) {
                        // A producer that never finished its line must not hold up intake.
                        reading.remove(connection);
                        reject(connection);
                    }
                    continue;
                }
                if (!revents) continue;
                bool released = false;
                {
                    std::lock_guard lock(connection->mutex);
                    if (!connection->closed && peerHungUp(*connection, revents)) {
                        connection->closeLocked();
                        released = true;
                    }
                }
                if (released && onParkedReleased) onParkedReleased(connection->eventId);
            }
            if (listenFd >= 0 && (fds[1].revents & POLLIN)) acceptAll();
        }
    }

    void shutdown() {
        stopping.store(true);
        if (wakeFd >= 0) wake();
        if (thread.joinable()) thread.join();
        for (auto& c : reading) {
            std::lock_guard lock(c->mutex);
            c->closeLocked();
        }
        for (auto& c : waiting) {
            std::lock_guard lock(c->mutex);
            c->closeLocked();
        }
        reading.clear();
        waiting.clear();
        if (listenFd >= 0) ::close(listenFd);
        if (wakeFd >= 0) ::close(wakeFd);
        if (reserveFd >= 0) ::close(reserveFd);
        listenFd = wakeFd = reserveFd = -1;
    }
};

LocalSocketServer::LocalSocketServer() : LocalSocketServer(Options{}) {}

LocalSocketServer::LocalSocketServer(Options options) : core_(std::make_shared<Core>()) {
    core_->options = std::move(options);
}

LocalSocketServer::~LocalSocketServer() { core_->shutdown(); }

void LocalSocketServer::setOnEvent(EventHandler handler) { core_->onEvent = std::move(handler); }

void LocalSocketServer::setOnParkedReleased(ReleaseHandler handler) { core_->onParkedReleased = std::move(handler); }

void LocalSocketServer::start() {
    if (core_->thread.joinable()) return;
    raiseDescriptorLimit();
    core_->reserveFd = openReserve();
    core_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    core_->thread = std::thread([core = core_.get()] { core->run(); });
}

bool LocalSocketServer::waitUntilStarted(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(core_->stateMutex);
    core_->stateChanged.wait_for(lock, timeout, [this] { return core_->started; });
    return core_->listening;
}

bool LocalSocketServer::isListening() const {
    std::lock_guard lock(core_->stateMutex);
    return core_->listening;
}

QString LocalSocketServer::socketPath() const {
    std::lock_guard lock(core_->stateMutex);
    return core_->started ? core_->path : QString();
}

std::size_t LocalSocketServer::parkedCount() const { return core_->parked->load(); }

} // namespace nubbo
