// The TOML side of hook wiring, for agents whose hooks are [[hooks]] tables in a configuration file they
// share with their user. The file is edited as text, so the user's comments, order and spelling survive:
// the app's tables are appended at the end and removed again, and a TOML parser checks every result.
#pragma once

#include "hooks/HookEntries.h"
#include "common/ProviderSpec.h"

#include <optional>
#include <string>
#include <vector>

namespace nubbo {

struct TomlHookEntries {
    // One of the app's tables: "[[hooks]]", then event, command and timeout (the only keys the agent allows).
    static std::string makeTable(const ProviderSpec& spec, std::string_view event, const std::string& command);

    struct Edit {
        std::string text;   // the new file text
        std::string error;  // why the file cannot be edited; then `text` is empty
        bool ok() const { return error.empty(); }
    };
    // The file with the app's tables for the provider replacing any earlier ones of the app. A file that is
    // not valid TOML, or that would not be after the edit (say its hooks are an inline array), is refused.
    static Edit merge(const std::string& text, const ProviderSpec& spec, const HookCommandFor& commandFor);
    // The file without the app's tables, or nothing when it held none or the edit would change anything else.
    static std::optional<std::string> strip(const std::string& text);
    // Whether every event has one of the app's tables.
    static bool isWired(const std::string& text, const std::vector<std::string>& events);
};

} // namespace nubbo
