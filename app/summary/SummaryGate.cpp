#include "summary/SummaryGate.h"

namespace nubbo {

bool SummaryGate::admits(const QString& sessionKey, const QString& say, double now) const {
    if (inFlight_.contains(sessionKey))
        return false;
    if (const auto said = lastSay_.constFind(sessionKey); said != lastSay_.constEnd() && *said == say)
        return false;
    if (const auto at = lastRequestAt_.constFind(sessionKey); at != lastRequestAt_.constEnd() && now - *at < kMinInterval)
        return false;
    return true;
}

void SummaryGate::begin(const QString& sessionKey, const QString& say, double now) {
    inFlight_.insert(sessionKey);
    lastRequestAt_.insert(sessionKey, now);
    lastSay_.insert(sessionKey, say);
}

void SummaryGate::finish(const QString& sessionKey) { inFlight_.remove(sessionKey); }

} // namespace nubbo
