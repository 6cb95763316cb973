// Where the bus hands each event on the main thread: the session store in the app.
#pragma once

#include "AgentEvent.h"

namespace nubbo {

class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void apply(const AgentEvent& event) = 0;
};

// Until sessions are tracked, each routed event becomes one line of the app log.
class LoggingEventSink final : public EventSink {
public:
    void apply(const AgentEvent& event) override;
};

} // namespace nubbo
