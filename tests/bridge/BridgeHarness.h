// Runs the real nubbo-bridge binary against a fake app: a throw-away home folder, a one-connection
// socket server at the bridge's socket path, and a runner that captures stdout, stderr and the exit status.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace nubbo::test {

using namespace std::chrono_literals;

// Where the app listens below the runtime folder (XDG_RUNTIME_DIR) the bridge is given.
inline constexpr std::string_view kSocketSuffix = "/nubbo/nubbo.sock";

// A home folder and a private runtime folder beside it, made with mkdtemp and removed, with everything
// inside, on destruction. The bridge is given both, so the socket's place does not depend on whether this
// machine has a /run/user/<uid>.
class TempHome {
public:
    TempHome();
    // A socket path exactly socketPathBytes long (the runtime folder padded with 'r's).
    explicit TempHome(std::size_t socketPathBytes);
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return home_; }
    const std::string& runtimeDir() const { return runtime_; }
    std::string socketPath() const { return runtime_ + std::string(kSocketSuffix); }

    // Writes a file below the home, creating its folders; returns the full path.
    std::string writeFile(const std::string& relative, std::string_view content) const;
    // Sets the modification time of a file below the home (seconds since the epoch).
    void setModified(const std::string& relative, std::time_t seconds) const;

private:
    std::string root_;
    std::string home_;
    std::string runtime_;
};

// What the fake app does once a producer has connected.
struct AppReply {
    enum class Then { Close, Hold };

    std::string bytes;         // written after the request line has been read
    Then then = Then::Close;   // Hold keeps the connection open until release() or destruction
    bool readRequest = true;   // false: hang up right after accept, without reading anything

    static AppReply send(std::string bytes) { return {std::move(bytes), Then::Close, true}; }
    static AppReply sendAndHold(std::string bytes) { return {std::move(bytes), Then::Hold, true}; }
    static AppReply closeWithoutReply() { return {{}, Then::Close, true}; }
    static AppReply hold() { return {{}, Then::Hold, true}; }
    static AppReply hangUpAtOnce() { return {{}, Then::Close, false}; }
};

// A Unix socket server on its own thread that accepts exactly one connection.
class FakeApp {
public:
    FakeApp(const std::string& socketPath, AppReply reply);
    ~FakeApp();
    FakeApp(const FakeApp&) = delete;
    FakeApp& operator=(const FakeApp&) = delete;

    // The request line without its newline, once read (up to a newline or end of stream);
    // nothing when no producer connected and sent something within `wait`.
    std::optional<std::string> request(std::chrono::milliseconds wait = 10s);
    // Whether the request ended with a newline byte (rather than end of stream).
    bool requestEndedWithNewline();
    // Bytes the producer sent after the request line while the connection was held.
    std::string bytesAfterRequest();
    // Whether the producer closed its end while the fake app was holding the connection.
    bool peerClosedWhileHeld(std::chrono::milliseconds wait = 10s);
    // Whether a producer connected (waits up to `wait` for it).
    bool accepted(std::chrono::milliseconds wait = 10s);
    // Ends a Hold.
    void release();

private:
    void serve(AppReply reply);
    void finishRequest(std::string line, bool newline);

    std::string path_;
    int listenFd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool accepted_ = false;
    bool requestDone_ = false;
    bool gotRequest_ = false;
    bool newline_ = false;
    bool peerClosed_ = false;
    std::string line_;
    std::string after_;
};

// A listening socket that never accepts: shows whether a producer connected at all, or stands for an app
// whose listen backlog is full.
class IdleListener {
public:
    IdleListener(const std::string& socketPath, int backlog);
    ~IdleListener();
    IdleListener(const IdleListener&) = delete;
    IdleListener& operator=(const IdleListener&) = delete;

    // Whether a connection is queued, waiting to be accepted.
    bool hasPendingConnection() const;
    // Queues non-blocking client connections until the kernel refuses one (EAGAIN); false if it never did.
    bool fillBacklog(int maxClients = 256);

private:
    std::string path_;
    int fd_ = -1;
    std::vector<int> clients_;
};

// Leaves a socket file behind that nobody listens on, as a crashed app would.
void makeStaleSocketFile(const std::string& socketPath);

struct BridgeRun {
    std::string out;
    std::string err;
    int exitCode = -1;       // valid when the process exited normally
    int signal = 0;          // the terminating signal, when killed by one
    bool timedOut = false;   // killed by the safety net
    std::chrono::milliseconds elapsed{};
    int pid = -1;            // the process started (the launcher's, when there is one)

    bool exitedCleanly() const { return !timedOut && signal == 0 && exitCode == 0; }
};

struct BridgeOptions {
    std::optional<std::string> home;  // HOME in the child's environment; unset when absent
    std::chrono::milliseconds limit = 10s;
    std::optional<std::string> socket;      // NUBBO_SOCKET in the child's environment; unset when absent
    std::optional<std::string> runtimeDir;  // XDG_RUNTIME_DIR in the child's environment; unset when absent
    std::vector<std::string> environment;   // further NAME=value entries
    std::vector<std::string> launcher;      // started instead, with the bridge and its arguments after it
};

// Spawns NUBBO_BRIDGE_PATH with `args` (through the launcher, when given), the given standard input and an
// environment of PATH, whichever of HOME, XDG_RUNTIME_DIR and NUBBO_SOCKET are given and the further entries
// (plus the sanitizer options, when set); killed and reported as timed out after `limit`.
BridgeRun runBridge(const std::vector<std::string>& args, std::string_view stdinBytes, const BridgeOptions& options);

inline BridgeRun runBridge(const std::vector<std::string>& args, std::string_view stdinBytes, const TempHome& home,
                           std::chrono::milliseconds limit = 10s) {
    return runBridge(args, stdinBytes, BridgeOptions{home.path(), limit, std::nullopt, home.runtimeDir(), {}, {}});
}

// One run of the bridge against a fake app answering as told.
struct Exchange {
    BridgeRun run;
    std::optional<std::string> request;  // the line the app received, if any
    nlohmann::json record;               // that line parsed (checked by parseRecord)
};

Exchange exchange(const TempHome& home, const std::vector<std::string>& args, std::string_view stdinBytes,
                  AppReply reply, std::chrono::milliseconds limit = 10s);

// Exit status 0, no signal, no time-out, nothing on stdout or stderr.
void expectQuiet(const BridgeRun& run);

// Parses a request line and checks what holds for every record the bridge sends: a JSON object of string
// values, with "provider", "type" and "message" and without "exitCode". Failures are reported to gtest.
nlohmann::json parseFullRecord(const std::string& line);
// The same without where the agent runs, which is the process running the test: what the hook itself said.
nlohmann::json parseRecord(const std::string& line);

std::string readFile(const std::string& path);
std::string fixturePath(const std::string& relative);

} // namespace nubbo::test
