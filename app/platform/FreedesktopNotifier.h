// Notifications through the desktop's notification server (org.freedesktop.Notifications on the session bus).
#pragma once

#include "platform/NotificationPoster.h"

#include <QDBusConnection>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace nubbo {

class FreedesktopNotifier final : public NotificationPoster {
public:
    using Log = std::function<void(const QString&)>;

    // The connection is the session bus unless a test passes another. log receives one line when calls
    // start failing (no server, no bus) and not again until one has succeeded, so a desktop without a
    // notification server does not fill the log.
    explicit FreedesktopNotifier(Log log = {}, QDBusConnection connection = QDBusConnection::sessionBus());
    ~FreedesktopNotifier() override;

    // Sends Notify asynchronously and returns at once; the reply, or the error, arrives on the event loop of
    // the calling thread and is otherwise ignored. Every call is a new notification (replaces_id 0). With
    // buttons, the server is asked first whether it shows actions (it may have been replaced since the last
    // time); one that does not gets the plain notification.
    void post(const QString& title, const QString& body, const QString& tag = QString(),
              const NotificationActions& actions = {}) override;
    // CloseNotification for the tagged one, once its id is known (at once, or when the server answers).
    // Its buttons stop answering at once.
    void withdraw(const QString& tag) override;
    // The freedesktop protocol has no permission step: whether notifications show is the server's and the
    // user's business there, so this does nothing.
    void requestAuthorization() override {}
    // Asks the notification server who it is, asynchronously: answered with "<name> <version>" when one
    // answers, with nothing when none does (no server, no bus). Called on the calling thread's event loop.
    void checkServer(std::function<void(std::optional<QString> server)> answered);

    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
    static inline const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kAppName = QStringLiteral("Nubbo");
    // The freedesktop sound-theme name for an incoming message; servers without sound support ignore it.
    static inline const QString kSoundName = QStringLiteral("message-new-instant");

private:
    friend class FreedesktopNotifierSignals;

    struct Buttons {
        QStringList keys;
        std::function<void(const QString& key)> invoked;
    };

    // The server's signals, broadcast for every client's notifications: only our numbers count.
    void actionInvoked(quint32 id, const QString& key);
    void notificationClosed(quint32 id);
    void notify(const QString& title, const QString& body, const QString& tag, const NotificationActions& actions);
    void noteReply(bool failed, const QString& error);
    void close(quint32 id);

    Log log_;
    QDBusConnection connection_;
    bool failing_ = false;
    // Parent of the reply watchers and receiver of the server's signals: destroying the notifier drops
    // replies still to come and signals.
    std::unique_ptr<QObject> watchers_;
    // Tagged notifications the server has numbered, those it has not answered yet, and those of them
    // withdrawn meanwhile (closed as soon as their number arrives).
    QHash<QString, quint32> shown_;
    QSet<QString> pending_;
    QSet<QString> withdrawnEarly_;
    // The buttons of the notifications on screen, by the server's number; taken out when one is pressed.
    QHash<quint32, Buttons> buttons_;
};

} // namespace nubbo
