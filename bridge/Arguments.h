// The bridge's command line: `nubbo-bridge --source <provider id> --event <native hook event>`.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nubbo::bridge {

// argv as text, each argument repaired to valid UTF-8.
std::vector<std::string> argumentStrings(int argc, char** argv);

// The argument after the first one equal to `name` (the program path is scanned too); nothing when
// `name` is absent or last. "--source=x" is deliberately not recognised.
std::optional<std::string> argValue(std::span<const std::string> args, std::string_view name);

} // namespace nubbo::bridge
