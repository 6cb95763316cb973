#include "sessions/NubboNotifications.h"

#include "platform/Clock.h"
#include "platform/NotificationPoster.h"
#include "settings/SettingsStore.h"

#include <atomic>

namespace nubbo {

namespace {

std::atomic<NubboNotifications*> sharedNotifications{nullptr};

} // namespace

NubboNotifications::NubboNotifications(SettingsStore& settings, NotificationPoster& poster, Clock& clock)
    : settings_(settings), poster_(poster), clock_(clock) {}

NubboNotifications::~NubboNotifications() {
    NubboNotifications* self = this;
    sharedNotifications.compare_exchange_strong(self, nullptr);
}

void NubboNotifications::post(const QString& title, const QString& body, NotificationCategory category,
                              const QString& tag, const NotificationActions& actions) {
    if (!allowed(category))
        return;
    poster_.post(title, body, tag, actions);
}

void NubboNotifications::notify(AgentEventType type, const AgentEvent& event) {
    const Language language = settings_.effectiveLanguage();
    const auto notification = content(type, event, language);
    if (!notification)
        return;
    if (type != AgentEventType::approvalRequired) {
        post(notification->title, notification->body, notification->category);
        return;
    }
    // An approval's notification is named after its request, so that it can go when the request ends.
    const QString tag = event.id.toString(QUuid::WithoutBraces);
    NotificationActions actions;
    if (answer_) {
        // The card's own words, in the card's order.
        actions.buttons = {{kDenyKey, bilingual(language, u"Deny", u"拒绝")}, {kAllowKey, bilingual(language, u"Allow", u"允许")}};
        // The handler is read at the press, not now: the app may replace it meanwhile.
        actions.invoked = [this, eventId = event.id](const QString& key) {
            if (answer_ && arming_.armed(eventId, clock_.now()))
                answer_(eventId, key == kAllowKey);
        };
        arming_.shown(event.id, clock_.now());
    }
    post(notification->title, notification->body, notification->category, tag, actions);
}

void NubboNotifications::approvalEnded(const QUuid& eventId) {
    arming_.hidden(eventId);
    poster_.withdraw(eventId.toString(QUuid::WithoutBraces));
}

void NubboNotifications::requestAuthorization() { poster_.requestAuthorization(); }

std::optional<NotificationContent> NubboNotifications::content(AgentEventType type, const AgentEvent& event,
                                                               Language language) {
    switch (type) {
    case AgentEventType::approvalRequired: {
        // An empty command would make a notification that says nothing; the message explains the request.
        const bool hasCommand = event.command && !event.command->isEmpty();
        return NotificationContent{bilingual(language, u"Nubbo · Approval", u"Nubbo · 授权"),
                                   hasCommand ? *event.command : event.message,
                                   NotificationCategory::approvalRequired};
    }
    case AgentEventType::taskCompleted:
        return NotificationContent{QStringLiteral("Nubbo"), event.message, NotificationCategory::taskCompleted};
    case AgentEventType::riskyActionDetected:
        return NotificationContent{bilingual(language, u"Nubbo · Risky Action", u"Nubbo · 高风险操作"), event.message,
                                   NotificationCategory::riskyAction};
    default:
        return std::nullopt;
    }
}

bool NubboNotifications::allowed(NotificationCategory category) const {
    if (!settings_.showNotifications())
        return false;
    switch (category) {
    case NotificationCategory::approvalRequired:
        return settings_.notifyApprovalRequired();
    case NotificationCategory::taskCompleted:
        return settings_.notifyTaskCompleted();
    case NotificationCategory::riskyAction:
        return settings_.notifyRiskyAction();
    }
    return false;
}

NubboNotifications& NubboNotifications::shared() {
    NubboNotifications* notifications = sharedNotifications.load();
    if (!notifications)
        qFatal("NubboNotifications::shared() called before the app installed an instance");
    return *notifications;
}

void NubboNotifications::setShared(NubboNotifications* notifications) { sharedNotifications.store(notifications); }

bool NubboNotifications::hasShared() { return sharedNotifications.load() != nullptr; }

} // namespace nubbo
