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

void FreedesktopNotifier::post(const QString& title, const QString& body) {
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
    auto* watcher = new QDBusPendingCallWatcher(pending, watchers_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watchers_.get(),
                     [this](QDBusPendingCallWatcher* finished) {
                         noteReply(finished->isError(), finished->error().message());
                         finished->deleteLater();
                     });
}

void FreedesktopNotifier::noteReply(bool failed, const QString& error) {
    if (failed && !failing_ && log_)
        log_(QStringLiteral("notification not shown: ") + error);
    failing_ = failed;
}

} // namespace nubbo
