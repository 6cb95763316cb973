// The companion app's start-up time (process start to its socket listening) and its intake rate: events
// per second a loopback client pushes through the socket, one connection per event as the bridge does,
// with the app's peak memory meanwhile.
#include "BenchSupport.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nubbo::bench;

namespace {

struct App {
    pid_t pid = -1;
    int stderrFd = -1;  // read end when piped
};

App launch(const std::string& app, const std::string& home, bool pipeStderr) {
    int pipeFds[2] = {-1, -1};
    if (pipeStderr && ::pipe(pipeFds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(pipeStderr ? pipeFds[1] : devnull, 2);
        const std::string homeVar = "HOME=" + home, config = "XDG_CONFIG_HOME=" + home + "/.config";
        const char* path = std::getenv("PATH");
        const std::string pathVar = std::string("PATH=") + (path ? path : "/usr/bin:/bin");
        char* envp[] = {const_cast<char*>(homeVar.c_str()), const_cast<char*>(config.c_str()),
                        const_cast<char*>(pathVar.c_str()), const_cast<char*>("QT_QPA_PLATFORM=offscreen"), nullptr};
        char* argv[] = {const_cast<char*>(app.c_str()), nullptr};
        ::execve(app.c_str(), argv, envp);
        ::_exit(127);
    }
    if (pipeStderr) ::close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

void stop(App& app) {
    if (app.pid > 0) {
        ::kill(app.pid, SIGKILL);
        ::waitpid(app.pid, nullptr, 0);
    }
    if (app.stderrFd >= 0) ::close(app.stderrFd);
    app = {};
}

// Reads the app's stderr until the listening line; false after 10 s.
bool waitForListening(int fd) {
    std::string seen;
    const auto deadline = nowNs() + 10'000'000'000LL;
    while (nowNs() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buffer[4096];
        const auto n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        seen.append(buffer, static_cast<std::size_t>(n));
        if (seen.find("NUBBO_DBG nubbo socket listening at ") != std::string::npos) return true;
    }
    return false;
}

long statusKb(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    return -1;
}


// The agent log has one line per event the app received.
std::uint64_t countEventLines(const std::string& log) {
    std::ifstream in(log);
    std::string line;
    std::uint64_t count = 0;
    while (std::getline(in, line)) ++count;
    return count;
}

} // namespace

int main(int argc, char** argv) {
    const std::string app = argValue(argc, argv, "--app", NUBBO_BENCH_APP);
    const long runs = argNumber(argc, argv, "--runs", 9);
    const long events = argNumber(argc, argv, "--events", 20000);

    std::vector<Nanos> startups;
    for (long i = 0; i < runs; ++i) {
        TempDir home("nubbo-app");
        const auto t0 = nowNs();
        App process = launch(app, home.path(), true);
        const bool up = process.pid > 0 && waitForListening(process.stderrFd);
        const auto t1 = nowNs();
        stop(process);
        if (!up) {
            std::cerr << "the app did not start listening\n";
            return 1;
        }
        startups.push_back(t1 - t0);
    }
    std::cout << "app start-up, process start to \"nubbo socket listening at\" (" << runs << " runs)\n";
    printHeader();
    printRow("start-up", summarize(startups));

    TempDir home("nubbo-app");
    App process = launch(app, home.path(), true);
    if (process.pid <= 0 || !waitForListening(process.stderrFd)) {
        std::cerr << "the app did not start listening\n";
        return 1;
    }
    // Its stderr mirrors every log line; drain it so the app never blocks on a full pipe.
    std::thread drain([fd = process.stderrFd] {
        char buffer[65536];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
    });
    // Started with HOME alone (no runtime folder): the socket falls back to the state folder.
    const std::string state = home.path() + "/.local/state/Nubbo";
    const std::string socketPath = state + "/run/nubbo.sock", logPath = state + "/agent.log";
    const long idleKb = statusKb(process.pid, "VmRSS:");
    const std::string line =
        R"({"provider":"claude","type":"coding","message":"Bash","toolName":"Bash","command":"npm test",)"
        R"("cwd":"/home/dev/project","sessionId":"dd943cc6-c66b-4fa7-bcdc-e111b4df6e7d"})" "\n";
    const auto baseline = countEventLines(logPath);
    const auto t0 = nowNs();
    long sent = 0;
    for (long i = 0; i < events; ++i) sent += sendLine(socketPath, line) ? 1 : 0;
    const auto tSent = nowNs();
    std::uint64_t received = 0;
    const auto deadline = nowNs() + 60'000'000'000LL;
    while ((received = countEventLines(logPath) - baseline) < static_cast<std::uint64_t>(sent) && nowNs() < deadline)
        ::usleep(20000);
    const auto t1 = nowNs();
    const long peakKb = statusKb(process.pid, "VmHWM:");
    ::kill(process.pid, SIGKILL);
    ::waitpid(process.pid, nullptr, 0);
    drain.join();
    ::close(process.stderrFd);

    const double seconds = static_cast<double>(t1 - t0) / 1e9;
    std::printf("\nintake: %ld events sent, %llu logged by the app, %.2f s (client done after %.2f s)\n", sent,
                static_cast<unsigned long long>(received), seconds, static_cast<double>(tSent - t0) / 1e9);
    std::printf("intake rate: %.0f events/s\n", static_cast<double>(received) / seconds);
    std::printf("app memory: %.1f MiB resident when idle, %.1f MiB peak\n", idleKb / 1024.0, peakKb / 1024.0);
    return received == static_cast<std::uint64_t>(sent) && sent == events ? 0 : 1;
}
