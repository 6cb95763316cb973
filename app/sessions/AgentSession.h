// One agent session as the pet sees it: its coarse state, what is shown for it, and the tool steps that
// still wait for their turn on screen.
#pragma once

#include "AgentEvent.h"
#include "PetState.h"

#include <QString>
#include <QUuid>

#include <deque>
#include <limits>
#include <optional>

namespace nubbo {

// Times are Clock seconds.
inline constexpr double kDistantPast = std::numeric_limits<double>::lowest();

struct AgentSession {
    // One tool step waiting to be shown.
    struct Step {
        PetState pose = PetState::coding;
        QString detail;
        bool operator==(const Step&) const = default;
    };

    AgentProvider provider;
    // thinking, coding, compactingContext, responding, waitingApproval, waitingInput, success or warning.
    PetState state = PetState::thinking;
    // Equals state, except while a tool step is shown (state coding, pose the step's pose).
    PetState pose = PetState::thinking;
    QString detail;
    std::optional<QString> say;
    // A one-line summary of exactly the current say.
    std::optional<QString> summary;
    // Meaningful only in waitingApproval.
    std::optional<QString> command;
    std::optional<QString> cwd;
    std::optional<QUuid> approvalEventId;
    // The card shown for that request: kept while the request waits, so re-rendering the pet for another
    // session's event does not rebuild the card (and replay its entrance under the user's pointer).
    std::optional<QUuid> approvalPromptId;
    // What the session showed before the request came, to return to when the request is withdrawn.
    struct Resume {
        PetState state;
        PetState pose;
        QString detail;
    };
    std::optional<Resume> beforeApproval;
    double lastUpdate = 0;
    std::deque<Step> pendingSteps;  // oldest first
    double stepHoldUntil = kDistantPast;
    // The tool call finished: fall back to thinking once nothing is queued.
    bool awaitingNextStep = false;
};

} // namespace nubbo
