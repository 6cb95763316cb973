// Desktop notifications for the agent events worth interrupting the user for, gated by the settings.
#pragma once

#include "model/AgentEvent.h"
#include "approvals/AnswerArming.h"
#include "platform/NotificationPoster.h"
#include "core/SettingsEnums.h"

#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace nubbo {

class Clock;
class SettingsStore;
class TerminalFocus;
struct TerminalContext;

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
    // Whether the user looks at this terminal now; answers on the calling thread, at once or later.
    using LookingAt = std::function<void(const TerminalContext& context, std::function<void(bool looking)> answer)>;
    // Goes to a session's terminal by the store's key.
    using GoToSession = std::function<void(const QString& key)>;

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
    // that wait for the user (auto-allowed ones arrive as coding events). With "Stay quiet for the session
    // I'm looking at" on and a looking-at check set, an event that says where its agent runs is posted once
    // the check answers, and only when the user is not looking at that terminal (an approval that ended
    // meanwhile is not posted at all).
    void notify(AgentEventType type, const AgentEvent& event);
    // The permission request was answered or withdrawn: its notification goes too, and its buttons stop
    // answering.
    void approvalEnded(const QUuid& eventId);
    // With a handler, approval notifications carry Allow and Deny where the desktop shows buttons; a press
    // reaches the handler once, only while the request waits, and only once the notification has been up
    // for AnswerArming::kSeconds (a click aimed at what was there before it popped up answers nothing).
    void setApprovalAnswerHandler(ApprovalAnswer handler) { answer_ = std::move(handler); }
    void setLookingAtCheck(LookingAt check) { lookingAt_ = std::move(check); }
    // A check that asks the TerminalFocus (which may wait on the X server and tmux) on the thread pool and
    // answers through the calling thread's event loop, so the GUI never waits on it. The focus must outlive
    // the checks it started.
    static LookingAt lookingAtOffThread(TerminalFocus& focus);
    // With a handler, a click on a notification's body (its default action) goes to the event's session.
    void setGoToSessionHandler(GoToSession handler) { goToSession_ = std::move(handler); }
    // Forwards to the platform (at launch and from the settings page).
    void requestAuthorization();

    // The keys of an approval notification's buttons.
    static inline const QString kAllowKey = QStringLiteral("allow");
    static inline const QString kDenyKey = QStringLiteral("deny");
    // The freedesktop name of the action a click on the body invokes.
    static inline const QString kDefaultKey = QStringLiteral("default");

    // The notification for an event type, or nothing for a type that never notifies.
    static std::optional<NotificationContent> content(AgentEventType type, const AgentEvent& event,
                                                      Language language);

    // The process-wide instance the app's start-up installed; aborts when there is none.
    static NubboNotifications& shared();
    // The start-up keeps ownership; pass nullptr to uninstall.
    static void setShared(NubboNotifications* notifications);
    static bool hasShared();

private:
    // The same for an agent on this machine.
    static std::optional<NotificationContent> localContent(AgentEventType type, const AgentEvent& event,
                                                           Language language);
    bool allowed(NotificationCategory category) const;
    void postNow(AgentEventType type, const AgentEvent& event, const NotificationContent& notification);

    SettingsStore& settings_;
    NotificationPoster& poster_;
    Clock& clock_;
    ApprovalAnswer answer_;
    LookingAt lookingAt_;
    GoToSession goToSession_;
    AnswerArming arming_;
    // Approval requests whose looking-at check has not answered yet; one that ends meanwhile is dropped.
    QSet<QUuid> checking_;
    // Dropped with this object, so a check that answers later finds it gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace nubbo
