// An agent's TOML configuration text of any content: a merge that is accepted is valid TOML, wires every
// event and is stable; stripping it takes the app's tables out again, back to the user's text (give or take a final newline), and never
// changes a file without them.
#include "common/ProviderRegistry.h"
#include "hooks/TomlHookEntries.h"

#include <cstdlib>
#include <toml++/toml.h>

namespace {

bool parses(const std::string& text) {
    try {
        (void)toml::parse(text);
        return true;
    } catch (const toml::parse_error&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const nubbo::ProviderSpec* spec = [] {
        for (const auto& candidate : nubbo::ProviderRegistry::all())
            if (candidate.mechanism == nubbo::HookMechanism::tomlHooks) return &candidate;
        std::abort();
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const nubbo::HookCommandFor commandFor = [](std::string_view event) {
        return "'/home/u/.nubbo/bin/nubbo-bridge' --source " + spec->id + " --event " + std::string(event);
    };
    const bool mentionsApp = text.find(nubbo::kAppHookMarker) != std::string::npos;

    const auto strippedAsFound = nubbo::TomlHookEntries::strip(text);
    if (strippedAsFound && (!mentionsApp || !parses(*strippedAsFound))) std::abort();

    const auto edit = nubbo::TomlHookEntries::merge(text, *spec, commandFor);
    if (!edit.ok()) {
        if (!edit.text.empty()) std::abort();
        return 0;
    }
    if (!parses(edit.text) || !nubbo::TomlHookEntries::isWired(edit.text, spec->events)) std::abort();
    const auto again = nubbo::TomlHookEntries::merge(edit.text, *spec, commandFor);
    if (!again.ok() || again.text != edit.text) std::abort();

    const auto stripped = nubbo::TomlHookEntries::strip(edit.text);
    if (!stripped || !parses(*stripped)) std::abort();
    for (const auto& event : spec->events)
        if (nubbo::TomlHookEntries::isWired(*stripped, {event})) std::abort();
    if (nubbo::TomlHookEntries::strip(*stripped)) std::abort();
    // Install then uninstall gives the user's own text back; a file that did not end in a newline may gain
    // one, since the stripped text cannot tell whether it had one.
    if (!mentionsApp && *stripped != text && *stripped != text + '\n') std::abort();
    return 0;
}
