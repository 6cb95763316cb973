// The content of an approval card: what the agent asks to run, and whose verdict it waits for.
#pragma once

#include "model/AgentEvent.h"
#include "model/ApprovalRisk.h"

#include <QString>
#include <QUuid>

namespace nubbo {

struct ApprovalPrompt {
    QUuid id;           // this card instance; fresh each time the card is built
    QUuid eventId;      // the permission request; the key of the parked reply
    AgentProvider provider;
    QString title;      // "<title> wants to continue"
    QString command;    // the request's command, else its message
    ApprovalRisk risk = ApprovalRisk::normal;
    // The agent's verdicts can only stop it: Deny stops the request, Allow hands the choice back to the agent.
    bool vetoOnly = false;
    // Requests waiting for the user in all, this one included: the card says how many more there are.
    int waitingCount = 1;

    bool operator==(const ApprovalPrompt&) const = default;
};

} // namespace nubbo
