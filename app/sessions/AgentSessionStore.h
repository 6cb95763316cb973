// Turns the stream of agent events into what the pet does: one record per agent session, tool calls played
// back as a short paced queue of steps, quiet sessions expired, the most urgent session chosen to speak
// through the pet, and idle life when no session is left. Main thread only.
#pragma once

#include "model/AgentEvent.h"
#include "sessions/AgentSession.h"
#include "intake/EventSink.h"
#include "sessions/IdleLife.h"
#include "model/PetBubbleKind.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QTimer;

namespace nubbo {

class Clock;
class NarrationSummarizer;
class PetRenderer;
class Random;
class SettingsStore;

class AgentSessionStore final : public EventSink {
public:
    using Step = AgentSession::Step;
    // Posts the desktop notification for an approval request, a finished task or a risky action.
    using Notify = std::function<void(AgentEventType, const AgentEvent&)>;

    static constexpr double kTickInterval = 0.2;
    static constexpr double kStepHold = 0.6;
    static constexpr std::size_t kMaxPendingSteps = 12;

    AgentSessionStore(SettingsStore& settings, PetRenderer& renderer, Clock& clock, Random& random, Notify notify,
                      NarrationSummarizer& summarizer);
    ~AgentSessionStore() override;
    AgentSessionStore(const AgentSessionStore&) = delete;
    AgentSessionStore& operator=(const AgentSessionStore&) = delete;

    // The process-wide instance the app's start-up installed; aborts when there is none.
    static AgentSessionStore& shared();
    // The start-up keeps ownership; pass nullptr to uninstall.
    static void setShared(AgentSessionStore* store);
    static bool hasShared();

    // Starts the tick timer on the calling thread's event loop; the timer dies with the store.
    void start();

    void apply(const AgentEvent& event) override;
    void tick();
    // From the summariser: kept only while the session's narration, trimmed, is still forSay.
    void setSummary(const QString& sessionKey, const QString& text, const QString& forSay);
    // The user's verdict on a permission request: the waiting session shows Allowed. or Denied.
    void resolveApproval(const QUuid& eventId, bool allow);
    // The request's producer hung up: the card goes and the session resumes what it showed before it.
    void withdrawApproval(const QUuid& eventId) override;
    // Told when a waiting request ends: answered, withdrawn, over because its session went on or ran the
    // call it asked about, or gone with its session (the app closes its notification and lets a producer
    // that still waits go).
    void setApprovalEndedHandler(std::function<void(const QUuid& eventId)> handler) {
        approvalEnded_ = std::move(handler);
    }

    // Told after every change of the sessions has been shown on the pet (the quick panel follows them).
    void setChangedHandler(std::function<void()> handler) { changed_ = std::move(handler); }
    // Told after every change as well, for the programs outside the app that follow the sessions.
    void setOutsideChangedHandler(std::function<void()> handler) { outsideChanged_ = std::move(handler); }

    // "<provider>:<sessionId>", "default" standing in for a missing id (an empty one is kept as it is).
    static QString sessionKey(const AgentEvent& event);

    const std::map<QString, AgentSession>& sessions() const { return sessions_; }
    // The request with this id while it waits for the user; null once it has ended.
    const WaitingRequest* waitingRequest(const QUuid& eventId) const;
    // Requests waiting for the user, across every session.
    std::size_t waitingCount() const;
    const AgentSession* session(const QString& key) const;
    const IdleLife& idleLife() const { return idle_; }

private:
    AgentSession& takeOrCreate(const QString& key, const AgentEvent& event, PetState state);
    void setSession(const QString& key, const AgentEvent& event, PetState state, const QString& detail);
    void enqueueOrSetThinking(const QString& key, const AgentEvent& event);
    void enqueueStep(const QString& key, const AgentEvent& event, const Step& step);
    void markToolFinished(const QString& key, const AgentEvent& event, const Step& step);
    void flushQueue(const QString& key);
    bool drainSteps(double now);
    bool expireSessions(double now);
    bool hasActive() const;
    void recompute();
    std::optional<PetBubbleKind> bubble(const AgentSession& session) const;
    QString keyOf(const AgentSession& session) const;
    void approvalEnded(const QUuid& eventId);
    void endAll(const std::deque<WaitingRequest>& requests);
    void endRequestThatRan(const QString& key, const AgentEvent& event);
    // Takes the request out of the session that waits on it; that session, or null.
    AgentSession* takeWaiting(const QUuid& eventId);
    void notify(AgentEventType type, const AgentEvent& event);
    void summarize(const QString& key, const AgentEvent& event, const std::optional<QString>& detail);

    SettingsStore& settings_;
    PetRenderer& renderer_;
    Clock& clock_;
    Random& random_;
    Notify notify_;
    std::function<void(const QUuid& eventId)> approvalEnded_;
    std::function<void()> changed_;
    std::function<void()> outsideChanged_;
    NarrationSummarizer& summarizer_;
    IdleLife idle_;
    std::map<QString, AgentSession> sessions_;
    quint64 requestOrder_ = 0;
    std::unique_ptr<QTimer> timer_;
};

} // namespace nubbo
