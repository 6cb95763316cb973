// The pet's single entry point for what the agents are doing; the view model implements it.
#pragma once

#include "model/AgentEvent.h"
#include "model/PetBubbleKind.h"
#include "model/PetState.h"

#include <optional>

namespace nubbo {

class PetRenderer {
public:
    virtual ~PetRenderer() = default;
    // persistent: the bubble stays until replaced or hidden.
    virtual void render(PetState state, const std::optional<PetBubbleKind>& bubble, bool persistent,
                        const std::optional<AgentProvider>& provider) = 0;
    // Horizontal facing of the art, +1 or -1; the idle walk turns it.
    virtual double facing() const = 0;
    virtual void setFacing(double facing) = 0;
};

} // namespace nubbo
