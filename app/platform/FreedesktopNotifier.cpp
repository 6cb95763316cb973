#include "FreedesktopNotifier.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

namespace nubbo {

FreedesktopNotifier::FreedesktopNotifier(Log log, QDBusConnection connection)
    : log_(std::move(log)), connection_(std::move(connection)), watchers_(std::make_unique<QObject>()) {}

FreedesktopNotifier::~FreedesktopNotifier() = default;

void FreedesktopNotifier::post(const QString& title, const QString& body, const QString& tag) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    // The argument types must match the signature "susssasa{sv}i" exactly, or servers reject the call.
    const QVariantMap hints{{QStringLiteral("sound-name"), kSoundName}};
    call << kAppName << quint32(0) << QString() << title << body << QStringList() << hints << qint32(-1);

    // asyncCall never waits. Without a bus it hands back a call that is already over, and a watcher would
    // never report that one.
    const QDBusPendingCall pending = connection_.asyncCall(call);
    if (pending.isFinished()) {
        noteReply(pending.isError(), pending.error().message());
        return;
    }
    if (!tag.isEmpty())
        pending_.insert(tag);
    auto* watcher = new QDBusPendingCallWatcher(pending, watchers_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watchers_.get(),
                     [this, tag](QDBusPendingCallWatcher* finished) {
                         noteReply(finished->isError(), finished->error().message());
                         const QDBusMessage reply = finished->reply();
                         finished->deleteLater();
                         if (tag.isEmpty())
                             return;
                         pending_.remove(tag);
                         const bool withdrawn = withdrawnEarly_.remove(tag);
                         if (finished->isError() || reply.arguments().isEmpty())
                             return;
                         const quint32 id = reply.arguments().constFirst().toUInt();
                         if (withdrawn)
                             close(id);
                         else
                             shown_.insert(tag, id);
                     });
}

void FreedesktopNotifier::withdraw(const QString& tag) {
    if (tag.isEmpty())
        return;
    if (const auto found = shown_.constFind(tag); found != shown_.constEnd()) {
        close(*found);
        shown_.erase(found);
        return;
    }
    if (pending_.contains(tag))
        withdrawnEarly_.insert(tag);
}

void FreedesktopNotifier::close(quint32 id) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
    call << id;
    connection_.asyncCall(call);
}

void FreedesktopNotifier::noteReply(bool failed, const QString& error) {
    if (failed && !failing_ && log_)
        log_(QStringLiteral("notification not shown: ") + error);
    failing_ = failed;
}

} // namespace nubbo
