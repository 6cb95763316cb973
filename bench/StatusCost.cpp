// What a status bar polling `nubbo status --json` costs: the wall time of one call beside /bin/true, with the
// app idle and with the app taking 1,000 events a second, and the app's own CPU time per call. Runs on the
// session bus it is given (run.sh starts a private one).
//
// usage: nubbo-bench-status [--app PATH] [--cli PATH] [--runs N]
#include "BenchSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nubbo::bench;

namespace {

struct Timed {
    Nanos ns = 0;
    int exitCode = -1;
};

// Wall time of one run, its output thrown away.
Timed timeRun(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    std::vector<char*> args, vars;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env) vars.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    vars.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const Nanos start = nowNs();
    pid_t pid = -1;
    int status = 0;
    const bool spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), vars.data()) == 0;
    while (spawned && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const Nanos end = nowNs();
    posix_spawn_file_actions_destroy(&actions);
    return {end - start, spawned && WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

double percentileMs(std::vector<Nanos> samples, double p) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(p * static_cast<double>(samples.size()) + 0.999999);
    return static_cast<double>(samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1]) / 1e6;
}

// User and system CPU time of a process, in clock ticks.
long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::atol(field.c_str());
        if (i == 15) stime = std::atol(field.c_str());
    }
    return utime + stime;
}

bool fileEndsWithLine(const std::string& path) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return !text.empty() && text.back() == '\n';
}

} // namespace

int main(int argc, char** argv) {
    const std::string app = argValue(argc, argv, "--app", NUBBO_BENCH_APP);
    const std::string cli = argValue(argc, argv, "--cli", NUBBO_BENCH_CLI);
    const long runs = argNumber(argc, argv, "--runs", 300);
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!bus) {
        std::cerr << "no session bus: run under dbus-run-session\n";
        return 1;
    }
    TempDir home("nubbo-status");
    const std::string runtime = home.path() + "/run";
    ::mkdir(runtime.c_str(), 0700);
    const std::vector<std::string> env{"HOME=" + home.path(), "XDG_RUNTIME_DIR=" + runtime,
                                       "XDG_CONFIG_HOME=" + home.path() + "/.config",
                                       std::string("DBUS_SESSION_BUS_ADDRESS=") + bus, "QT_QPA_PLATFORM=offscreen"};

    const pid_t appPid = ::fork();
    if (appPid == 0) {
        const int devnull = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd) ::dup2(devnull, fd);
        std::vector<char*> vars;
        for (const auto& e : env) vars.push_back(const_cast<char*>(e.c_str()));
        vars.push_back(nullptr);
        char* args[] = {const_cast<char*>(app.c_str()), nullptr};
        ::execve(app.c_str(), args, vars.data());
        ::_exit(127);
    }
    // Up once it has put its bus name in the lock file and listens on its socket.
    const std::string socketPath = runtime + "/nubbo/nubbo.sock";
    const Nanos deadline = nowNs() + 30'000'000'000LL;
    while (nowNs() < deadline && !(fileEndsWithLine(runtime + "/nubbo/app.lock") && sendLine(socketPath, "")))
        ::usleep(20000);
    const std::vector<std::string> status{cli, "status", "--json"}, floor{"/bin/true"};
    const Timed probe = timeRun(status, env);
    if (probe.exitCode != 0) {
        std::cerr << "nubbo status --json exits with " << probe.exitCode << ": is the app up and serving Status()?\n";
        ::kill(appPid, SIGKILL);
        ::waitpid(appPid, nullptr, 0);
        return 1;
    }

    int failures = 0;
    const double msPerTick = 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
    const auto measure = [&](const char* title) {
        std::vector<Nanos> calls, trues;
        const long before = cpuTicks(appPid);
        const Nanos start = nowNs();
        for (long i = 0; i < runs; ++i) {
            const Timed t = timeRun(status, env);
            failures += t.exitCode != 0;
            calls.push_back(t.ns);
            trues.push_back(timeRun(floor, env).ns);
        }
        const double appMs = static_cast<double>(cpuTicks(appPid) - before) * msPerTick;
        // The app's own work over as long again without calls is what the calls did not cost.
        const long quietBefore = cpuTicks(appPid);
        ::usleep(static_cast<useconds_t>((nowNs() - start) / 1000));
        const double quietMs = static_cast<double>(cpuTicks(appPid) - quietBefore) * msPerTick;
        std::printf("%s (%ld runs each, interleaved)\n", title, runs);
        std::printf("  %-28s %11s %11s %11s\n", "case", "median ms", "p99 ms", "min ms");
        for (const auto& [name, samples] : {std::pair{"/bin/true", trues}, std::pair{"nubbo status --json", calls}})
            std::printf("  %-28s %11.3f %11.3f %11.3f\n", name, percentileMs(samples, 0.5), percentileMs(samples, 0.99),
                        percentileMs(samples, 0.0));
        std::printf("  app CPU time: %.0f ms during the calls, %.0f ms as long again without them: %.3f ms per call\n",
                    appMs, quietMs, (appMs - quietMs) / static_cast<double>(runs));
    };
    measure("nubbo status --json, app idle");

    // A producer at 1,000 events a second across eight sessions, for as long as the second round takes.
    std::atomic<bool> loading{true};
    std::atomic<long> sent{0};
    std::thread producer([&] {
        const Nanos start = nowNs();
        for (long i = 0; loading; ++i) {
            const std::string line = R"({"provider":"claude","type":"coding","message":"Bash","toolName":"Bash",)"
                                     R"("command":"npm test","cwd":"/home/dev/project","sessionId":"bench-)" +
                                     std::to_string(i % 8) + "\"}\n";
            sent += sendLine(socketPath, line) ? 1 : 0;
            const Nanos due = start + (i + 1) * 1'000'000LL;
            if (const Nanos wait = due - nowNs(); wait > 0) ::usleep(static_cast<useconds_t>(wait / 1000));
        }
    });
    const Nanos loadStart = nowNs();
    measure("\nnubbo status --json, app under 1,000 events/s");
    loading = false;
    producer.join();
    std::printf("  producer: %ld events in %.2f s\n", sent.load(), static_cast<double>(nowNs() - loadStart) / 1e9);

    ::kill(appPid, SIGTERM);
    ::waitpid(appPid, nullptr, 0);
    if (failures) std::cerr << failures << " calls did not exit with 0\n";
    return failures ? 1 : 0;
}
