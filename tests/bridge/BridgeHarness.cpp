#include "BridgeHarness.h"

#include "common/WireProtocol.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace nubbo::test {

namespace {

constexpr std::string_view kTempTemplate = "/tmp/nubbo-home-XXXXXX";

std::string makeTempDir() {
    std::string pattern(kTempTemplate);
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
    return pattern;
}

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

int pollRetrying(pollfd* fds, nfds_t count, int timeoutMs) {
    for (;;) {
        const int n = ::poll(fds, count, timeoutMs);
        if (n >= 0 || errno != EINTR) return n;
    }
}

void sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the producer has gone; nothing more to say
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path)) throw std::invalid_argument("socket path does not fit sockaddr_un");
    std::memcpy(addr.sun_path, path.data(), path.size());
    return addr;
}

int boundSocket(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    ::unlink(path.c_str());
    const sockaddr_un addr = addressOf(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) fail("socket");
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) fail("bind " + path);
    return fd;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------------

TempHome::TempHome() : TempHome(0) {}

TempHome::TempHome(std::size_t socketPathBytes) : root_(makeTempDir()), home_(root_ + "/home") {
    const std::size_t fixed = root_.size() + 1 + kSocketSuffix.size();
    if (socketPathBytes == 0) runtime_ = root_ + "/run";
    else if (socketPathBytes > fixed) runtime_ = root_ + "/" + std::string(socketPathBytes - fixed, 'r');
    else throw std::invalid_argument("socket path too short for a padded runtime folder");
    fs::create_directories(home_);
    fs::create_directories(runtime_);
    fs::permissions(runtime_, fs::perms::owner_all);
}

TempHome::~TempHome() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string TempHome::writeFile(const std::string& relative, std::string_view content) const {
    const fs::path full = fs::path(home_) / relative;
    fs::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + full.string());
    return full.string();
}

void TempHome::setModified(const std::string& relative, std::time_t seconds) const {
    const std::string full = home_ + "/" + relative;
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    if (::utimensat(AT_FDCWD, full.c_str(), times, 0) != 0) fail("utimensat " + full);
}

// ---------------------------------------------------------------------------------------------------------------

FakeApp::FakeApp(const std::string& socketPath, AppReply reply) : path_(socketPath) {
    listenFd_ = boundSocket(path_);
    if (::listen(listenFd_, 8) != 0) fail("listen");
    if (::pipe2(wake_, O_CLOEXEC) != 0) fail("pipe2");

    thread_ = std::thread([this, reply = std::move(reply)]() mutable { serve(std::move(reply)); });
}

FakeApp::~FakeApp() {
    release();
    if (thread_.joinable()) thread_.join();
    ::close(listenFd_);
    ::close(wake_[0]);
    ::close(wake_[1]);
    ::unlink(path_.c_str());
}

void FakeApp::release() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_[1], &byte, 1);
}

void FakeApp::finishRequest(std::string line, bool newline) {
    std::lock_guard lock(mutex_);
    gotRequest_ = newline || !line.empty();
    newline_ = newline;
    line_ = std::move(line);
    requestDone_ = true;
    changed_.notify_all();
}

