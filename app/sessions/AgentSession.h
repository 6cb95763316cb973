// One agent session as the pet sees it: its coarse state, what is shown for it, and the tool steps that
// still wait for their turn on screen.
#pragma once

#include "model/AgentEvent.h"
#include "model/ApprovalRisk.h"
#include "model/PetState.h"

#include <QString>
#include <QUuid>

#include <deque>
#include <limits>
#include <optional>

namespace nubbo {

// Times are Clock seconds.
inline constexpr double kDistantPast = std::numeric_limits<double>::lowest();

// A permission request the user has not answered yet.
struct WaitingRequest {
    QUuid eventId;    // the key of the parked reply
    QUuid promptId;   // the card drawn for it: kept while it waits, so a re-render does not replay its entrance
    QString command;  // the request's command, else its message
    std::optional<QString> toolName;
    // Judged once when the request arrives, by the lists that decided to ask: the card and the panel only
    // show it, and re-reading a long command on every re-render would cost the event path.
    ApprovalRisk risk = ApprovalRisk::normal;
    double askedAt = 0;
    quint64 order = 0;  // arrival order across all sessions: the card shows the oldest request first
    bool operator==(const WaitingRequest&) const = default;
};

struct AgentSession {
    // One tool step waiting to be shown.
    struct Step {
        PetState pose = PetState::coding;
        QString detail;
        bool operator==(const Step&) const = default;
    };

    AgentProvider provider;
    // thinking, coding, compactingContext, responding, waitingInput, success or warning: what the session
    // does; shownState() is what the pet shows for it.
    PetState state = PetState::thinking;
    // Equals state, except while a tool step is shown (state coding, pose the step's pose).
    PetState pose = PetState::thinking;
    QString detail;
    std::optional<QString> say;
    // A one-line summary of exactly the current say.
    std::optional<QString> summary;
    std::optional<QString> cwd;
    // Where the agent runs, as its latest event that said so reported it.
    TerminalContext terminal;
    // The machine it runs on when not this one, as its latest event that named one reported it.
    std::optional<QString> host;
    // Permission requests that wait for the user, oldest first. While any waits the session shows the
    // oldest one's card; what it does meanwhile goes on underneath and shows again once they have ended.
    std::deque<WaitingRequest> waiting;
    double lastUpdate = 0;
    std::deque<Step> pendingSteps;  // oldest first
    double stepHoldUntil = kDistantPast;
    // The tool call finished: fall back to thinking once nothing is queued.
    bool awaitingNextStep = false;

    PetState shownState() const { return waiting.empty() ? state : PetState::waitingApproval; }
    PetState shownPose() const { return waiting.empty() ? pose : PetState::waitingApproval; }
};

} // namespace nubbo
