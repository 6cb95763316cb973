// The real bridge against the real server: a verdict given in the app reaches the agent as its decision.
#include "SocketTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nubbo;
using namespace nubbo::test;

namespace {

struct BridgeRun {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs the bridge with HOME and the runtime folder inside it set, feeds it stdin and collects its output (bounded by a kill at 10 s).
BridgeRun runBridge(const std::string& home, const std::vector<std::string>& args, const std::string& input) {
    // Built before fork: a child of a threaded process must not allocate (another thread may hold the lock).
    std::vector<char*> argv{const_cast<char*>(NUBBO_BRIDGE_PATH)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string homeVar = "HOME=" + home;
    const std::string runtimeVar = "XDG_RUNTIME_DIR=" + home + "/run";
    int in[2], out[2], err[2];
    if (::pipe(in) || ::pipe(out) || ::pipe(err)) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
        char* envp[] = {const_cast<char*>(homeVar.c_str()), const_cast<char*>(runtimeVar.c_str()), nullptr};
        ::execve(NUBBO_BRIDGE_PATH, argv.data(), envp);
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    [[maybe_unused]] auto written = ::write(in[1], input.data(), input.size());
    ::close(in[1]);
    BridgeRun run;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (::poll(fds, 2, 100) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char buffer[4096];
            const auto n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    if (open > 0) ::kill(child, SIGKILL);
    for (auto& p : fds)
        if (p.fd >= 0) ::close(p.fd);
    ::waitpid(child, &run.status, 0);
    return run;
}

TEST(BridgeRoundTrip, AVerdictReachesTheAgentAsItsDecision) {
    TempDir home;
    const auto folder = home.path() + "/run/nubbo";
    std::filesystem::create_directories(folder);
    LocalSocketServer::Options options;
    options.socketPath = QString::fromStdString(folder + "/nubbo.sock");
    options.log = [](const QString&) {};
    LocalSocketServer server(options);
    Recorder recorder;
    recorder.attach(server);
    server.start();
    ASSERT_TRUE(server.waitUntilStarted(5s));

    const struct {
        const char* source;
        const char* event;
        bool allow;
        const char* printed;
    } cases[] = {
        {"claude", "PermissionRequest", true,
         R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"allow"}}})"},
        {"gemini", "BeforeTool", false, R"({"decision":"deny"})"},
        {"cline", "PreToolUse", false, R"({"cancel":true,"errorMessage":"Denied in Nubbo"})"},
    };
    for (const auto& c : cases) {
        // The user answers on another thread while the bridge waits.
        std::thread user([&] {
            auto delivered = recorder.next(8s);
            ASSERT_TRUE(delivered);
            EXPECT_EQ(delivered->event.type, AgentEventType::approvalRequired);
            EXPECT_EQ(delivered->event.command, "touch created-by-agent.txt");
            EXPECT_EQ(delivered->event.provider.rawValue(), c.source);
            delivered->reply(c.allow);
        });
        const auto run = runBridge(home.path(), {"--source", c.source, "--event", c.event},
                                   R"({"tool_name":"Bash","tool_input":{"command":"touch created-by-agent.txt"}})");
        user.join();
        EXPECT_EQ(run.out, std::string(c.printed) + "\n") << c.source;
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0);
    }

    // An ordinary event is acknowledged and the bridge leaves without printing.
    const auto run = runBridge(home.path(), {"--source", "codex", "--event", "Stop"}, "{}");
    EXPECT_EQ(run.out, "");
    auto delivered = recorder.next();
    ASSERT_TRUE(delivered);
    EXPECT_EQ(delivered->event.type, AgentEventType::responding);
    EXPECT_EQ(delivered->event.provider.rawValue(), "codex");
}

} // namespace
