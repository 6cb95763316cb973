#include "remote/HostIntake.h"

#include <QCryptographicHash>
#include <QFile>

namespace nubbo {
namespace {

// 48 bits of the name: two hosts' names will not meet.
constexpr int kHashHexDigits = 12;

} // namespace

HostIntake::HostIntake(QString hostName, QString socketPath, LocalSocketServer::EventHandler onEvent,
                       LocalSocketServer::ReleaseHandler onReleased)
    : hostName_(std::move(hostName)), socketPath_(std::move(socketPath)), onReleased_(std::move(onReleased)) {
    LocalSocketServer::Options options;
    options.socketPath = socketPath_;
    server_ = std::make_unique<LocalSocketServer>(options);
    server_->setOnEvent([this, onEvent = std::move(onEvent), waiting = waiting_](const AgentEvent& received,
                                                                                 LocalSocketServer::Reply reply) {
        AgentEvent event = received;
        event.host = hostName_;
        if (event.type != AgentEventType::approvalRequired) {
            onEvent(event, std::move(reply));
            return;
        }
        {
            std::lock_guard lock(waiting->mutex);
            waiting->ids.insert(event.id);
        }
        onEvent(event, [waiting, id = event.id, reply = std::move(reply)](std::optional<bool> granted) {
            {
                std::lock_guard lock(waiting->mutex);
                waiting->ids.remove(id);
            }
            reply(granted);
        });
    });
    server_->setOnParkedReleased([this, waiting = waiting_](const QUuid& id) {
        {
            std::lock_guard lock(waiting->mutex);
            waiting->ids.remove(id);
        }
        onReleased_(id);
    });
}

HostIntake::~HostIntake() {
    // The server's thread ends first, so nothing arrives while the rest is released.
    const QString listened = server_->socketPath();
    server_.reset();
    releaseWaiting();
    // Nothing leads to it any more (a removed host's file would stay until the next boot otherwise).
    if (!listened.isEmpty())
        QFile::remove(listened);
}

void HostIntake::start() { server_->start(); }

void HostIntake::releaseWaiting() {
    QSet<QUuid> ids;
    {
        std::lock_guard lock(waiting_->mutex);
        ids.swap(waiting_->ids);
    }
    // Releasing a request the bus has already let go does nothing.
    for (const QUuid& id : ids)
        onReleased_(id);
}

QString HostIntake::socketPathFor(const QString& runtimeFolder, const QString& hostName) {
    const QByteArray hash = QCryptographicHash::hash(hostName.toUtf8(), QCryptographicHash::Sha256).toHex();
    return runtimeFolder + QStringLiteral("/hosts/") + QString::fromLatin1(hash.left(kHashHexDigits)) +
           QStringLiteral(".sock");
}

} // namespace nubbo
