#include "BenchSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace nubbo::bench {

Nanos nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<Nanos>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

Stats summarize(std::vector<Nanos> samples)
{
    Stats s;
    s.runs = samples.size();
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    const double mid = n % 2 ? double(samples[n / 2]) : (double(samples[n / 2 - 1]) + double(samples[n / 2])) / 2;
    // Nearest-rank percentile.
    std::size_t p90 = (n * 9 + 9) / 10;
    p90 = std::clamp<std::size_t>(p90, 1, n) - 1;
    s.medianMs = mid / 1e6;
    s.p90Ms = double(samples[p90]) / 1e6;
    s.minMs = double(samples.front()) / 1e6;
    return s;
}

double ratio(const Stats& a, const Stats& b)
{
    return (a.runs && b.runs && b.medianMs > 0) ? a.medianMs / b.medianMs : 0.0;
}

void printHeader()
{
    std::printf("  %-40s %6s %11s %11s %11s\n", "case", "runs", "median ms", "p90 ms", "min ms");
}

void printRow(const std::string& name, const Stats& s)
{
    std::printf("  %-40s %6zu %11.3f %11.3f %11.3f\n", name.c_str(), s.runs, s.medianMs, s.p90Ms, s.minMs);
}

std::string argValue(int argc, char** argv, const std::string& name, const std::string& fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (name == argv[i])
            return argv[i + 1];
    return fallback;
}

bool hasFlag(int argc, char** argv, const std::string& name)
{
    for (int i = 1; i < argc; ++i)
        if (name == argv[i])
            return true;
    return false;
}

long argNumber(int argc, char** argv, const std::string& name, long fallback)
{
    const std::string v = argValue(argc, argv, name, "");
    if (v.empty())
        return fallback;
    char* end = nullptr;
    const long n = std::strtol(v.c_str(), &end, 10);
    return (end && *end == '\0' && n > 0) ? n : fallback;
}

TempDir::TempDir(const std::string& prefix)
{
    const char* root = std::getenv("TMPDIR");
    std::string tmpl = std::string(root && *root ? root : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()))
        path_ = buf.data();
}

TempDir::~TempDir()
{
    if (path_.empty())
        return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

bool makeParents(const std::string& path)
{
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    return !ec;
}

bool writeFile(const std::string& path, const std::string& contents)
{
    if (!makeParents(path))
        return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), std::streamsize(contents.size()));
    return bool(out);
}

std::uint64_t freeBytes(const std::string& path)
{
    struct statvfs st{};
    if (statvfs(path.c_str(), &st) != 0)
        return 0;
    return std::uint64_t(st.f_bavail) * st.f_frsize;
}

LineServer::LineServer(std::string socketPath) : path_(std::move(socketPath)) {}

LineServer::~LineServer() { stop(); }

bool LineServer::start()
{
    sockaddr_un addr{};
    if (path_.size() >= sizeof(addr.sun_path)) {
        std::fprintf(stderr, "socket path too long: %s\n", path_.c_str());
        return false;
    }
    if (!makeParents(path_))
        return false;
    ::unlink(path_.c_str());
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path_.c_str(), path_.size());
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(listenFd_, 128) != 0) {
        std::fprintf(stderr, "cannot listen on %s: %s\n", path_.c_str(), std::strerror(errno));
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    thread_ = std::thread([this] { loop(); });
    return true;
}

void LineServer::stop()
{
    if (thread_.joinable()) {
        stop_ = true;
        thread_.join();
    }
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        ::unlink(path_.c_str());
    }
}

std::uint64_t LineServer::lines() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string LineServer::lastLine() const
{
    std::lock_guard lock(mutex_);
    return lastLine_;
}

bool LineServer::waitForLines(std::uint64_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return lines_ >= n; });
}

void LineServer::loop()
{
    // Polling with a short time-out lets stop() end the thread without a wake-up connection.
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::string line;
        bool complete = false;
        char buf[4096];
        while (!complete) {
            // A client that never writes must not stall the benchmark.
            pollfd c{fd, POLLIN, 0};
            if (::poll(&c, 1, 2000) <= 0)
                break;
            const ssize_t got = ::read(fd, buf, sizeof buf);
            if (got <= 0)
                break;
            const char* nl = static_cast<const char*>(std::memchr(buf, '\n', std::size_t(got)));
            line.append(buf, nl ? std::size_t(nl - buf) : std::size_t(got));
            complete = nl != nullptr;
        }
        ::close(fd);
        if (!line.empty()) {
            std::lock_guard lock(mutex_);
            ++lines_;
            lastLine_ = std::move(line);
            cv_.notify_all();
        }
    }
}

Spawner::Spawner(std::vector<std::string> argv, std::vector<std::string> env, const std::string& stdinPath)
    : argv_(std::move(argv)), env_(std::move(env)), stdinPath_(stdinPath)
{
    for (auto& a : argv_)
        argvPtrs_.push_back(a.data());
    argvPtrs_.push_back(nullptr);
    for (auto& e : env_)
        envPtrs_.push_back(e.data());
    envPtrs_.push_back(nullptr);
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_addopen(&actions_, 0, stdinPath_.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0);
}

Spawner::~Spawner() { posix_spawn_file_actions_destroy(&actions_); }

std::optional<Nanos> Spawner::run()
{
    const Nanos start = nowNs();
    pid_t pid = -1;
    if (posix_spawn(&pid, argvPtrs_[0], &actions_, nullptr, argvPtrs_.data(), envPtrs_.data()) != 0)
        return std::nullopt;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const Nanos end = nowNs();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return end - start;
}

bool sendLine(const std::string& socketPath, const std::string& line) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                    ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return ok;
}

} // namespace nubbo::bench
