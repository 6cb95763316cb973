// The app's listener for one host: a socket server of its own, which the host's forward leads to, feeding the
// same handler as the app's socket with every event marked as the host's (whatever the record said).
// A request waiting on it is let go the moment the forward drops or the host goes: its card is withdrawn, and
// the bridge on the host, whose connection has ended, fails open.
#pragma once

#include "intake/LocalSocketServer.h"

#include <QSet>
#include <QString>
#include <QUuid>

#include <memory>
#include <mutex>

namespace nubbo {

class HostIntake {
public:
    // `onReleased` is what the app's own socket server reports when a waiting producer hangs up.
    HostIntake(QString hostName, QString socketPath, LocalSocketServer::EventHandler onEvent,
               LocalSocketServer::ReleaseHandler onReleased);
    // Stops listening and removes its socket file, then releases what still waited.
    ~HostIntake();
    HostIntake(const HostIntake&) = delete;
    HostIntake& operator=(const HostIntake&) = delete;

    void start();
    // Every request still waiting on this host is released at once (the forward dropped).
    void releaseWaiting();
    const QString& socketPath() const { return socketPath_; }
    LocalSocketServer& server() { return *server_; }

    // <runtime folder>/hosts/<a short hash of the name>.sock: the same for a name on every start, and short
    // whatever the name, so that it fits a socket address.
    static QString socketPathFor(const QString& runtimeFolder, const QString& hostName);

private:
    struct Waiting {
        std::mutex mutex;
        QSet<QUuid> ids;
    };

    QString hostName_;
    QString socketPath_;
    LocalSocketServer::ReleaseHandler onReleased_;
    // Shared with the replies, which may outlive this object.
    std::shared_ptr<Waiting> waiting_ = std::make_shared<Waiting>();
    std::unique_ptr<LocalSocketServer> server_;
};

} // namespace nubbo
