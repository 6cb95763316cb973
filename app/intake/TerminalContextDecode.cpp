#include "intake/TerminalContextDecode.h"

#include "common/WireProtocol.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace nubbo {
namespace {

namespace key = wire::key;

// The kernel's highest process id (PID_MAX_LIMIT).
constexpr std::uint64_t kMaxPid = 4194304;
// Window, pane and server ids fit 64 bits.
constexpr std::size_t kMaxDecimalDigits = 19;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isDecimal(std::string_view text) {
    return !text.empty() && text.size() <= kMaxDecimalDigits && std::all_of(text.begin(), text.end(), isDigit);
}

bool isAlnum(char c) { return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool isAbsolutePath(std::string_view text) { return text.size() > 1 && text.front() == '/'; }

// C0, DEL and C1 (U+0080..U+009F, which UTF-8 writes as C2 80..C2 9F).
bool hasControlCharacter(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7f) return true;
        if (byte == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9f) return true;
    }
    return false;
}

bool isPid(std::string_view text) {
    std::uint64_t value = 0;
    if (!isDecimal(text) || text.front() == '0') return false;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value <= kMaxPid;
}

bool isTerminalDevice(std::string_view text) {
    constexpr std::string_view pts = "/dev/pts/", tty = "/dev/tty";
    if (text.starts_with(pts)) return isDecimal(text.substr(pts.size()));
    if (!text.starts_with(tty)) return false;
    text.remove_prefix(tty.size());
    return !text.empty() && std::all_of(text.begin(), text.end(), isAlnum);
}

// "<socket path>,<server pid>,<session number>"; the path may hold commas of its own.
bool isTmuxVariable(std::string_view text) {
    const auto second = text.rfind(',');
    if (second == std::string_view::npos || second == 0) return false;
    const auto first = text.rfind(',', second - 1);
    if (first == std::string_view::npos) return false;
    return isAbsolutePath(text.substr(0, first)) && isPid(text.substr(first + 1, second - first - 1)) &&
           isDecimal(text.substr(second + 1));
}

bool isTmuxPane(std::string_view text) { return text.starts_with('%') && isDecimal(text.substr(1)); }

// Only a local socket: a path, or a name in the abstract namespace.
bool isKittyAddress(std::string_view text) {
    constexpr std::string_view unix = "unix:";
    if (!text.starts_with(unix)) return false;
    text.remove_prefix(unix.size());
    return isAbsolutePath(text) || (text.size() > 1 && text.front() == '@');
}

bool isAnyText(std::string_view) { return true; }

struct Field {
    const char* name;
    bool (*wellFormed)(std::string_view);
    QString TerminalContext::*member;
};

constexpr Field kFields[] = {
    {key::tty, isTerminalDevice, &TerminalContext::tty},
    {key::tmux, isTmuxVariable, &TerminalContext::tmux},
    {key::tmuxPane, isTmuxPane, &TerminalContext::tmuxPane},
    {key::kittyWindowId, isDecimal, &TerminalContext::kittyWindowId},
    {key::kittyListenOn, isKittyAddress, &TerminalContext::kittyListenOn},
    {key::weztermPane, isDecimal, &TerminalContext::weztermPane},
    {key::windowId, isDecimal, &TerminalContext::windowId},
    {key::termProgram, isAnyText, &TerminalContext::termProgram},
    {key::zellij, isAnyText, &TerminalContext::zellij},
    {key::zellijSession, isAnyText, &TerminalContext::zellijSession},
    {key::screen, isAnyText, &TerminalContext::screen},
};

// The member's text when it is a string short enough and free of control characters.
std::string_view plainString(const nlohmann::json& request, const char* name) {
    const auto it = request.find(name);
    if (it == request.end() || !it->is_string()) return {};
    const auto& text = it->get_ref<const std::string&>();
    if (text.size() > wire::kMaxTerminalValueBytes || hasControlCharacter(text)) return {};
    return text;
}

} // namespace

TerminalContext decodeTerminalContext(const nlohmann::json& request) {
    TerminalContext context;
    if (!request.is_object()) return context;
    if (const auto pid = plainString(request, key::agentPid); isPid(pid))
        std::from_chars(pid.data(), pid.data() + pid.size(), context.agentPid);
    for (const auto& field : kFields) {
        const auto text = plainString(request, field.name);
        if (!text.empty() && field.wellFormed(text))
            context.*field.member = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    return context;
}

} // namespace nubbo
