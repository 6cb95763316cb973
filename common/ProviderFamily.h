// The hook dialect an agent speaks (payload shape and decision format), and how the app wires it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nubbo {

// Raw values are the case names; they are the wire and storage spellings.
enum class ProviderFamily { claude, codex, gemini, cursor, copilot, cline, kimi, bespoke };

inline constexpr std::array kAllProviderFamilies{
    ProviderFamily::claude, ProviderFamily::codex,   ProviderFamily::gemini, ProviderFamily::cursor,
    ProviderFamily::copilot, ProviderFamily::cline,  ProviderFamily::kimi,   ProviderFamily::bespoke};

std::string_view rawValue(ProviderFamily family);
std::optional<ProviderFamily> providerFamilyFromRaw(std::string_view raw);

// The native event names on which an agent of this family waits for a verdict (none for bespoke).
const std::vector<std::string_view>& decisionEvents(ProviderFamily family);
bool isDecisionEvent(ProviderFamily family, std::string_view event);

// What the installer writes into each hook entry: how long the agent lets the bridge run, in seconds
// (hookTimeout in ProviderSpec.h turns it into the unit the agent reads), and the matcher (absent means
// the entry carries no matcher at all).
int hookTimeoutSeconds(ProviderFamily family, std::string_view event);
std::optional<std::string> hookMatcher(ProviderFamily family, std::string_view event);

// tomlHooks: [[hooks]] tables (event, command, timeout) in a TOML file the agent shares with its user.
enum class HookMechanism { claudeHooks, cursorHooks, copilotFile, jsPlugin, scriptDir, tomlHooks };

inline constexpr std::array kAllHookMechanisms{HookMechanism::claudeHooks, HookMechanism::cursorHooks,
                                               HookMechanism::copilotFile, HookMechanism::jsPlugin,
                                               HookMechanism::scriptDir,   HookMechanism::tomlHooks};

std::string_view rawValue(HookMechanism mechanism);
std::optional<HookMechanism> hookMechanismFromRaw(std::string_view raw);

} // namespace nubbo
