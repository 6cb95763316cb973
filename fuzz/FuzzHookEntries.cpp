// An agent's JSON hook configuration of any shape: merging wires every event, is stable, keeps the user's
// other keys and serialises to the same JSON; stripping then leaves no app command, and never changes a file
// that held none.
#include "hooks/HookEntries.h"
#include "common/ProviderRegistry.h"

#include <cstdlib>

namespace {

using nlohmann::json;

std::vector<const nubbo::ProviderSpec*> jsonSpecs() {
    std::vector<const nubbo::ProviderSpec*> specs;
    for (const auto& spec : nubbo::ProviderRegistry::all())
        if (spec.mechanism == nubbo::HookMechanism::claudeHooks || spec.mechanism == nubbo::HookMechanism::cursorHooks)
            specs.push_back(&spec);
    return specs;
}

bool mentionsApp(const json& value) {
    return nubbo::HookEntries::serialise(value).find(nubbo::kAppHookMarker) != std::string::npos;
}

void roundTrips(const json& value) {
    const auto text = nubbo::HookEntries::serialise(value);
    if (text.empty() || text.back() != '\n' || json::parse(text, nullptr, false) != value) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const auto specs = jsonSpecs();
    const auto& spec = *specs[data[0] % specs.size()];
    const auto root = json::parse(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), nullptr, false);
    if (!root.is_object()) return 0;
    const nubbo::HookCommandFor commandFor = [&spec](std::string_view event) {
        return "'/home/u/.nubbo/bin/nubbo-bridge' --source " + spec.id + " --event " + std::string(event);
    };

    // A file without the app's commands is left alone.
    const auto strippedAsFound = nubbo::HookEntries::strip(root);
    if (!mentionsApp(root) && strippedAsFound) std::abort();
    if (strippedAsFound) roundTrips(*strippedAsFound);

    const auto merged = nubbo::HookEntries::merge(root, spec, commandFor);
    if (!merged.is_object() || !nubbo::HookEntries::isWired(merged, spec.events)) std::abort();
    for (const auto& [key, value] : root.items())
        if (key != "hooks" && merged.value(key, json()) != value) std::abort();
    // A second install finds nothing to do (that is how the app tells a file is current).
    if (nubbo::HookEntries::merge(merged, spec, commandFor) != merged) std::abort();
    roundTrips(merged);

    const auto stripped = nubbo::HookEntries::strip(merged);
    if (!stripped) std::abort();
    for (const auto& event : spec.events)
        if (nubbo::HookEntries::isWired(*stripped, {event})) std::abort();
    if (nubbo::HookEntries::strip(*stripped)) std::abort();
    for (const auto& [key, value] : root.items())
        if (key != "hooks" && stripped->value(key, json()) != value) std::abort();
    roundTrips(*stripped);
    return 0;
}
