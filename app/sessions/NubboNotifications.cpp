#include "sessions/NubboNotifications.h"

#include "model/AgentTitle.h"
#include "model/TerminalFocus.h"
#include "platform/Clock.h"
#include "platform/NotificationPoster.h"
#include "sessions/AgentSessionStore.h"
#include "settings/SettingsStore.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

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
    if (!notification || !allowed(notification->category))
        return;
    if (!settings_.quietWhileLooking() || !lookingAt_ || !event.terminal.known()) {
        postNow(type, event, *notification);
        return;
    }
    if (type == AgentEventType::approvalRequired)
        checking_.insert(event.id);
    lookingAt_(event.terminal, [this, alive = std::weak_ptr<bool>(alive_), type, event,
                                notification = *notification](bool looking) {
        if (alive.expired())
            return;
        if (type == AgentEventType::approvalRequired && !checking_.remove(event.id))
            return;  // the request ended while the check ran
        if (!looking)
            postNow(type, event, notification);
    });
}

void NubboNotifications::postNow(AgentEventType type, const AgentEvent& event, const NotificationContent& notification) {
    const Language language = settings_.effectiveLanguage();
    const bool approval = type == AgentEventType::approvalRequired;
    NotificationActions actions;
    if (approval && answer_) {
        // The card's own words, in the card's order.
        actions.buttons = {{kDenyKey, bilingual(language, u"Deny", u"拒绝")}, {kAllowKey, bilingual(language, u"Allow", u"允许")}};
        arming_.shown(event.id, clock_.now());
    }
    if (goToSession_)
        actions.buttons.append({kDefaultKey, bilingual(language, u"Go to Session", u"前往会话")});
    if (!actions.buttons.isEmpty()) {
        // The handlers are read at the press, not now: the app may replace them meanwhile.
        actions.invoked = [this, eventId = event.id, key = AgentSessionStore::sessionKey(event)](const QString& pressed) {
            if (pressed == kDefaultKey) {
                if (goToSession_)
                    goToSession_(key);
            } else if (answer_ && arming_.armed(eventId, clock_.now())) {
                answer_(eventId, pressed == kAllowKey);
            }
        };
    }
    // An approval's notification is named after its request, so that it can go when the request ends.
    const QString tag = approval ? event.id.toString(QUuid::WithoutBraces) : QString();
    post(notification.title, notification.body, notification.category, tag, actions);
}

NubboNotifications::LookingAt NubboNotifications::lookingAtOffThread(TerminalFocus& focus) {
    return [&focus](const TerminalContext& context, std::function<void(bool)> answer) {
        auto* watcher = new QFutureWatcher<bool>();
        QObject::connect(watcher, &QFutureWatcher<bool>::finished, watcher, [watcher, answer = std::move(answer)] {
            answer(watcher->result());
            watcher->deleteLater();
        });
        watcher->setFuture(QtConcurrent::run([&focus, context] { return focus.isLookingAt(context); }));
    };
}

void NubboNotifications::approvalEnded(const QUuid& eventId) {
    checking_.remove(eventId);
    arming_.hidden(eventId);
    poster_.withdraw(eventId.toString(QUuid::WithoutBraces));
}

void NubboNotifications::requestAuthorization() { poster_.requestAuthorization(); }

std::optional<NotificationContent> NubboNotifications::content(AgentEventType type, const AgentEvent& event,
                                                               Language language) {
    std::optional<NotificationContent> content = localContent(type, event, language);
    // An agent on another machine says which in the title; one here keeps the short title.
    if (content && event.host)
        content->title += QStringLiteral(" · ") + agentTitle(event.provider, event.host, language);
    return content;
}

std::optional<NotificationContent> NubboNotifications::localContent(AgentEventType type, const AgentEvent& event,
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
