// Desktop notifications as the rest of the app sees them: one call to show a title and a body.
#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace nubbo {

// One button on a notification: the key comes back when it is pressed, the label is what the user reads.
struct NotificationAction {
    QString key;
    QString label;
};

// Buttons for a notification and what to do when one is pressed. Empty: a plain notification.
struct NotificationActions {
    QList<NotificationAction> buttons;
    // Called on the poster's thread with the pressed button's key, at most once per notification, and never
    // after the notification was withdrawn or closed.
    std::function<void(const QString& key)> invoked;
};

class NotificationPoster {
public:
    virtual ~NotificationPoster() = default;
    // Shows one notification with the platform's default sound. Never blocks and never fails visibly: a
    // desktop that cannot show it simply shows nothing. A non-empty tag names it for withdraw(). The buttons
    // show only where the desktop can show them; elsewhere the notification goes out without them.
    virtual void post(const QString& title, const QString& body, const QString& tag = QString(),
                      const NotificationActions& actions = {}) = 0;
    // Takes the tagged notification off the screen if it is still there (what it stood for is over).
    virtual void withdraw(const QString& tag) = 0;
    // Asks the user for permission to notify where the platform has such a step; elsewhere does nothing.
    virtual void requestAuthorization() = 0;
};

} // namespace nubbo
