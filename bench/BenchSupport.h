// Shared pieces of the benchmark programs: monotonic timing, sample statistics, temporary folders,
// a line-reading Unix socket server and a pre-built posix_spawn runner.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>

namespace nubbo::bench {

using Nanos = std::int64_t;

Nanos nowNs();

struct Stats {
    std::size_t runs = 0;
    double medianMs = 0;
    double p90Ms = 0;
    double minMs = 0;
};
Stats summarize(std::vector<Nanos> samples);

// Ratio of two medians, 0 when the baseline is missing.
double ratio(const Stats& a, const Stats& b);

// Plain fixed-width table on stdout.
void printHeader();
void printRow(const std::string& name, const Stats& s);

// Value of "--name value" in argv, or the fallback.
std::string argValue(int argc, char** argv, const std::string& name, const std::string& fallback);
bool hasFlag(int argc, char** argv, const std::string& name);
long argNumber(int argc, char** argv, const std::string& name, long fallback);

// A folder under $TMPDIR (or /tmp), removed with everything inside when the object dies.
class TempDir {
public:
    explicit TempDir(const std::string& prefix);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    bool ok() const { return !path_.empty(); }

private:
    std::string path_;
};

// Creates the parents of path; false on failure.
bool makeParents(const std::string& path);
bool writeFile(const std::string& path, const std::string& contents);
// Free bytes on the file system holding path.
std::uint64_t freeBytes(const std::string& path);

// One producer connection, as the bridge makes it: connect, write the line, close without reading.
bool sendLine(const std::string& socketPath, const std::string& line);

// Accepts one connection at a time, reads one line (or to end of stream), closes, and counts lines.
// Runs on its own thread so the measured processes find a listening socket like the app's.
class LineServer {
public:
    explicit LineServer(std::string socketPath);
    ~LineServer();
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    bool start();
    void stop();
    std::uint64_t lines() const;
    std::string lastLine() const;
    // Waits until at least n lines have arrived; false after the timeout.
    bool waitForLines(std::uint64_t n, std::chrono::milliseconds timeout) const;

private:
    void loop();

    std::string path_;
    int listenFd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::uint64_t lines_ = 0;
    std::string lastLine_;
};

// One command with its argument vector, environment and standard input prepared ahead, so that a timed
// run covers only posix_spawn up to waitpid.
class Spawner {
public:
    Spawner(std::vector<std::string> argv, std::vector<std::string> env, const std::string& stdinPath);
    ~Spawner();
    Spawner(const Spawner&) = delete;
    Spawner& operator=(const Spawner&) = delete;

    // Wall time of one run, or nothing when the spawn failed or the child did not exit with status 0.
    std::optional<Nanos> run();
    const std::string& program() const { return argv_.front(); }

private:
    std::vector<std::string> argv_;
    std::vector<std::string> env_;
    std::string stdinPath_;
    std::vector<char*> argvPtrs_;
    std::vector<char*> envPtrs_;
    posix_spawn_file_actions_t actions_;
};

} // namespace nubbo::bench
