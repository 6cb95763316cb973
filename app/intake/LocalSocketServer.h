// The app's end of the producers' Unix socket: one request line per connection, answered at once or,
// for a permission request, held open until the verdict.
#pragma once

#include "common/WireProtocol.h"
#include "model/AgentEvent.h"

#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace nubbo {

class LocalSocketServer {
public:
    // true = granted, false = denied, nothing = no verdict: the producer is let go to ask the user itself.
    // Safe to call from any thread, at most once has an effect.
    using Reply = std::function<void(std::optional<bool> granted)>;
    // Runs on the server's thread, once per decoded request; it should return quickly.
    using EventHandler = std::function<void(const AgentEvent&, Reply)>;
    // A parked request whose producer hung up before the verdict; its reply is now a no-op.
    using ReleaseHandler = std::function<void(const QUuid& eventId)>;
    using LogFunction = std::function<void(const QString&)>;

    struct Options {
        QString socketPath;                               // empty: AppPaths::socketPath()
        // A producer that never finishes its line.
        std::chrono::milliseconds readTimeout{wire::kRequestLineTimeout};
        std::chrono::milliseconds socketCheckInterval{2000};  // how soon a deleted socket file is made again
        LogFunction log;                                  // empty: the app log
    };

    LocalSocketServer();
    explicit LocalSocketServer(Options options);
    ~LocalSocketServer();
    LocalSocketServer(const LocalSocketServer&) = delete;
    LocalSocketServer& operator=(const LocalSocketServer&) = delete;

    // Set before start().
    void setOnEvent(EventHandler handler);
    void setOnParkedReleased(ReleaseHandler handler);

    // Binds and serves on a thread of its own; returns at once. A failure is logged and leaves the app
    // running without intake. Raises the process's soft descriptor limit to its hard limit, since every
    // parked request holds a descriptor. At the limit a new producer is closed at once (it fails open).
    // A socket file deleted while the server runs is bound again within socketCheckInterval.
    void start();
    // Waits until the bind sequence has finished; true when the server is listening.
    bool waitUntilStarted(std::chrono::milliseconds timeout) const;
    bool isListening() const;
    QString socketPath() const;
    // Requests waiting for a verdict (for diagnostics and tests).
    std::size_t parkedCount() const;

private:
    struct Core;
    std::shared_ptr<Core> core_;
};

} // namespace nubbo
