// The poses the pet can be in. Everything on the pet side keys off this one closed set.
#pragma once

#include "core/SettingsEnums.h"

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

// The status line the bubble shows for the state when nothing else is given. Callers pass the effective
// language each time, so a language change shows on the next call.
QString bubbleText(PetState state, Language language);
// Base name of the still image in still-image pet sources; several states share one.
QString imageName(PetState state);
// Folder of animation frames in frame-based pet sources (snake case where the case name is not).
QString frameAnimationName(PetState state);
double frameFPS(PetState state);
// The activity badge's symbol; only the six tool-activity states have one.
std::optional<QString> activityIcon(PetState state);

// The five reactions are the last five cases, so membership is a range check.
constexpr bool isReaction(PetState state) {
    return state >= PetState::reactStartled && state <= PetState::reactShy;
}

// Only in these does the pointer resting on the pet provoke a shy reaction.
inline constexpr std::array kCalmStates{PetState::idle, PetState::coffee, PetState::relaxing, PetState::walking};
constexpr bool isCalmState(PetState state) {
    for (PetState calm : kCalmStates)
        if (calm == state)
            return true;
    return false;
}

// A bubble shown in one of these stays until it is replaced or hidden.
constexpr bool isPersistentState(PetState state) {
    return state == PetState::waitingApproval || state == PetState::waitingInput || state == PetState::warning;
}

// The idle motion loop over the pet image: one half-cycle from the "from" values to the "to" values.
// Angles in degrees, offsets in points with y growing downward (a negative yTo lifts the pet).
struct PetAnimation {
    double scaleFrom = 1;
    double scaleTo = 1;
    double rotationFrom = 0;
    double rotationTo = 0;
    double xFrom = 0;
    double xTo = 0;
    double yFrom = 0;
    double yTo = 0;
    double duration = 1;
    bool autoreverses = true;

    bool operator==(const PetAnimation&) const = default;

    static PetAnimation forState(PetState state);
};

} // namespace nubbo
