// The poses the pet can be in. Everything on the pet side keys off this one closed set.
#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
#include <optional>

namespace nubbo {

// Raw values are the case names; the declaration order is also the ordinal other tables use.
enum class PetState {
    idle,
    thinking,
    coding,
    reading,
    searching,
    running,
    browsing,
    planning,
    compactingContext,
    responding,
    waitingApproval,
    waitingInput,
    success,
    warning,
    sleeping,
    dragging,
    coffee,
    relaxing,
    walking,
    drowsy,
    reactStartled,
    reactGrumpy,
    reactShoo,
    reactHappy,
    reactShy,
};

inline constexpr std::array kAllPetStates{
    PetState::idle,          PetState::thinking,        PetState::coding,       PetState::reading,
    PetState::searching,     PetState::running,         PetState::browsing,     PetState::planning,
    PetState::compactingContext, PetState::responding,  PetState::waitingApproval, PetState::waitingInput,
    PetState::success,       PetState::warning,         PetState::sleeping,     PetState::dragging,
    PetState::coffee,        PetState::relaxing,        PetState::walking,      PetState::drowsy,
    PetState::reactStartled, PetState::reactGrumpy,     PetState::reactShoo,    PetState::reactHappy,
    PetState::reactShy,
};
static_assert(kAllPetStates.size() == 25);
static_assert([] {
    for (std::size_t i = 0; i < kAllPetStates.size(); ++i) {
        if (static_cast<std::size_t>(kAllPetStates[i]) != i)
            return false;
    }
    return true;
}(), "kAllPetStates must list the cases in declaration order");

QString rawValue(PetState state);
// Exact and case-sensitive; nothing for any other string.
std::optional<PetState> petStateFromRaw(QStringView raw);

} // namespace nubbo
