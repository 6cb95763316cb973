#include "remote/RemoteHostStates.h"

#include "common/BusNames.h"
#include "core/AppPaths.h"
#include "platform/SingleInstance.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>

namespace nubbo {

std::optional<QMap<QString, RemoteHostReport>> RemoteHostStates::fromRunningApp(int timeoutMs) {
    // The app of this home, by the unique name its lock holds, as a second start finds it.
    const QString holder = SingleInstance::holderNameIn(QDir(AppPaths::runtimeDirectory()).filePath(QStringLiteral("app.lock")));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (holder.isEmpty() || !bus.isConnected())
        return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(holder, QLatin1String(bus::kObjectPath),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call << QLatin1String(bus::kInterface) << QStringLiteral("RemoteHosts");
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
    if (!value.canConvert<QDBusArgument>())
        return std::nullopt;
    QList<QVariantMap> entries;
    value.value<QDBusArgument>() >> entries;
    QMap<QString, RemoteHostReport> states;
    for (const QVariantMap& entry : entries)
        states.insert(entry.value(QStringLiteral("name")).toString(),
                      {entry.value(QStringLiteral("state")).toString(), entry.value(QStringLiteral("reason")).toString()});
    return states;
}

} // namespace nubbo
