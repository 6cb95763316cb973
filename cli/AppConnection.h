// The app of this home on the session bus: found by the unique name its lock file holds, as a second start
// finds it, so another user's or another home's app never answers.
#pragma once

#include "common/BusNames.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>

namespace nubbo::cli {

using bus::kBusName;
using bus::kInterface;
using bus::kObjectPath;

class AppConnection {
public:
    AppConnection();

    // The unique bus name of the running app; "" when none holds this home's lock.
    const QString& holder() const { return holder_; }
    QDBusConnection bus() const { return bus_; }
    QDBusMessage call(const QString& method, const QVariantList& arguments = {}, int timeoutMs = 5000) const;

private:
    QDBusConnection bus_;
    QString holder_;
};

// The error says the app is gone (or was never there), not that it refused.
bool meansNotRunning(const QDBusMessage& reply);

} // namespace nubbo::cli
