// Where the agent that fired the hook runs: its process, its terminal and the terminal context it inherited,
// read from /proc and the environment in a handful of small reads. Every value may be missing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace nubbo::bridge {

struct AgentLocation {
    pid_t agentPid = 0;  // 0: unknown
    std::string tty;     // "/dev/pts/3"; empty: unknown
    // Inherited variables by member name (wire::kInheritedVariables), only those set and short enough.
    std::vector<std::pair<const char*, std::string>> inherited;
};

// The fields of /proc/<pid>/stat the walk needs.
struct ProcStat {
    std::string comm;
    pid_t ppid = 0;
    unsigned long long ttyNr = 0;
};

// Nothing unless the text has the shape "pid (comm) state ppid pgrp session tty_nr ..."; comm may hold
// spaces and parentheses, so it ends at the last ')'.
std::optional<ProcStat> parseProcStat(std::string_view text);

// "/dev/pts/<n>" for a tty_nr naming a pseudo-terminal, else "".
std::string pseudoTerminalOf(unsigned long long ttyNr);

// Starts at `parent` (the bridge's parent), skipping the shells a hook runner puts in between. The
// variables come from `environment` (NAME=value entries) or, when it holds none of them, from the agent's
// own environment in /proc: an agent may start its hooks with a trimmed one.
AgentLocation locateAgent(const std::string& procRoot, pid_t parent, const char* const* environment);

} // namespace nubbo::bridge
