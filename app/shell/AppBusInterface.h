// What other programs ask the running app over the session bus: interface dev.nubbo.Nubbo1 on the object the
// app serves for its single instance. Focus(s sessionId) -> (s outcome) goes to that session's terminal and
// answers with what became of it (a FocusOutcome raw value) once it is done, without holding up the app.
// Status() is the status document as compact JSON; Sessions, ApprovalMode and Paused show the same on the
// bus, with PropertiesChanged sent at most a few times a second and only when what they show changed.
// Approve(id) and Deny(id) answer a waiting request as the card does; RequestAdded and RequestAnswered follow
// every request from when it waits until it ends. RemoteHosts lists the SSH hosts with where each one's forward
// stands ({name, destination, state, reason}).
#pragma once

#include "common/BusNames.h"
#include "model/FocusOutcome.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QSet>
#include <QUuid>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace nubbo {

class AgentSessionStore;
class Clock;
class Scheduler;
class SettingsStore;

class AppBusInterface : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.nubbo.Nubbo1")
    // Written out so that what the methods return is named too; the members below are what answers.
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"dev.nubbo.Nubbo1\">\n"
                "    <method name=\"Focus\"><arg name=\"sessionId\" type=\"s\" direction=\"in\"/>"
                "<arg name=\"outcome\" type=\"s\" direction=\"out\"/></method>\n"
                "    <method name=\"Status\"><arg name=\"document\" type=\"s\" direction=\"out\"/></method>\n"
                "    <method name=\"Approve\"><arg name=\"id\" type=\"s\" direction=\"in\"/>"
                "<arg name=\"answered\" type=\"b\" direction=\"out\"/></method>\n"
                "    <method name=\"Deny\"><arg name=\"id\" type=\"s\" direction=\"in\"/>"
                "<arg name=\"answered\" type=\"b\" direction=\"out\"/></method>\n"
                "    <method name=\"ShowSettings\"/>\n"
                "    <signal name=\"RequestAdded\"><arg name=\"id\" type=\"s\"/><arg name=\"session\" type=\"s\"/>"
                "<arg name=\"command\" type=\"s\"/><arg name=\"risky\" type=\"b\"/></signal>\n"
                "    <signal name=\"RequestAnswered\"><arg name=\"id\" type=\"s\"/>"
                "<arg name=\"verdict\" type=\"s\"/></signal>\n"
                "    <property name=\"Sessions\" type=\"aa{sv}\" access=\"read\"/>\n"
                "    <property name=\"ApprovalMode\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Paused\" type=\"b\" access=\"read\"/>\n"
                "    <property name=\"RemoteHosts\" type=\"aa{sv}\" access=\"read\"/>\n"
                "  </interface>\n")
    Q_PROPERTY(QList<QVariantMap> Sessions READ sessions)
    Q_PROPERTY(QString ApprovalMode READ approvalMode)
    Q_PROPERTY(bool Paused READ paused)
    Q_PROPERTY(QList<QVariantMap> RemoteHosts READ remoteHosts)

public:
    static inline const QString kInterface = QLatin1String(bus::kInterface);
    static inline const QString kObjectPath = QLatin1String(bus::kObjectPath);
    // A burst of events sends one PropertiesChanged.
    static constexpr double kPropertiesDelay = 0.25;
    using GoTo = std::function<void(const QString& sessionId, std::function<void(FocusOutcome)> done)>;

    // What the app shows and how it answers; they exist once the app is built, before the first call.
    struct App {
        const AgentSessionStore& sessions;
        SettingsStore& settings;
        const Clock& clock;
        Scheduler& scheduler;
        // Answers the waiting request as the card would; false when it no longer waits.
        std::function<bool(const QUuid& eventId, bool allow)> answer;
        std::function<void()> showSettings;
        // The SSH hosts as the property shows them; empty: none.
        std::function<QList<QVariantMap>()> remoteHosts;
    };

    // Lives as a child of the object served on the bus (exported with its adaptors).
    AppBusInterface(QObject* served, QDBusConnection bus, GoTo goTo);
    ~AppBusInterface() override;

    void attach(App app);
    // From the store after every change: announces the requests that began to wait.
    void sessionsChanged();
    // Said just before the store hears a user's verdict, so that the request's end carries it.
    void answering(const QUuid& eventId, bool allow);
    // From the store when a waiting request ends, answered or not.
    void requestEnded(const QUuid& eventId);
    // After a host's state changed, or the hosts did.
    void remoteHostsChanged();

    QList<QVariantMap> sessions() const;
    QString approvalMode() const;
    bool paused() const;
    QList<QVariantMap> remoteHosts() const;

public Q_SLOTS:
    QString Focus(const QString& sessionId, const QDBusMessage& message);
    QString Status() const;
    bool Approve(const QString& id);
    bool Deny(const QString& id);
    void ShowSettings();

Q_SIGNALS:
    // session: the agent's own session id; verdict: "allow", "deny" or "withdrawn".
    void RequestAdded(const QString& id, const QString& session, const QString& command, bool risky);
    void RequestAnswered(const QString& id, const QString& verdict);

private:
    bool answer(const QString& id, bool allow);
    qint64 wallMsAtClockZero() const;
    void propertiesMayHaveChanged();
    void publishProperties();

    QDBusConnection bus_;
    GoTo goTo_;
    std::optional<App> app_;
    // Requests announced by RequestAdded that have not ended yet.
    QSet<QUuid> announced_;
    std::optional<std::pair<QUuid, bool>> verdict_;
    // Follows the wall clock only when it moved against the app's clock, so a time shown stays put.
    mutable qint64 wallMsAtClockZero_ = 0;
    bool flushPending_ = false;
    QList<QVariantMap> shownSessions_;
    QString shownMode_;
    bool shownPaused_ = false;
    QList<QVariantMap> shownRemoteHosts_;
};

} // namespace nubbo
