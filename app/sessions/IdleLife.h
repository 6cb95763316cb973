// What the pet does while no agent session is active: short idle scenes, drowsiness as the user stays away,
// and sleep after the configured time. The session store advances it on its tick and renders it when it has
// no session to show; any agent event starts it over.
#pragma once

#include "model/PetState.h"

#include <array>
#include <optional>

namespace nubbo {

class PetRenderer;
class Random;
class SettingsStore;

class IdleLife {
public:
    static constexpr std::array kAwakeScenes{PetState::idle, PetState::coffee, PetState::relaxing,
                                             PetState::walking};
    static constexpr double kDrowsyBeforeSleep = 30;
    static constexpr double kSleepHold = 9999;

    struct HoldRange {
        double low;
        double high;
    };
    // idle, coffee, relaxing, walking and drowsy; any other scene holds for no time.
    static HoldRange holdRange(PetState scene);

    IdleLife(SettingsStore& settings, PetRenderer& renderer, Random& random);

    // Back to idle, hold cleared, idle clock stopped.
    void reset();
    // One idle tick; whether the scene changed.
    bool advance(double now);
    // Shows the current scene (a walk faces a random way).
    void render();
    // The hold is renewed even when the scene stays; whether the scene changed.
    bool setPhase(PetState phase, double now, double holdFor);

    PetState phase() const { return phase_; }
    double phaseUntil() const { return phaseUntil_; }
    // When the current idle stretch began; none until the first idle tick.
    std::optional<double> idleSince() const { return idleSince_; }

private:
    SettingsStore& settings_;
    PetRenderer& renderer_;
    Random& random_;
    std::optional<double> idleSince_;
    PetState phase_ = PetState::idle;
    double phaseUntil_;
};

} // namespace nubbo
