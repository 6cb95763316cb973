#include "cli/AppConnection.h"

#include "common/AppLocations.h"

#include <QDBusError>
#include <QFile>

namespace nubbo::cli {
namespace {

QString holderFromLock() {
    const std::string folder = locations::runtimeFolder(locations::Environment::current());
    if (folder.empty())
        return {};
    QFile file(QFile::decodeName(QByteArray::fromStdString(folder + "/app.lock")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray content = file.read(256);
    // Only a whole line: the app may be writing it right now.
    return content.endsWith('\n') ? QString::fromUtf8(content.chopped(1)) : QString();
}

} // namespace

AppConnection::AppConnection() : bus_(QDBusConnection::sessionBus()), holder_(holderFromLock()) {}

QDBusMessage AppConnection::call(const QString& method, const QVariantList& arguments, int timeoutMs) const {
    if (holder_.isEmpty())
        return QDBusMessage::createError(QDBusError::ServiceUnknown, QStringLiteral("no app holds this home's lock"));
    QDBusMessage message = QDBusMessage::createMethodCall(holder_, QLatin1String(kObjectPath),
                                                         QLatin1String(kInterface), method);
    message.setArguments(arguments);
    return bus_.call(message, QDBus::Block, timeoutMs);
}

bool meansNotRunning(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ErrorMessage)
        return false;
    const QString error = reply.errorName();
    return error == QDBusError::errorString(QDBusError::ServiceUnknown) ||
           error == QDBusError::errorString(QDBusError::Disconnected) ||
           error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

} // namespace nubbo::cli
