#include "EventSink.h"

#include "NubboLog.h"

namespace nubbo {

void LoggingEventSink::apply(const AgentEvent& event) {
    NubboLog::log(QStringLiteral("event %1 %2: %3").arg(event.provider.rawValue(), rawValue(event.type), event.message));
}

} // namespace nubbo
