// Where the agent runs, from whatever a local process wrote on the socket: well-formed values come through,
// anything else is dropped while the event itself still counts.
#include "intake/IncomingEvent.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <string>

using namespace nubbo;

namespace {

struct DecodeCase {
    const char* member;
    std::string value;  // JSON text
    bool accepted;
};

const std::map<std::string, std::function<QString(const TerminalContext&)>> kRead = {
    {"agentPid", [](const TerminalContext& c) { return c.agentPid ? QString::number(c.agentPid) : QString(); }},
    {"tty", &TerminalContext::tty},
    {"tmux", &TerminalContext::tmux},
    {"tmuxPane", &TerminalContext::tmuxPane},
    {"kittyWindowId", &TerminalContext::kittyWindowId},
    {"kittyListenOn", &TerminalContext::kittyListenOn},
    {"weztermPane", &TerminalContext::weztermPane},
    {"windowId", &TerminalContext::windowId},
    {"termProgram", &TerminalContext::termProgram},
    {"zellij", &TerminalContext::zellij},
    {"zellijSession", &TerminalContext::zellijSession},
    {"screen", &TerminalContext::screen},
};

std::string quoted(const std::string& text) { return nlohmann::json(text).dump(); }

const DecodeCase kCases[] = {
    {"agentPid", R"("4711")", true},
    {"agentPid", R"("4194304")", true},
    {"agentPid", R"("4194305")", false},
    {"agentPid", R"("0")", false},
    {"agentPid", R"("-5")", false},
    {"agentPid", R"("+5")", false},
    {"agentPid", R"("012")", false},
    {"agentPid", R"("12a")", false},
    {"agentPid", "4711", false},
    {"tty", R"("/dev/pts/3")", true},
    {"tty", R"("/dev/tty1")", true},
    {"tty", R"("/dev/ttyS0")", true},
    {"tty", R"("/dev/pts/")", false},
    {"tty", R"("/dev/pts/3/../../sda")", false},
    {"tty", R"("/dev/tty")", false},
    {"tty", R"("/dev/sda")", false},
    {"tty", R"("/dev/pts/1\n")", false},
    {"tmux", R"("/tmp/tmux-1000/default,4242,0")", true},
    {"tmux", R"("/tmp/a,b/default,4242,3")", true},
    {"tmux", R"("tmp/default,1,0")", false},
    {"tmux", R"("/tmp/default,1")", false},
    {"tmux", R"("/tmp/default,x,0")", false},
    {"tmux", R"("/tmp/default,1,-1")", false},
    {"tmux", R"(",1,0")", false},
    {"tmuxPane", R"("%3")", true},
    {"tmuxPane", R"("3")", false},
    {"tmuxPane", R"("%")", false},
    {"tmuxPane", R"("%3;")", false},
    {"kittyWindowId", R"("12")", true},
    {"kittyWindowId", R"("1 2")", false},
    {"kittyWindowId", R"("0x1")", false},
    {"kittyListenOn", R"("unix:/tmp/kitty-1")", true},
    {"kittyListenOn", R"("unix:@kitty-1")", true},
    {"kittyListenOn", R"("tcp:localhost:5000")", false},
    {"kittyListenOn", R"("unix:kitty")", false},
    {"kittyListenOn", R"("unix:@")", false},
    {"kittyListenOn", R"("fd:3")", false},
    {"weztermPane", R"("0")", true},
    {"weztermPane", R"("p1")", false},
    {"windowId", R"("62914574")", true},
    {"windowId", R"("")", false},
    {"windowId", R"("12345678901234567890")", false},
    {"termProgram", R"("WezTerm")", true},
    {"termProgram", quoted(std::string(512, 'x')), true},
    {"termProgram", quoted(std::string(513, 'x')), false},
    {"termProgram", R"("a\u001b[31m")", false},
    {"termProgram", R"("a\u0085")", false},
    {"termProgram", R"("\u00e9t\u00e9")", true},
    {"termProgram", R"(["WezTerm"])", false},
    {"zellij", R"("0")", true},
    {"zellijSession", R"("calm-river")", true},
    {"screen", R"("812.pts-1.host")", true},
    {"screen", R"("x\u007f")", false},
};

TEST(TerminalContextDecode, KeepsOnlyWellFormedValues) {
    for (const auto& c : kCases) {
        const std::string line = R"({"type":"coding","message":"Bash",")" + std::string(c.member) + "\":" + c.value + "}";
        const auto request = IncomingEvent::decode(line);
        ASSERT_TRUE(request) << "the event itself was refused: " << line;
        const AgentEvent event = request->toAgentEvent();
        EXPECT_EQ(event.message, "Bash");
        const QString expected =
            c.accepted ? QString::fromStdString(nlohmann::json::parse(c.value).get<std::string>()) : QString();
        EXPECT_EQ(kRead.at(c.member)(event.terminal), expected) << line;
        // Nothing lands in another field.
        for (const auto& [name, read] : kRead) {
            if (name != c.member) {
                EXPECT_TRUE(read(event.terminal).isEmpty()) << name << " from " << line;
            }
        }
    }
}

} // namespace
