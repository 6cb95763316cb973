#include "shell/AppBusInterface.h"

#include "shell/FocusCommandLine.h"

namespace nubbo {

AppBusInterface::AppBusInterface(QObject* served, QDBusConnection bus, GoTo goTo)
    : QDBusAbstractAdaptor(served), bus_(std::move(bus)), goTo_(std::move(goTo)) {}

QString AppBusInterface::Focus(const QString& sessionId, const QDBusMessage& message) {
    // Any program on the bus may call: an id no agent could have reported is no session.
    if (!isSessionId(sessionId))
        return rawValue(FocusOutcome::unknownSession);
    message.setDelayedReply(true);
    goTo_(sessionId, [bus = bus_, message](FocusOutcome outcome) {
        bus.send(message.createReply(rawValue(outcome)));
    });
    return {};
}

} // namespace nubbo
