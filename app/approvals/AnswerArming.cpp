#include "approvals/AnswerArming.h"

namespace nubbo {

void AnswerArming::shown(const QUuid& eventId, double now) {
    if (!since_.contains(eventId))
        since_.insert(eventId, now);
}

void AnswerArming::hidden(const QUuid& eventId) { since_.remove(eventId); }

bool AnswerArming::armed(const QUuid& eventId, double now) const {
    const auto found = since_.constFind(eventId);
    return found != since_.constEnd() && now - *found >= kSeconds;
}

} // namespace nubbo
