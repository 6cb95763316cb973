#include "platform/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace nubbo {
namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

SingleInstance::SingleInstance(const QString& supportFolder, const QString& appId, Log log)
    : log_(std::move(log)), appId_(appId),
      objectPath_(objectPathOf(appId)),
      lockPath_(supportFolder + QStringLiteral("/app.lock")) {
    const QByteArray name = QFile::encodeName(lockPath_);
    // Close-on-exec, or a browser the app opened would hold the lock after the app is gone.
    do {
        fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        log_(QStringLiteral("single instance: cannot open %1 (%2), starting anyway").arg(lockPath_, errnoText(errno)));
        return;
    }
    int result;
    do {
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (result < 0 && errno == EINTR);
    if (result == 0) {
        // The name a previous run left names a connection that is gone: a later start must wait for ours.
        [[maybe_unused]] const int truncated = ::ftruncate(fd_, 0);
        return;
    }
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    if (error == EWOULDBLOCK) {
        first_ = false;
        return;
    }
    log_(QStringLiteral("single instance: cannot lock %1 (%2), starting anyway").arg(lockPath_, errnoText(error)));
}

SingleInstance::~SingleInstance() {
    // Closing the descriptor releases the lock.
    if (fd_ >= 0)
        ::close(fd_);
}

void SingleInstance::serve(QDBusConnection bus, std::function<void()> activated) {
    activated_ = std::move(activated);
    if (!bus.isConnected()) {
        log_(QStringLiteral("single instance: no session bus, a second start cannot show this one"));
        return;
    }
    if (!bus.registerObject(objectPath_, this,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportAdaptors)) {
        log_(QStringLiteral("single instance: cannot offer %1 on the session bus").arg(objectPath_));
        return;
    }
    if (!bus.registerService(appId_))
        log_(QStringLiteral("single instance: %1 is owned by another process on the session bus, running anyway")
                 .arg(appId_));
    if (fd_ >= 0) {
        const QByteArray line = bus.baseService().toUtf8() + '\n';
        [[maybe_unused]] const ssize_t written = ::pwrite(fd_, line.constData(), static_cast<std::size_t>(line.size()), 0);
    }
}

QString SingleInstance::objectPathOf(const QString& appId) {
    return QLatin1Char('/') + QString(appId).replace(QLatin1Char('.'), QLatin1Char('/'));
}

QString SingleInstance::holderName() const { return holderNameIn(lockPath_); }

QString SingleInstance::holderNameIn(const QString& lockPath) {
    QFile file(lockPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray content = file.read(256);
    // Only a whole line: the holder may be writing it right now.
    if (!content.endsWith('\n'))
        return {};
    return QString::fromUtf8(content.chopped(1));
}

bool SingleInstance::activateRunning(QDBusConnection bus, int timeoutMs) {
    if (!bus.isConnected()) {
        log_(QStringLiteral("nubbo already running: no session bus to ask it to show its settings"));
        return false;
    }
    QElapsedTimer elapsed;
    elapsed.start();
    QString holder = holderName();
    while (holder.isEmpty() && elapsed.elapsed() < timeoutMs) {
        QThread::msleep(20);
        holder = holderName();
    }
    if (holder.isEmpty()) {
        log_(QStringLiteral("nubbo already running: asking it to show its settings failed (it is not on the session bus)"));
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(holder, objectPath_, kInterface, QStringLiteral("Activate"));
    call << QVariantMap();
    const int remaining = std::max(100, timeoutMs - static_cast<int>(elapsed.elapsed()));
    const QDBusMessage reply = bus.call(call, QDBus::Block, remaining);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        log_(QStringLiteral("nubbo already running: asking it to show its settings failed (%1)").arg(reply.errorMessage()));
        return false;
    }
    log_(QStringLiteral("nubbo already running: asked it to show its settings"));
    return true;
}

void SingleInstance::Activate(const QVariantMap& /*platformData*/) {
    if (activated_)
        activated_();
}

} // namespace nubbo
