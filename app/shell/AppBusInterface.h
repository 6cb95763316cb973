// What other programs ask the running app over the session bus: interface dev.nubbo.Nubbo1 on the object the
// app serves for its single instance. Focus(s sessionId) -> (s outcome) goes to that session's terminal and
// answers with what became of it (a FocusOutcome raw value) once it is done, without holding up the app.
#pragma once

#include "model/FocusOutcome.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>

#include <functional>

namespace nubbo {

class AppBusInterface : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.nubbo.Nubbo1")

public:
    static inline const QString kInterface = QStringLiteral("dev.nubbo.Nubbo1");
    using GoTo = std::function<void(const QString& sessionId, std::function<void(FocusOutcome)> done)>;

    // Lives as a child of the object served on the bus (exported with its adaptors).
    AppBusInterface(QObject* served, QDBusConnection bus, GoTo goTo);

public Q_SLOTS:
    QString Focus(const QString& sessionId, const QDBusMessage& message);

private:
    QDBusConnection bus_;
    GoTo goTo_;
};

} // namespace nubbo
