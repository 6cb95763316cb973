#include "platform/FreedesktopNotifier.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

namespace nubbo {

// The bus delivers signals to slots only; this forwards them to the notifier it belongs to.
class FreedesktopNotifierSignals : public QObject {
    Q_OBJECT
public:
    explicit FreedesktopNotifierSignals(FreedesktopNotifier& notifier) : notifier_(notifier) {}

public Q_SLOTS:
    void actionInvoked(uint id, const QString& key) { notifier_.actionInvoked(id, key); }
    void notificationClosed(uint id, uint /*reason*/) { notifier_.notificationClosed(id); }

private:
    FreedesktopNotifier& notifier_;
};

FreedesktopNotifier::FreedesktopNotifier(Log log, QDBusConnection connection)
    : log_(std::move(log)), connection_(std::move(connection)),
      watchers_(std::make_unique<FreedesktopNotifierSignals>(*this)) {
    // Subscribed by the well-known name, so a server started or replaced later is heard too.
    connection_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), watchers_.get(),
                        SLOT(actionInvoked(uint, QString)));
    connection_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), watchers_.get(),
                        SLOT(notificationClosed(uint, uint)));
}

FreedesktopNotifier::~FreedesktopNotifier() = default;

void FreedesktopNotifier::post(const QString& title, const QString& body, const QString& tag,
                               const NotificationActions& actions) {
    // The server's capabilities decide the body's form (a server that renders markup would read a command's
    // "<" or "&" as markup, and could hide part of it) and whether buttons can be offered.
    const QDBusPendingCall asked = connection_.asyncCall(
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities")));
    if (asked.isFinished()) {
        // No bus: Notify fails the same way and is logged as such.
        notify(title, body.toHtmlEscaped(), tag, {});
        return;
    }
    if (!tag.isEmpty())
        pending_.insert(tag);
    auto* watcher = new QDBusPendingCallWatcher(asked, watchers_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watchers_.get(),
                     [this, title, body, tag, actions](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         const QStringList capabilities =
                             finished->isError() ? QStringList()
                                                 : finished->reply().arguments().value(0).toStringList();
                         if (!tag.isEmpty()) {
                             pending_.remove(tag);
                             // Over before it was shown: nothing to show.
                             if (withdrawnEarly_.remove(tag))
                                 return;
                         }
                         // Without an answer, escaped: a server that renders markup shows the text as it is,
                         // one that does not shows the few entities, never less than the whole command.
                         const bool plain = !finished->isError() && !capabilities.contains(QStringLiteral("body-markup"));
                         const bool buttons = !actions.buttons.isEmpty() && actions.invoked
                                              && capabilities.contains(QStringLiteral("actions"));
                         notify(title, plain ? body : body.toHtmlEscaped(), tag, buttons ? actions : NotificationActions{});
                     });
}

void FreedesktopNotifier::notify(const QString& title, const QString& body, const QString& tag,
                                 const NotificationActions& actions) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    // The argument types must match the signature "susssasa{sv}i" exactly, or servers reject the call.
    const QVariantMap hints{{QStringLiteral("sound-name"), kSoundName}};
    // Actions travel as one flat list: key, label, key, label.
    QStringList flat;
    Buttons buttons{{}, actions.invoked};
    for (const NotificationAction& action : actions.buttons) {
        flat << action.key << action.label;
        buttons.keys << action.key;
    }
    call << kAppName << quint32(0) << QString() << title << body << flat << hints << qint32(-1);

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
                     [this, tag, buttons](QDBusPendingCallWatcher* finished) {
                         noteReply(finished->isError(), finished->error().message());
                         const QDBusMessage reply = finished->reply();
                         finished->deleteLater();
                         const bool withdrawn = !tag.isEmpty() && withdrawnEarly_.remove(tag);
                         if (!tag.isEmpty())
                             pending_.remove(tag);
                         if (finished->isError() || reply.arguments().isEmpty())
                             return;
                         const quint32 id = reply.arguments().constFirst().toUInt();
                         if (withdrawn) {
                             close(id);
                             return;
                         }
                         if (!tag.isEmpty())
                             shown_.insert(tag, id);
                         if (buttons.invoked && !buttons.keys.isEmpty())
                             buttons_.insert(id, buttons);
                     });
}

void FreedesktopNotifier::checkServer(std::function<void(std::optional<QString> server)> answered) {
    const QDBusPendingCall asked = connection_.asyncCall(
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetServerInformation")));
    const auto report = [answered](const QDBusPendingCall& call) {
        const QList<QVariant> info = call.isError() ? QList<QVariant>() : call.reply().arguments();
        if (info.size() < 3) {
            answered(std::nullopt);
            return;
        }
        // GetServerInformation answers name, vendor, version and the protocol version
        answered(QStringList{info.at(0).toString(), info.at(2).toString()}.join(QLatin1Char(' ')).trimmed());
    };
    if (asked.isFinished()) {
        report(asked);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(asked, watchers_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watchers_.get(),
                     [report](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         report(*finished);
                     });
}

void FreedesktopNotifier::withdraw(const QString& tag) {
    if (tag.isEmpty())
        return;
    if (const auto found = shown_.constFind(tag); found != shown_.constEnd()) {
        buttons_.remove(*found);
        close(*found);
        shown_.erase(found);
        return;
    }
    if (pending_.contains(tag))
        withdrawnEarly_.insert(tag);
}

void FreedesktopNotifier::actionInvoked(quint32 id, const QString& key) {
    const auto found = buttons_.find(id);
    // Other clients' notifications, ours without buttons, and keys we never offered (some servers send
    // "default" for a click on the body) leave the buttons in place.
    if (found == buttons_.end() || !found->keys.contains(key))
        return;
    // Taken out before the call: a second press, or one the callback provokes, finds nothing.
    const auto invoked = std::move(found->invoked);
    buttons_.erase(found);
    invoked(key);
}

void FreedesktopNotifier::notificationClosed(quint32 id) {
    buttons_.remove(id);
    for (auto it = shown_.begin(); it != shown_.end(); ++it) {
        if (*it == id) {
            shown_.erase(it);
            return;
        }
    }
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

#include "FreedesktopNotifier.moc"
