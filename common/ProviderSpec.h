// One catalogue entry: everything the system knows statically about one supported agent.
#pragma once

#include "common/ProviderFamily.h"

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nubbo {

struct ProviderSpec {
    std::string id;                            // lower-case; the wire "provider" and the bridge's --source
    std::string title;
    std::string iconName;                      // a system symbol name
    ProviderFamily family = ProviderFamily::claude;
    std::vector<std::string> executableNames;  // the first is what the detector looks for
    HookMechanism mechanism = HookMechanism::claudeHooks;
    std::string configRelativePath;            // relative to the home directory
    std::vector<std::string> events;           // native hook events that get entries, in write order
    bool confirmed = false;                    // integration enabled by default
    // The environment variable that moves the agent's config folder (empty: none does), and the part of
    // configRelativePath that lies inside that folder: with CLAUDE_CONFIG_DIR=/x Claude reads /x/settings.json.
    std::string configFolderVariable;
    std::string configInFolder;

    bool operator==(const ProviderSpec&) const = default;
};

enum class TimeoutUnit { seconds, milliseconds };

// The unit the agent reads a hook entry's "timeout" in. Gemini counts milliseconds; so does Qwen Code,
// which reads values of 1000 or more as milliseconds and smaller ones as seconds, so milliseconds mean
// the same to its older releases that read only milliseconds.
TimeoutUnit hookTimeoutUnit(const ProviderSpec& spec);
// The time-out written into the provider's entry for this event, in the provider's unit.
int hookTimeout(const ProviderSpec& spec, std::string_view event);

// Whether the agent's "allow" is only a non-veto: Gemini and Kimi ask the user themselves after an allow, so
// the app can stop a request but never grant one.
bool decisionsOnlyVeto(const ProviderSpec& spec);

// Folders (relative to the home directory) where earlier releases of the app wrote this agent's hook
// scripts and the agent no longer looks: the app's own scripts there are removed, so nothing fires twice
// if an agent ever reads both again.
std::vector<std::string> formerHookFolders(const ProviderSpec& spec);

// Shared JSON files (relative to the home directory) where earlier releases of the app wrote this agent's
// entries in a dialect it never read: the app's entries there are stripped.
std::vector<std::string> formerHookFiles(const ProviderSpec& spec);

// Where the agent's config folder is, relative to the home directory, while its variable is unset:
// configRelativePath without configInFolder, "" for the home itself. Empty for an agent without a variable.
std::string defaultConfigFolder(const ProviderSpec& spec);

// Keys are the field names; family and mechanism as their raw strings.
nlohmann::json toJson(const ProviderSpec& spec);
// Every key is required and must have its type; anything else yields nothing.
std::optional<ProviderSpec> providerSpecFromJson(const nlohmann::json& json);

} // namespace nubbo
