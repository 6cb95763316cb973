// The pure JSON side of hook wiring: building the app's entries, merging them into an agent's hook
// configuration and stripping them out again. No file access here, so every rule is testable on values.
#pragma once

#include "common/ProviderSpec.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nubbo {

// Any hook command containing this is the app's own.
inline constexpr std::string_view kAppHookMarker = "nubbo-bridge";
// Commands of another companion app that the app's own entries replace.
inline constexpr std::string_view kVibeIslandMarker = "vibe-island";

// The full command an entry runs for one event of one agent.
using HookCommandFor = std::function<std::string(std::string_view event)>;

struct HookEntries {
    // claudeHooks: one matcher group {"hooks":[{"type","command","timeout"}]} plus "matcher" when the family
    // gives one; the time-out is in the unit the provider reads.
    static nlohmann::json makeEntry(const ProviderSpec& spec, std::string_view event, const std::string& command);
    // cursorHooks: {"command","timeout"}.
    static nlohmann::json makeCursorEntry(const ProviderSpec& spec, std::string_view event, const std::string& command);
    // copilotFile: the whole owned file for the provider's events.
    static nlohmann::json makeOwnedFile(const ProviderSpec& spec, const HookCommandFor& commandFor);

    struct Filtered {
        nlohmann::json hooks;  // always an object
        bool removed = false;  // whether any entry or inner command was dropped
    };
    // Drops every entry whose own "command" holds a marker and every inner "hooks" item whose "command" holds
    // one; a group left with no inner item goes, and so does an event left with no entry. A value that is not
    // an array of objects is kept as it is.
    static Filtered filterHooks(const nlohmann::json& hooks, const std::vector<std::string_view>& markers);

    // The configuration with the app's entries for the provider (claudeHooks or cursorHooks) replacing any previous
    // app or Vibe Island entries; every other key and entry is kept in its order. `root` must be an object.
    static nlohmann::json merge(const nlohmann::json& root, const ProviderSpec& spec,
                                const HookCommandFor& commandFor);

    // The configuration without the app's entries, or nothing when it held none (so the caller leaves the
    // file's bytes alone). Vibe Island entries stay.
    static std::optional<nlohmann::json> strip(const nlohmann::json& root);

    // Whether every event has at least one app command under "hooks" (an empty event list is wired).
    static bool isWired(const nlohmann::json& root, const std::vector<std::string>& events);

    // Pretty-printed UTF-8 with sorted keys, unescaped slashes and a final newline.
    static std::string serialise(const nlohmann::json& value);
};

} // namespace nubbo
