// The hub every decoded event passes through: it writes the agent log, judges permission requests by the
// trust rules, parks the replies that wait for the user, and hands events to the main thread.
#pragma once

#include "model/AgentEvent.h"
#include "intake/EventSink.h"
#include "intake/LocalSocketServer.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QUuid>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace nubbo {

class SettingsStore;

class AgentEventBus : public QObject {
    Q_OBJECT
public:
    struct Options {
        LocalSocketServer::Options server;
        // empty: "agent.log" in the app's logs folder; rotated like the app log (NubboLog::appendToFile)
        QString agentLogPath;
        std::function<QDateTime()> now;          // empty: the system clock
    };

    // Create on the main thread: forwarded events are delivered on the thread the bus lives on.
    AgentEventBus(SettingsStore& settings, EventSink& sink, Options options, QObject* parent = nullptr);
    AgentEventBus(SettingsStore& settings, EventSink& sink, QObject* parent = nullptr);
    ~AgentEventBus() override;

    static AgentEventBus& shared();
    static void setShared(AgentEventBus* bus);

    // Starts the socket server with this bus as its handler.
    void start();

    // Runs on the delivering thread (the socket server's); never waits for the user.
    void publish(const AgentEvent& event, LocalSocketServer::Reply reply);
    // Main thread: the user's verdict on a parked request; whether one was parked under the id (an unknown,
    // answered, released or withdrawn id does nothing).
    bool resolveApproval(const QUuid& eventId, bool allow);
    // Main thread: nobody can answer the request any more (its session went on or ended): its producer is
    // let go without a verdict, and the agent asks the user itself. An unknown id does nothing.
    void releaseApproval(const QUuid& eventId);
    // Any thread: the producer hung up before the verdict (what a socket server reports of a parked
    // request), so nobody is waiting any more and its card is withdrawn. An unknown id does nothing.
    void dropParked(const QUuid& eventId);

    // The last event handed on; main thread.
    const std::optional<AgentEvent>& lastEvent() const { return lastEvent_; }
    std::size_t parkedCount() const;
    LocalSocketServer& socketServer() { return *server_; }

    // One agent-log line, without the newline.
    static QString agentLogLine(const AgentEvent& event, const QDateTime& when, const QString& phrase);

private:
    void forwardToPet(const AgentEvent& event);
    void log(const AgentEvent& event);
    // Takes the parked reply out under the lock; empty when none is parked under the id.
    LocalSocketServer::Reply takeParked(const QUuid& eventId);

    SettingsStore& settings_;
    EventSink& sink_;
    Options options_;
    std::unique_ptr<LocalSocketServer> server_;
    std::optional<AgentEvent> lastEvent_;

    mutable std::mutex lock_;
    QHash<QUuid, LocalSocketServer::Reply> approvalResponders_;
};

} // namespace nubbo
