// Desktop notifications as the rest of the app sees them: one call to show a title and a body.
#pragma once

#include <QString>

namespace nubbo {

class NotificationPoster {
public:
    virtual ~NotificationPoster() = default;
    // Shows one notification with the platform's default sound. Never blocks and never fails visibly: a
    // desktop that cannot show it simply shows nothing. A non-empty tag names it for withdraw().
    virtual void post(const QString& title, const QString& body, const QString& tag = QString()) = 0;
    // Takes the tagged notification off the screen if it is still there (what it stood for is over).
    virtual void withdraw(const QString& tag) = 0;
    // Asks the user for permission to notify where the platform has such a step; elsewhere does nothing.
    virtual void requestAuthorization() = 0;
};

} // namespace nubbo
