#include "hooks/HookEntries.h"

#include <algorithm>

namespace nubbo {
namespace {

using nlohmann::json;

bool holdsMarker(const json& object, const std::vector<std::string_view>& markers) {
    const auto command = object.find("command");
    if (command == object.end() || !command->is_string())
        return false;
    const auto& text = command->get_ref<const std::string&>();
    return std::any_of(markers.begin(), markers.end(),
                       [&](std::string_view marker) { return text.find(marker) != std::string::npos; });
}

} // namespace

json HookEntries::makeEntry(const ProviderSpec& spec, std::string_view event, const std::string& command) {
    json group = json::object();
    group["hooks"] =
        json::array({json{{"type", "command"}, {"command", command}, {"timeout", hookTimeout(spec, event)}}});
    if (const auto matcher = hookMatcher(spec.family, event))
        group["matcher"] = *matcher;
    return group;
}

json HookEntries::makeCursorEntry(const ProviderSpec& spec, std::string_view event, const std::string& command) {
    return json{{"command", command}, {"timeout", hookTimeout(spec, event)}};
}

json HookEntries::makeOwnedFile(const ProviderSpec& spec, const HookCommandFor& commandFor) {
    json hooks = json::object();
    for (const auto& event : spec.events)
        hooks[event] = json::array({json{{"type", "command"},
                                         {"bash", commandFor(event)},
                                         {"timeoutSec", hookTimeoutSeconds(spec.family, event)}}});
    return json{{"version", 1}, {"hooks", hooks}};
}

HookEntries::Filtered HookEntries::filterHooks(const json& hooks, const std::vector<std::string_view>& markers) {
    Filtered result{json::object(), false};
    if (!hooks.is_object())
        return result;
    for (const auto& [event, value] : hooks.items()) {
        // Only arrays are ours to read, and only their objects; anything else belongs to the agent or the
        // user and stays where it is (an array kept whole would keep our old entry beside the new one).
        if (!value.is_array()) {
            result.hooks[event] = value;
            continue;
        }
        json kept = json::array();
        for (const auto& entry : value) {
            if (!entry.is_object()) {
                kept.push_back(entry);
                continue;
            }
            if (holdsMarker(entry, markers)) {
                result.removed = true;
                continue;
            }
            const auto inner = entry.find("hooks");
            if (inner == entry.end() || !inner->is_array()) {
                kept.push_back(entry);
                continue;
            }
            json innerKept = json::array();
            for (const auto& item : *inner) {
                if (item.is_object() && holdsMarker(item, markers))
                    result.removed = true;
                else
                    innerKept.push_back(item);
            }
            if (innerKept.empty())
                continue;
            json group = entry;
            group["hooks"] = std::move(innerKept);
            kept.push_back(std::move(group));
        }
        if (!kept.empty())
            result.hooks[event] = std::move(kept);
    }
    return result;
}

json HookEntries::merge(const json& root, const ProviderSpec& spec, const HookCommandFor& commandFor) {
    json result = root.is_object() ? root : json::object();
    if (spec.mechanism == HookMechanism::cursorHooks) {
        const auto version = result.find("version");
        if (version == result.end() || !version->is_number_integer())
            result["version"] = 1;
    }
    const auto existing = result.find("hooks");
    json hooks = filterHooks(existing != result.end() ? *existing : json::object(),
                             {kVibeIslandMarker, kAppHookMarker})
                     .hooks;
    for (const auto& event : spec.events) {
        const std::string command = commandFor(event);
        json entry = spec.mechanism == HookMechanism::cursorHooks ? makeCursorEntry(spec, event, command)
                                                                  : makeEntry(spec, event, command);
        json& list = hooks[event];
        // A non-array value under one of our events cannot hold our entry; the event is ours to define.
        if (!list.is_array())
            list = json::array();
        list.push_back(std::move(entry));
    }
    result["hooks"] = std::move(hooks);
    return result;
}

std::optional<json> HookEntries::strip(const json& root) {
    if (!root.is_object())
        return std::nullopt;
    const auto hooks = root.find("hooks");
    if (hooks == root.end() || !hooks->is_object())
        return std::nullopt;
    Filtered filtered = filterHooks(*hooks, {kAppHookMarker});
    if (!filtered.removed)
        return std::nullopt;
    json result = root;
    result["hooks"] = std::move(filtered.hooks);
    return result;
}

bool HookEntries::isWired(const json& root, const std::vector<std::string>& events) {
    if (events.empty())
        return true;
    if (!root.is_object())
        return false;
    const auto hooks = root.find("hooks");
    if (hooks == root.end() || !hooks->is_object())
        return false;
    const std::vector<std::string_view> markers{kAppHookMarker};
    return std::all_of(events.begin(), events.end(), [&](const std::string& event) {
        const auto list = hooks->find(event);
        if (list == hooks->end() || !list->is_array())
            return false;
        return std::any_of(list->begin(), list->end(), [&](const json& entry) {
            if (!entry.is_object())
                return false;
            if (holdsMarker(entry, markers))
                return true;
            const auto inner = entry.find("hooks");
            return inner != entry.end() && inner->is_array() &&
                   std::any_of(inner->begin(), inner->end(),
                               [&](const json& item) { return item.is_object() && holdsMarker(item, markers); });
        });
    });
}

std::string HookEntries::serialise(const json& value) {
    // nlohmann's default object is a sorted map and it never escapes '/'; invalid UTF-8 in a user's string
    // is replaced rather than failing the whole write.
    return value.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace nubbo
