// Every host of the remote-host list with its listener and its forward, kept in step with the list: it is read
// at start and again whenever it changes (a host added from a terminal reaches the running app), and the
// hosts' states are what the bus and the settings window show.
#pragma once

#include "platform/Clock.h"
#include "remote/HostIntake.h"
#include "remote/RemoteForward.h"
#include "remote/RemoteHost.h"
#include "remote/RemoteHostState.h"
#include "remote/SshRunner.h"

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

namespace nubbo {

// A host as shown: its names and where its forward stands.
struct RemoteHostStatus {
    QString name;
    QString destination;
    RemoteHostState state = RemoteHostState::connecting;
    QString reason;

    bool operator==(const RemoteHostStatus&) const = default;
    // {name, destination, state, reason}: the bus's form.
    QVariantMap toMap() const;
};

class RemoteForwards : public QObject {
    Q_OBJECT
public:
    // A list file written in a few steps is read once, this long after the last.
    static constexpr double kReloadDelay = 0.2;
    // Builds a host's listener (not yet started) on the socket path given.
    using IntakeFactory = std::function<std::unique_ptr<HostIntake>(const QString& hostName, const QString& socketPath)>;

    struct Services {
        SshRunner& ssh;
        Scheduler& scheduler;
        const Clock& clock;
        Random& random;
        IntakeFactory intake;
        QString listPath;       // the remote-host list
        QString runtimeFolder;  // where the hosts' sockets go
        std::function<void(const QString&)> log;
    };

    explicit RemoteForwards(Services services, QObject* parent = nullptr);
    ~RemoteForwards() override;

    // Reads the list, starts a forward per host and follows the file from then on.
    void start();
    // In list order.
    QList<RemoteHostStatus> hosts() const;
    QList<QVariantMap> hostMaps() const;

Q_SIGNALS:
    void hostsChanged();

private:
    struct Host {
        RemoteHost entry;
        std::unique_ptr<HostIntake> intake;
        std::unique_ptr<RemoteForward> forward;
    };

    void reloadSoon();
    void reload();
    void watch();
    std::unique_ptr<Host> startHost(const RemoteHost& entry);
    void log(const QString& line) const;

    Services services_;
    std::vector<std::unique_ptr<Host>> hosts_;
    QFileSystemWatcher watcher_;
    TaskId reloadTask_ = 0;
};

} // namespace nubbo