void FakeApp::serve(AppReply reply) {
    pollfd waitAccept[2] = {{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (pollRetrying(waitAccept, 2, -1) <= 0 || (waitAccept[1].revents & POLLIN) || !(waitAccept[0].revents & POLLIN)) {
        finishRequest({}, false);
        return;
    }
    const int conn = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn < 0) {
        finishRequest({}, false);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        accepted_ = true;
        changed_.notify_all();
    }
    if (!reply.readRequest) {
        ::close(conn);
        finishRequest({}, false);
        return;
    }

    std::string received;
    bool newline = false;
    bool endOfStream = false;
    bool stopped = false;
    for (;;) {
        pollfd fds[2] = {{conn, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        pollRetrying(fds, 2, -1);
        if (fds[1].revents & POLLIN) {
            stopped = true;
            break;
        }
        char chunk[65536];
        const ssize_t n = ::read(conn, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            endOfStream = true;
            break;
        }
        received.append(chunk, static_cast<std::size_t>(n));
        if (const auto pos = received.find('\n'); pos != std::string::npos) {
            {
                std::lock_guard lock(mutex_);
                after_ = received.substr(pos + 1);
            }
            received.resize(pos);
            newline = true;
            break;
        }
    }
    finishRequest(std::move(received), newline);

    if (!stopped) sendAll(conn, reply.bytes);

    if (!stopped && reply.then == AppReply::Then::Hold) {
        bool peerOpen = !endOfStream;
        if (!peerOpen) {
            std::lock_guard lock(mutex_);
            peerClosed_ = true;
            changed_.notify_all();
        }
        for (;;) {
            pollfd fds[2] = {{peerOpen ? conn : -1, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            pollRetrying(fds, 2, -1);
            if (fds[1].revents & POLLIN) break;
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                char chunk[4096];
                const ssize_t n = ::read(conn, chunk, sizeof(chunk));
                if (n < 0 && errno == EINTR) continue;
                std::lock_guard lock(mutex_);
                if (n > 0) {
                    after_.append(chunk, static_cast<std::size_t>(n));
                } else {
                    peerOpen = false;
                    peerClosed_ = true;
                    changed_.notify_all();
                }
            }
        }
    }
    ::close(conn);
}

std::optional<std::string> FakeApp::request(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, wait, [this] { return requestDone_; });
    if (!gotRequest_) return std::nullopt;
    return line_;
}

bool FakeApp::requestEndedWithNewline() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, 10s, [this] { return requestDone_; });
    return newline_;
}

std::string FakeApp::bytesAfterRequest() {
    std::lock_guard lock(mutex_);
    return after_;
}

bool FakeApp::peerClosedWhileHeld(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, wait, [this] { return peerClosed_; });
}

bool FakeApp::accepted(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, wait, [this] { return accepted_; });
}

// ---------------------------------------------------------------------------------------------------------------

IdleListener::IdleListener(const std::string& socketPath, int backlog) : path_(socketPath), fd_(boundSocket(socketPath)) {
    if (::listen(fd_, backlog) != 0) fail("listen");
}

IdleListener::~IdleListener() {
    for (const int fd : clients_) ::close(fd);
    ::close(fd_);
    ::unlink(path_.c_str());
}

bool IdleListener::hasPendingConnection() const {
    pollfd p{fd_, POLLIN, 0};
    return pollRetrying(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

bool IdleListener::fillBacklog(int maxClients) {
    const sockaddr_un addr = addressOf(path_);
    for (int i = 0; i < maxClients; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) fail("socket");
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EAGAIN) return true;
            errno = error;
            fail("connect");
        }
        clients_.push_back(fd);
    }
    return false;
}

void makeStaleSocketFile(const std::string& socketPath) {
    ::close(boundSocket(socketPath));
}

// ---------------------------------------------------------------------------------------------------------------

