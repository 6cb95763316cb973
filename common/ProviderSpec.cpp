#include "common/ProviderSpec.h"

#include <nlohmann/json.hpp>

namespace nubbo {
namespace {

std::optional<std::vector<std::string>> stringList(const nlohmann::json& value) {
    if (!value.is_array()) return std::nullopt;
    std::vector<std::string> out;
    out.reserve(value.size());
    for (const auto& item : value) {
        if (!item.is_string()) return std::nullopt;
        out.push_back(item.get<std::string>());
    }
    return out;
}

const nlohmann::json* member(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

} // namespace

TimeoutUnit hookTimeoutUnit(const ProviderSpec& spec) {
    // Qwen shares Claude's dialect but not its unit, so the unit follows the agent, not the family.
    if (spec.family == ProviderFamily::gemini || spec.id == "qwen")
        return TimeoutUnit::milliseconds;
    return TimeoutUnit::seconds;
}

int hookTimeout(const ProviderSpec& spec, std::string_view event) {
    const int seconds = hookTimeoutSeconds(spec.family, event);
    return hookTimeoutUnit(spec) == TimeoutUnit::milliseconds ? seconds * 1000 : seconds;
}

bool decisionsOnlyVeto(const ProviderSpec& spec) {
    return spec.family == ProviderFamily::gemini || spec.family == ProviderFamily::kimi;
}

std::vector<std::string> formerHookFolders(const ProviderSpec& spec) {
    if (spec.mechanism == HookMechanism::scriptDir && spec.id == "cline")
        return {"Documents/Cline/Rules/Hooks"};
    return {};
}

std::vector<std::string> formerHookFiles(const ProviderSpec& spec) {
    if (spec.id == "kimi")
        return {".kimi/settings.json"};
    return {};
}

std::string defaultConfigFolder(const ProviderSpec& spec) {
    const std::string& path = spec.configRelativePath;
    const std::string& inside = spec.configInFolder;
    if (spec.configFolderVariable.empty() || inside.size() > path.size() ||
        path.compare(path.size() - inside.size(), inside.size(), inside) != 0)
        return {};
    std::string folder = path.substr(0, path.size() - inside.size());
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder;
}

nlohmann::json toJson(const ProviderSpec& spec) {
    return {
        {"id", spec.id},
        {"title", spec.title},
        {"iconName", spec.iconName},
        {"family", std::string(rawValue(spec.family))},
        {"executableNames", spec.executableNames},
        {"mechanism", std::string(rawValue(spec.mechanism))},
        {"configRelativePath", spec.configRelativePath},
        {"events", spec.events},
        {"confirmed", spec.confirmed},
        {"configFolderVariable", spec.configFolderVariable},
        {"configInFolder", spec.configInFolder},
    };
}

std::optional<ProviderSpec> providerSpecFromJson(const nlohmann::json& json) {
    if (!json.is_object()) return std::nullopt;
    ProviderSpec spec;
    for (auto [key, target] : {std::pair{"id", &spec.id}, std::pair{"title", &spec.title},
                               std::pair{"iconName", &spec.iconName},
                               std::pair{"configRelativePath", &spec.configRelativePath},
                               std::pair{"configFolderVariable", &spec.configFolderVariable},
                               std::pair{"configInFolder", &spec.configInFolder}}) {
        const auto* value = member(json, key);
        if (!value || !value->is_string()) return std::nullopt;
        *target = value->get<std::string>();
    }
    const auto* family = member(json, "family");
    const auto* mechanism = member(json, "mechanism");
    const auto* names = member(json, "executableNames");
    const auto* events = member(json, "events");
    const auto* confirmed = member(json, "confirmed");
    if (!family || !family->is_string() || !mechanism || !mechanism->is_string() || !names || !events ||
        !confirmed || !confirmed->is_boolean())
        return std::nullopt;
    const auto familyValue = providerFamilyFromRaw(family->get_ref<const std::string&>());
    const auto mechanismValue = hookMechanismFromRaw(mechanism->get_ref<const std::string&>());
    auto namesValue = stringList(*names);
    auto eventsValue = stringList(*events);
    if (!familyValue || !mechanismValue || !namesValue || !eventsValue) return std::nullopt;
    spec.family = *familyValue;
    spec.mechanism = *mechanismValue;
    spec.executableNames = std::move(*namesValue);
    spec.events = std::move(*eventsValue);
    spec.confirmed = confirmed->get<bool>();
    return spec;
}

} // namespace nubbo
