// Where the agent runs, from whatever a local process wrote on the socket: well-formed values come through,
// anything else is dropped while the event itself still counts.
#include "intake/IncomingEvent.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

using namespace nubbo;

namespace {

using Read = std::function<QString(const TerminalContext&)>;

// Each member with the values (JSON texts) it takes as they are and those it drops.
struct DecodeCase {
    const char* member;
    Read read;
    std::vector<std::string> taken;
    std::vector<std::string> dropped;
};

std::string quoted(const std::string& text) { return nlohmann::json(text).dump(); }

const DecodeCase kCases[] = {
    {"agentPid", [](const TerminalContext& c) { return c.agentPid ? QString::number(c.agentPid) : QString(); },
     {R"("4711")", R"("4194304")"}, {R"("4194305")", R"("0")", R"("-5")", R"("+5")", R"("012")", R"("12a")", "4711"}},
    {"tty", &TerminalContext::tty, {R"("/dev/pts/3")", R"("/dev/tty1")", R"("/dev/ttyS0")"},
     {R"("/dev/pts/")", R"("/dev/pts/3/../../sda")", R"("/dev/tty")", R"("/dev/sda")", R"("/dev/pts/1\n")"}},
    {"tmux", &TerminalContext::tmux, {R"("/tmp/tmux-1000/default,4242,0")", R"("/tmp/a,b/default,4242,3")"},
     {R"("tmp/default,1,0")", R"("/tmp/default,1")", R"("/tmp/default,x,0")", R"("/tmp/default,1,-1")", R"(",1,0")"}},
    {"tmuxPane", &TerminalContext::tmuxPane, {R"("%3")"}, {R"("3")", R"("%")", R"("%3;")"}},
    {"kittyWindowId", &TerminalContext::kittyWindowId, {R"("12")"}, {R"("1 2")", R"("0x1")"}},
    {"kittyListenOn", &TerminalContext::kittyListenOn, {R"("unix:/tmp/kitty-1")", R"("unix:@kitty-1")"},
     {R"("tcp:localhost:5000")", R"("unix:kitty")", R"("unix:@")", R"("fd:3")"}},
    {"weztermPane", &TerminalContext::weztermPane, {R"("0")"}, {R"("p1")"}},
    {"windowId", &TerminalContext::windowId, {R"("62914574")"}, {R"("")", R"("12345678901234567890")"}},
    {"termProgram", &TerminalContext::termProgram, {R"("WezTerm")", quoted(std::string(512, 'x')), R"("\u00e9t\u00e9")"},
     {quoted(std::string(513, 'x')), R"("a\u001b[31m")", R"("a\u0085")", R"(["WezTerm"])"}},
    {"zellij", &TerminalContext::zellij, {R"("0")"}, {}},
    {"zellijSession", &TerminalContext::zellijSession, {R"("calm-river")"}, {}},
    {"screen", &TerminalContext::screen, {R"("812.pts-1.host")"}, {R"("x\u007f")"}},
};

TEST(TerminalContextDecode, KeepsOnlyWellFormedValues) {
    for (const auto& c : kCases) {
        for (const bool taken : {true, false}) {
            for (const auto& value : taken ? c.taken : c.dropped) {
                const std::string line = R"({"message":"Bash",")" + std::string(c.member) + "\":" + value + "}";
                const auto request = IncomingEvent::decode(line);
                ASSERT_TRUE(request) << "the event itself was refused: " << line;
                const AgentEvent event = request->toAgentEvent();
                EXPECT_EQ(event.message, "Bash");
                const auto sent = nlohmann::json::parse(value);
                EXPECT_EQ(c.read(event.terminal), taken ? QString::fromStdString(sent.get<std::string>()) : QString())
                    << line;
                // Nothing lands in another member.
                for (const auto& other : kCases) {
                    if (&other != &c) {
                        EXPECT_TRUE(other.read(event.terminal).isEmpty()) << other.member << " from " << line;
                    }
                }
            }
        }
    }
}

} // namespace
