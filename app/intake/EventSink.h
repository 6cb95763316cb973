// Where the bus hands each event on the main thread: the session store in the app.
#pragma once

#include "model/AgentEvent.h"

namespace nubbo {

class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void apply(const AgentEvent& event) = 0;
    // Nobody waits on the permission request any more (its producer hung up): its card goes away.
    virtual void withdrawApproval(const QUuid& eventId) { (void)eventId; }
};

} // namespace nubbo
