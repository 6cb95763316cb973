// Which narrations of a session may go to the provider: one request at a time, never the same text twice
// in a row, at most one every 4 seconds, and nothing kept for later. Used on the summariser's thread only.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>

namespace nubbo {

class SummaryGate {
public:
    static constexpr double kMinInterval = 4.0;

    // Whether a request for `say` may start at `now` (Clock seconds).
    bool admits(const QString& sessionKey, const QString& say, double now) const;
    // A request starts: the session is busy until finish().
    void begin(const QString& sessionKey, const QString& say, double now);
    void finish(const QString& sessionKey);

private:
    // Kept for the life of the app: a session key is small and sessions are few.
    QHash<QString, double> lastRequestAt_;
    QHash<QString, QString> lastSay_;
    QSet<QString> inFlight_;
};

} // namespace nubbo
