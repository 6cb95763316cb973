#include "bridge/AgentLocation.h"

#include "common/WireProtocol.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace nubbo::bridge {
namespace {

// What a hook runner starts the bridge through: `sh -c`, a user's wrapper script, `env VAR=… nubbo-bridge`.
constexpr std::array<std::string_view, 9> kShells{"sh", "bash", "dash", "zsh", "fish", "ksh", "mksh", "busybox", "env"};
constexpr int kMaxSteps = 8;
// Enough for any stat line; an environment beyond this is read no further.
constexpr std::size_t kStatBytes = 1024;
constexpr std::size_t kEnvironBytes = 131072;
// Unix98 pseudo-terminal slaves.
constexpr unsigned kFirstPtsMajor = 136;
constexpr unsigned kLastPtsMajor = 143;

std::string readSmall(const std::string& path, std::size_t limit) {
    std::string data;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return data;
    data.resize(limit);
    std::size_t used = 0;
    while (used < limit) {
        const auto n = ::read(fd, data.data() + used, limit - used);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    data.resize(used);
    return data;
}

template <typename Number>
bool parseNumber(std::string_view text, Number& out) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

bool isAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isTerminalDevice(std::string_view path) {
    constexpr std::string_view pts = "/dev/pts/", tty = "/dev/tty";
    if (path.starts_with(pts)) {
        path.remove_prefix(pts.size());
        return !path.empty() && std::all_of(path.begin(), path.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
    if (!path.starts_with(tty)) return false;
    path.remove_prefix(tty.size());
    return !path.empty() && std::all_of(path.begin(), path.end(), isAlnum);
}

std::string procPath(const std::string& root, pid_t pid, std::string_view leaf) {
    return root + "/" + std::to_string(pid) + "/" + std::string(leaf);
}

// A standard stream that is a terminal names it; else the controlling terminal, when it is a pseudo-terminal.
std::string terminalOf(const std::string& procRoot, pid_t pid, unsigned long long ttyNr) {
    for (const char* fd : {"fd/0", "fd/1", "fd/2"}) {
        char target[256];
        const auto n = ::readlink(procPath(procRoot, pid, fd).c_str(), target, sizeof target);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) continue;
        const std::string_view device(target, static_cast<std::size_t>(n));
        if (isTerminalDevice(device)) return std::string(device);
    }
    return pseudoTerminalOf(ttyNr);
}

// Each NAME=value entry `next` yields, until it yields nothing.
template <typename Next>
std::vector<std::pair<const char*, std::string>> inheritedFrom(Next next) {
    std::vector<std::pair<const char*, std::string>> found;
    while (const auto entry = next()) {
        const auto equals = entry->find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view name = entry->substr(0, equals), value = entry->substr(equals + 1);
        if (value.empty() || value.size() > wire::kMaxTerminalValueBytes) continue;
        for (const auto& [variable, member] : wire::kInheritedVariables) {
            if (name != variable) continue;
            if (std::none_of(found.begin(), found.end(), [&](const auto& f) { return f.first == member; }))
                found.emplace_back(member, std::string(value));
            break;
        }
    }
    return found;
}

} // namespace

std::optional<ProcStat> parseProcStat(std::string_view text) {
    const auto open = text.find(" (");
    const auto close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open + 2) return std::nullopt;
    pid_t pid = 0;
    if (!parseNumber(text.substr(0, open), pid)) return std::nullopt;
    ProcStat stat;
    stat.comm = std::string(text.substr(open + 2, close - open - 2));
    // After the name: state ppid pgrp session tty_nr.
    std::string_view rest = text.substr(close + 1);
    std::array<std::string_view, 5> fields;
    for (auto& field : fields) {
        if (!rest.starts_with(' ')) return std::nullopt;
        rest.remove_prefix(1);
        const auto end = std::min(rest.find(' '), rest.size());
        field = rest.substr(0, end);
        rest.remove_prefix(end);
    }
    if (fields[0].size() != 1 || !parseNumber(fields[1], stat.ppid) || !parseNumber(fields[4], stat.ttyNr))
        return std::nullopt;
    return stat;
}

std::string pseudoTerminalOf(unsigned long long ttyNr) {
    const unsigned major = (ttyNr >> 8) & 0xfff;
    const unsigned long long minor = (ttyNr & 0xff) | ((ttyNr >> 12) & 0xfff00);
    if (major < kFirstPtsMajor || major > kLastPtsMajor) return {};
    return "/dev/pts/" + std::to_string((major - kFirstPtsMajor) * 256ULL + minor);
}

AgentLocation locateAgent(const std::string& procRoot, pid_t parent, const char* const* environment) {
    AgentLocation location;
    pid_t pid = parent;
    std::optional<ProcStat> agent;
    for (int step = 0; step < kMaxSteps && pid > 1; ++step) {
        auto stat = parseProcStat(readSmall(procPath(procRoot, pid, "stat"), kStatBytes));
        if (!stat) break;
        if (std::find(kShells.begin(), kShells.end(), stat->comm) == kShells.end()) {
            agent = std::move(stat);
            break;
        }
        pid = stat->ppid;
    }
    if (agent) {
        location.agentPid = pid;
        location.tty = terminalOf(procRoot, pid, agent->ttyNr);
    }

    const char* const* entry = environment;
    location.inherited = inheritedFrom([&]() -> std::optional<std::string_view> {
        if (!entry || !*entry) return std::nullopt;
        return std::string_view(*entry++);
    });
    if (location.inherited.empty() && agent) {
        const std::string block = readSmall(procPath(procRoot, pid, "environ"), kEnvironBytes);
        std::string_view rest = block;
        location.inherited = inheritedFrom([&]() -> std::optional<std::string_view> {
            if (rest.empty()) return std::nullopt;
            const auto end = std::min(rest.find('\0'), rest.size());
            const std::string_view one = rest.substr(0, end);
            rest.remove_prefix(std::min(end + 1, rest.size()));
            return one;
        });
    }
    return location;
}

} // namespace nubbo::bridge
