// The catalogue of supported agents, in the order every agent list follows, and the translation of
// native hook event names into unified event types.
#pragma once

#include "common/ProviderSpec.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace nubbo {

struct ProviderRegistry {
    static const std::vector<ProviderSpec>& all();
    // Built once from all() on first use.
    static const std::unordered_map<std::string, const ProviderSpec*>& byID();
    // Looks the id up lower-cased; nullptr when it is not in the catalogue.
    static const ProviderSpec* spec(std::string_view id);
    // Exact, case-sensitive; any name the table does not list (the empty one too) is "coding".
    static std::string_view unifiedType(std::string_view nativeEventName);
    // Whether a notification of this kind (the payload's notification_type) asks the user to act: a
    // permission prompt, a question, a dialog. Reminders and reports (auth_success, idle_prompt, a finished
    // background job) do not, and no kind at all counts as asking, as agents without kinds mean it.
    static bool notificationAsksUser(std::string_view notificationType);
};

} // namespace nubbo
