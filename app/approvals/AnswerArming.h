// When a surface that shows a permission request may take an answer for it: only once the request has been
// on screen, at rest, for a moment. A click meant for whatever was there before (a card that just slid in
// under the pointer, a panel row that just appeared, a notification that just popped up) answers nothing.
#pragma once

#include <QHash>
#include <QUuid>

namespace nubbo {

class AnswerArming {
public:
    // Long enough to outlast a click already on its way, short enough that nobody waits for it.
    static constexpr double kSeconds = 0.5;

    // The request is on screen and at rest from now (Clock seconds); a request already shown keeps its time.
    void shown(const QUuid& eventId, double now);
    void hidden(const QUuid& eventId);
    void clear() { since_.clear(); }
    bool armed(const QUuid& eventId, double now) const;

private:
    QHash<QUuid, double> since_;
};

} // namespace nubbo
