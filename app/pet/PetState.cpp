#include "PetState.h"

#include <QLatin1String>

#include <cstddef>

namespace nubbo {

namespace {

// Indexed by the enumeration's ordinal.
constexpr const char* kRawValues[] = {
    "idle",       "thinking",      "coding",       "reading",         "searching",
    "running",    "browsing",      "planning",     "compactingContext", "responding",
    "waitingApproval", "waitingInput", "success",  "warning",         "sleeping",
    "dragging",   "coffee",        "relaxing",     "walking",         "drowsy",
    "reactStartled", "reactGrumpy", "reactShoo",   "reactHappy",      "reactShy",
};
static_assert(std::size(kRawValues) == kAllPetStates.size());

} // namespace

QString rawValue(PetState state) {
    const auto index = static_cast<std::size_t>(state);
    // A value cast from outside the declared range has no spelling.
    if (index >= std::size(kRawValues))
        return {};
    return QString::fromLatin1(kRawValues[index]);
}

std::optional<PetState> petStateFromRaw(QStringView raw) {
    for (std::size_t i = 0; i < std::size(kRawValues); ++i) {
        if (raw == QLatin1String(kRawValues[i]))
            return kAllPetStates[i];
    }
    return std::nullopt;
}

} // namespace nubbo
