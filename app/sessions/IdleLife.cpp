#include "sessions/IdleLife.h"

#include "sessions/AgentSession.h"
#include "platform/Clock.h"
#include "model/PetRenderer.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <vector>

namespace nubbo {

IdleLife::HoldRange IdleLife::holdRange(PetState scene) {
    switch (scene) {
    case PetState::idle:
        return {5, 9};
    case PetState::drowsy:
        return {4, 6};
    case PetState::coffee:
    case PetState::relaxing:
    case PetState::walking:
        return {4, 7};
    default:
        return {0, 0};
    }
}

IdleLife::IdleLife(SettingsStore& settings, PetRenderer& renderer, Random& random)
    : settings_(settings), renderer_(renderer), random_(random), phaseUntil_(kDistantPast) {}

void IdleLife::reset() {
    idleSince_.reset();
    phase_ = PetState::idle;
    phaseUntil_ = kDistantPast;
}

bool IdleLife::setPhase(PetState phase, double now, double holdFor) {
    phaseUntil_ = now + holdFor;
    if (phase == phase_)
        return false;
    phase_ = phase;
    return true;
}

bool IdleLife::advance(double now) {
    if (settings_.pauseNubbo())
        return setPhase(PetState::sleeping, now, kSleepHold);

    if (!idleSince_)
        idleSince_ = now;
    const double idleFor = now - *idleSince_;
    const double sleepAfter = std::max(0, settings_.idleSleepMinutes()) * 60.0;

    if (sleepAfter > 0 && idleFor > sleepAfter) {
        if (phase_ == PetState::sleeping)
            return false;
        if (phase_ != PetState::drowsy)
            return setPhase(PetState::drowsy, now, kDrowsyBeforeSleep);
        // A drowsy scene already showing when sleep time came still gets its full 30 s before sleep.
        if (now >= phaseUntil_ && idleFor > sleepAfter + kDrowsyBeforeSleep)
            return setPhase(PetState::sleeping, now, kSleepHold);
        return false;
    }

    if (now < phaseUntil_)
        return false;

    std::vector<PetState> candidates;
    for (const PetState scene : kAwakeScenes)
        if (scene != phase_)
            candidates.push_back(scene);
    if (sleepAfter > 0 && idleFor > sleepAfter / 2) {
        // Drowsy scenes grow likelier as sleep time nears: one to four extra tickets.
        const double half = sleepAfter / 2;
        const int tickets = static_cast<int>(std::min((idleFor - half) / half, 1.0) * 3) + 1;
        candidates.insert(candidates.end(), tickets, PetState::drowsy);
    }

    const int last = static_cast<int>(candidates.size()) - 1;
    const PetState pick = candidates[static_cast<std::size_t>(std::clamp(random_.uniformInt(0, last), 0, last))];
    const HoldRange range = holdRange(pick);
    const double hold = range.low + random_.uniform() * (range.high - range.low);
    return setPhase(pick, now, hold);
}

void IdleLife::render() {
    if (phase_ == PetState::walking)
        renderer_.setFacing(random_.uniform() < 0.5 ? 1.0 : -1.0);
    renderer_.render(phase_, std::nullopt, false, std::nullopt);
}

} // namespace nubbo
