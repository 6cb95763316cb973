// The agent's own decision JSON, printed by the bridge once the app has given its verdict.
#pragma once

#include "common/ProviderFamily.h"

#include <optional>
#include <string>
#include <string_view>

namespace nubbo::bridge {

// The event name is inserted as given, without escaping (it is always one of the family's decision events).
std::string decisionResponse(ProviderFamily family, std::string_view event, bool allow);

// What to print for the app's reply line: nothing unless it is a JSON object with a string "approval";
// "granted" allows, any other string denies.
std::optional<std::string> decisionForReply(ProviderFamily family, std::string_view event,
                                            const std::optional<std::string>& replyLine);

} // namespace nubbo::bridge
