// Keeps one host's forward up for as long as it lives: `ssh -N` with a remote forward of a Unix socket from
// the host's socket path to this app's listener for the host, started again with back-off whenever it ends.
// Before each forward, a socket a dropped connection left on the host is removed: the server's own
// StreamLocalBindUnlink defaults to no, and would refuse every later forward onto it.
#pragma once

#include "platform/Clock.h"
#include "remote/RemoteHost.h"
#include "remote/RemoteHostState.h"
#include "remote/SshRunner.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace nubbo {

class RemoteForward {
public:
    // The first retry waits this long, each next one twice the last, up to kMaxDelay; less a random part of
    // up to kJitter of it, so hosts dropped together do not retry together.
    static constexpr double kFirstDelay = 1.0;
    static constexpr double kMaxDelay = 60.0;
    static constexpr double kJitter = 0.2;
    // A forward that stayed up this long starts the back-off over.
    static constexpr double kHeldLongEnough = 60.0;
    // The removal of a stale socket is a short command: it gets this long to end.
    static constexpr double kRemovalTimeout = 30.0;

    RemoteForward(RemoteHost host, QString localSocket, SshRunner& ssh, Scheduler& scheduler, const Clock& clock,
                  Random& random);
    ~RemoteForward();
    RemoteForward(const RemoteForward&) = delete;
    RemoteForward& operator=(const RemoteForward&) = delete;

    // Called after every change of state or reason.
    void setOnChanged(std::function<void()> handler) { onChanged_ = std::move(handler); }
    // Called each time a forward's ssh has ended: whatever waited on the host's socket has lost its way here.
    void setOnDropped(std::function<void()> handler) { onDropped_ = std::move(handler); }

    void start();

    RemoteHostState state() const { return state_; }
    // One line: why the host is not connected (ssh's own words where it said any); empty when connected.
    const QString& reason() const { return reason_; }
    const RemoteHost& host() const { return host_; }

    static QStringList forwardArguments(const RemoteHost& host, const QString& localSocket);
    static QStringList removalArguments(const RemoteHost& host);

private:
    void attempt();
    void removalEnded(int exitCode);
    void startForward();
    void line(const QString& text);
    void forwardEnded(int exitCode);
    void retryAfter(double seconds);
    double nextDelay();
    void setState(RemoteHostState state, const QString& reason);

    RemoteHost host_;
    QString localSocket_;
    SshRunner& ssh_;
    Scheduler& scheduler_;
    const Clock& clock_;
    Random& random_;
    std::function<void()> onChanged_;
    std::function<void()> onDropped_;

    RemoteHostState state_ = RemoteHostState::connecting;
    QString reason_;
    std::unique_ptr<SshProcess> process_;
    // What the running ssh has said so far.
    QString lastLine_;
    bool refused_ = false;
    bool connected_ = false;
    double connectedAt_ = 0;
    int failures_ = 0;
    TaskId pending_ = 0;
    TaskId removalDeadline_ = 0;
};

} // namespace nubbo
