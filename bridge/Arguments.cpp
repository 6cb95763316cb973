#include "bridge/Arguments.h"

#include "common/Utf8Text.h"

namespace nubbo::bridge {

std::vector<std::string> argumentStrings(int argc, char** argv) {
    std::vector<std::string> args;
    args.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i) args.push_back(text::repairUtf8(argv[i] ? argv[i] : ""));
    return args;
}

std::optional<std::string> argValue(std::span<const std::string> args, std::string_view name) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name) continue;
        if (i + 1 < args.size()) return args[i + 1];
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace nubbo::bridge
