// Where the agent runs, as the real bridge reports it: the test process plays the agent that fires the hook.
#include "BridgeHarness.h"
#include "bridge/AgentLocation.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace nubbo::test;

namespace {

enum class Launch { Direct, ThroughShell, AgentTrimsEnvironment };

struct LocationCase {
    const char* name;
    Launch launch;
    std::vector<std::string> environment;          // the bridge's, or the agent's when it trims the hook's
    std::map<std::string, std::string> expected;   // every inherited member sent, and nothing else
};

const std::string kTmux = "/tmp/tmux-1000/default,4242,0";

const LocationCase kCases[] = {
    {"DirectWithTmux", Launch::Direct,
     {"TMUX=" + kTmux, "TMUX_PANE=%3", "STY=", "TERM_PROGRAM=" + std::string(513, 'x'), "NOT_A_TERMINAL=1"},
     {{"tmux", kTmux}, {"tmuxPane", "%3"}}},
    {"ThroughShellWithEveryVariable", Launch::ThroughShell,
     {"TMUX=" + kTmux, "TMUX_PANE=%0", "KITTY_WINDOW_ID=4", "KITTY_LISTEN_ON=unix:/tmp/kitty-1", "WEZTERM_PANE=2",
      "WINDOWID=62914574", "TERM_PROGRAM=WezTerm", "ZELLIJ=0", "ZELLIJ_SESSION_NAME=calm-river", "STY=812.pts-1.host"},
     {{"tmux", kTmux}, {"tmuxPane", "%0"}, {"kittyWindowId", "4"}, {"kittyListenOn", "unix:/tmp/kitty-1"},
      {"weztermPane", "2"}, {"windowId", "62914574"}, {"termProgram", "WezTerm"}, {"zellij", "0"},
      {"zellijSession", "calm-river"}, {"screen", "812.pts-1.host"}}},
    {"AgentTrimsTheHookEnvironment", Launch::AgentTrimsEnvironment,
     {"KITTY_WINDOW_ID=9", "KITTY_LISTEN_ON=unix:@kitty", "WINDOWID=1234"},
     {{"kittyWindowId", "9"}, {"kittyListenOn", "unix:@kitty"}, {"windowId", "1234"}}},
};

void PrintTo(const LocationCase& c, std::ostream* os) { *os << c.name; }

class AgentLocationTest : public ::testing::TestWithParam<LocationCase> {};

TEST_P(AgentLocationTest, RecordSaysWhereTheAgentRuns) {
    const LocationCase& c = GetParam();
    TempHome home;
    BridgeOptions options{home.path(), 10s, std::nullopt, home.runtimeDir(), c.environment, {}};
    if (c.launch == Launch::ThroughShell) options.launcher = {"/bin/sh", "-c", "\"$0\" \"$@\"; exit $?"};
    if (c.launch == Launch::AgentTrimsEnvironment) {
        // A shell under a name that is no shell's is the agent; it starts the bridge with none of its variables.
        const std::string agent = home.path() + "/agent";
        ASSERT_EQ(::symlink("/bin/sh", agent.c_str()), 0);
        options.launcher = {agent, "-c",
                            R"(env -i HOME="$HOME" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" "$0" "$@"; exit $?)"};
    }

    FakeApp app(home.socketPath(), AppReply::send("{\"ok\":true}\n"));
    const BridgeRun run = runBridge({"--source", "claude", "--event", "PreToolUse"}, "{}", options);
    expectQuiet(run);
    const auto request = app.request();
    ASSERT_TRUE(request);
    const nlohmann::json record = parseFullRecord(*request);

    const int agent = c.launch == Launch::AgentTrimsEnvironment ? run.pid : static_cast<int>(::getpid());
    EXPECT_EQ(record.value("agentPid", ""), std::to_string(agent));
    // The test's own terminal, if it has one, must be a real device.
    if (record.contains("tty")) {
        struct stat device {};
        EXPECT_EQ(::stat(record["tty"].get<std::string>().c_str(), &device), 0);
        EXPECT_TRUE(S_ISCHR(device.st_mode)) << record["tty"];
    }
    std::map<std::string, std::string> inherited;
    for (const auto& [name, value] : record.items())
        if (!std::set<std::string>{"provider", "type", "message", "toolName", "agentPid", "tty", "host"}.count(name))
            inherited[name] = value.get<std::string>();
    EXPECT_EQ(inherited, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Launches, AgentLocationTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// comm is whatever the program's file was called, parentheses and spaces included.
TEST(ProcStat, ParsesTheFieldsAfterTheLastParenthesis) {
    struct Case {
        const char* line;
        const char* comm;  // nullptr: refused
        int ppid;
        const char* terminal;
    };
    const Case cases[] = {
        {"4711 (claude) S 4700 4711 4700 34817 4711 4194560 1 0", "claude", 4700, "/dev/pts/1"},
        {"9 (a) b (c)) R 8 9 9 0 -1 0", "a) b (c)", 8, ""},
        {"12 (node) S 11 12 12 35072 12 0", "node", 11, "/dev/pts/256"},
        {"12 (node) S 11 12 12 1083392 12 0", "node", 11, "/dev/pts/256"},
        {"13 (x) S 1 13 13 1025 13 0", "x", 1, ""},  // /dev/tty1 is no pseudo-terminal
        {"13 (x) S 1 13", nullptr, 0, ""},
        {"pid (x) S 1 2 3 4", nullptr, 0, ""},
        {"13 x) S 1 2 3 4", nullptr, 0, ""},
        {"", nullptr, 0, ""},
    };
    for (const auto& c : cases) {
        const auto stat = nubbo::bridge::parseProcStat(c.line);
        ASSERT_EQ(stat.has_value(), c.comm != nullptr) << c.line;
        if (!stat) continue;
        EXPECT_EQ(stat->comm, c.comm);
        EXPECT_EQ(stat->ppid, c.ppid) << c.line;
        EXPECT_EQ(nubbo::bridge::pseudoTerminalOf(stat->ttyNr), c.terminal) << c.line;
    }
}

} // namespace