BridgeRun runBridge(const std::vector<std::string>& args, std::string_view stdinBytes, const BridgeOptions& options) {
    // The test process writes to pipes and sockets whose reader may have gone; the child gets SIG_DFL back.
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> argvStore = options.launcher;
    argvStore.emplace_back(NUBBO_BRIDGE_PATH);
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<std::string> envStore;
    if (options.home) envStore.push_back("HOME=" + *options.home);
    if (options.socket) envStore.push_back("NUBBO_SOCKET=" + *options.socket);
    if (options.runtimeDir) envStore.push_back("XDG_RUNTIME_DIR=" + *options.runtimeDir);
    envStore.insert(envStore.end(), options.environment.begin(), options.environment.end());
    const char* path = std::getenv("PATH");
    envStore.push_back(std::string("PATH=") + (path ? path : "/usr/local/bin:/usr/bin:/bin"));
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name)) envStore.push_back(std::string(name) + "=" + value);
    }
    std::vector<char*> argv;
    for (auto& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) fail("pipe2");

    // posix_spawn rather than fork: cheaper from a sanitized, multi-threaded test process, and the child
    // gets SIGPIPE back at its default and an empty signal mask.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + options.limit;
    pid_t pid = -1;
    const int spawnError = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0) {
        errno = spawnError;
        fail(std::string("posix_spawn ") + argv[0]);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);

    int stdinFd = in[1];
    ::fcntl(stdinFd, F_SETFL, ::fcntl(stdinFd, F_GETFL) | O_NONBLOCK);
    if (stdinBytes.empty()) {
        ::close(stdinFd);
        stdinFd = -1;
    }
    int outFd = out[0];
    int errFd = err[0];
    int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));

    BridgeRun result;
    result.pid = pid;
    bool exited = false;
    bool killed = false;
    auto exitTime = start;
    for (;;) {
        const bool pipesOpen = outFd >= 0 || errFd >= 0 || stdinFd >= 0;
        if (!pipesOpen && (exited || pidFd < 0)) break;

        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline && !killed) {
            ::kill(pid, SIGKILL);
            killed = true;
            result.timedOut = true;
        }
        const int timeoutMs =
            killed ? -1 : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());

        pollfd fds[4] = {{stdinFd, POLLOUT, 0}, {outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {exited ? -1 : pidFd, POLLIN, 0}};
        pollRetrying(fds, 4, timeoutMs);

        if (stdinFd >= 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t n = ::write(stdinFd, stdinBytes.data(), stdinBytes.size());
            if (n > 0) stdinBytes.remove_prefix(static_cast<std::size_t>(n));
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || stdinBytes.empty()) {
                ::close(stdinFd);
                stdinFd = -1;
            }
        }
        for (auto [index, fd, sink] : {std::tuple{1, &outFd, &result.out}, std::tuple{2, &errFd, &result.err}}) {
            if (*fd >= 0 && (fds[index].revents & (POLLIN | POLLHUP | POLLERR))) {
                char chunk[65536];
                const ssize_t n = ::read(*fd, chunk, sizeof(chunk));
                if (n > 0) {
                    sink->append(chunk, static_cast<std::size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    ::close(*fd);
                    *fd = -1;
                }
            }
        }
        if (!exited && pidFd >= 0 && (fds[3].revents & POLLIN)) {
            exited = true;
            exitTime = std::chrono::steady_clock::now();
            // The child is gone; a stdin writer end that nobody reads any more is of no use.
            if (stdinFd >= 0) {
                ::close(stdinFd);
                stdinFd = -1;
            }
        }
    }

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!exited) exitTime = std::chrono::steady_clock::now();
    if (pidFd >= 0) ::close(pidFd);
    result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(exitTime - start);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

Exchange exchange(const TempHome& home, const std::vector<std::string>& args, std::string_view stdinBytes,
                  AppReply reply, std::chrono::milliseconds limit) {
    FakeApp app(home.socketPath(), std::move(reply));
    Exchange result;
    result.run = runBridge(args, stdinBytes, home, limit);
    result.request = app.request();
    if (result.request) result.record = parseRecord(*result.request);
    return result;
}

void expectQuiet(const BridgeRun& run) {
    EXPECT_FALSE(run.timedOut) << "the bridge was still running at the safety time-out";
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");
}

nlohmann::json parseFullRecord(const std::string& line) {
    nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
    if (record.is_discarded() || !record.is_object()) {
        ADD_FAILURE() << "the request is not a JSON object: " << line;
        return nlohmann::json::object();
    }
    for (const auto& [key, value] : record.items()) {
        EXPECT_TRUE(value.is_string()) << "\"" << key << "\" is not a string in " << line;
    }
    EXPECT_FALSE(record.contains("exitCode")) << line;
    for (const char* key : {"provider", "type", "message"}) {
        EXPECT_TRUE(record.contains(key)) << "no \"" << key << "\" in " << line;
    }
    return record;
}

nlohmann::json parseRecord(const std::string& line) {
    nlohmann::json record = parseFullRecord(line);
    record.erase(nubbo::wire::key::agentPid);
    record.erase(nubbo::wire::key::tty);
    for (const auto& [variable, member] : nubbo::wire::kInheritedVariables) record.erase(member);
    // Every record names the machine it comes from.
    utsname names{};
    EXPECT_EQ(::uname(&names), 0);
    EXPECT_EQ(record.value(nubbo::wire::key::host, std::string()), names.nodename) << line;
    record.erase(nubbo::wire::key::host);
    return record;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string fixturePath(const std::string& relative) {
    return std::string(NUBBO_FIXTURES_DIR) + "/" + relative;
}

} // namespace nubbo::test
