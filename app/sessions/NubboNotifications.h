// Desktop notifications for the agent events worth interrupting the user for, gated by the settings.
#pragma once

#include "model/AgentEvent.h"
#include "approvals/AnswerArming.h"
#include "platform/NotificationPoster.h"
#include "core/SettingsEnums.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace nubbo {

class Clock;
class SettingsStore;

// Selects the per-kind switch in the settings; the desktop never sees it.
enum class NotificationCategory { approvalRequired, taskCompleted, riskyAction };

// What notify posts for one event.
struct NotificationContent {
    QString title;
    QString body;
    NotificationCategory category = NotificationCategory::approvalRequired;

    bool operator==(const NotificationContent&) const = default;
};

// Keeps nothing between calls: the switches are read from the settings at each post, so a change in the
// settings page applies to the very next event. Main thread only.
class NubboNotifications {
public:
    // The user's answer to a permission request, given on its notification.
    using ApprovalAnswer = std::function<void(const QUuid& eventId, bool allow)>;

    // The clock times the notification's buttons (see AnswerArming); it must outlive this object.
    NubboNotifications(SettingsStore& settings, NotificationPoster& poster, Clock& clock);
    // Uninstalls itself when it is the shared instance.
    ~NubboNotifications();
    NubboNotifications(const NubboNotifications&) = delete;
    NubboNotifications& operator=(const NubboNotifications&) = delete;

    // Posts one notification unless the master switch or the category's switch is off. Every call that
    // passes posts its own notification: nothing is throttled, grouped or replaced.
    void post(const QString& title, const QString& body, NotificationCategory category, const QString& tag = {},
              const NotificationActions& actions = {});
    // For approvalRequired, taskCompleted and riskyActionDetected, posts the event's notification in the
    // interface language; does nothing for any other type. The caller hands over only permission requests
    // that wait for the user (auto-allowed ones arrive as coding events).
    void notify(AgentEventType type, const AgentEvent& event);
    // The permission request was answered or withdrawn: its notification goes too, and its buttons stop
    // answering.
    void approvalEnded(const QUuid& eventId);
    // With a handler, approval notifications carry Allow and Deny where the desktop shows buttons; a press
    // reaches the handler once, only while the request waits, and only once the notification has been up
    // for AnswerArming::kSeconds (a click aimed at what was there before it popped up answers nothing).
    void setApprovalAnswerHandler(ApprovalAnswer handler) { answer_ = std::move(handler); }
    // Forwards to the platform (at launch and from the settings page).
    void requestAuthorization();

    // The keys of an approval notification's buttons.
    static inline const QString kAllowKey = QStringLiteral("allow");
    static inline const QString kDenyKey = QStringLiteral("deny");

    // The notification for an event type, or nothing for a type that never notifies.
    static std::optional<NotificationContent> content(AgentEventType type, const AgentEvent& event,
                                                      Language language);

    // The process-wide instance the app's start-up installed; aborts when there is none.
    static NubboNotifications& shared();
    // The start-up keeps ownership; pass nullptr to uninstall.
    static void setShared(NubboNotifications* notifications);
    static bool hasShared();

private:
    bool allowed(NotificationCategory category) const;

    SettingsStore& settings_;
    NotificationPoster& poster_;
    Clock& clock_;
    ApprovalAnswer answer_;
    AnswerArming arming_;
};

} // namespace nubbo
