#include "remote/RemoteHostEntry.h"

#include "common/Utf8Text.h"
#include "core/AppPaths.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace nubbo {
namespace {

constexpr int kVersion = 1;

bool printable(const QString& text) {
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return false;
    return true;
}

// Why the entry cannot be used; empty when it can.
QString problemOf(const RemoteHostEntry& host) {
    if (host.name.isEmpty() || !printable(host.name))
        return QStringLiteral("a host without a usable name");
    // ssh reads a destination that starts with '-' as an option.
    if (!text::isPrintableToken(host.destination.toStdString()) || host.destination.startsWith(QLatin1Char('-')))
        return QStringLiteral("the destination is not a [user@]host");
    if (host.port && (*host.port < 1 || *host.port > 65535))
        return QStringLiteral("the port is out of range");
    // ssh's -R takes "<remote path>:<local path>".
    if (!host.socketPath.startsWith(QLatin1Char('/')) || host.socketPath.contains(QLatin1Char(':')) ||
        !printable(host.socketPath))
        return QStringLiteral("the socket path is not an absolute path without ':'");
    return {};
}

} // namespace

std::optional<QList<RemoteHostEntry>> RemoteHostEntry::parseList(const QByteArray& json, QStringList* skipped) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(QStringLiteral("version")).toInt() != kVersion ||
        !root.value(QStringLiteral("hosts")).isArray())
        return std::nullopt;
    QList<RemoteHostEntry> hosts;
    for (const QJsonValue& item : root.value(QStringLiteral("hosts")).toArray()) {
        const QJsonObject object = item.toObject();
        RemoteHostEntry host;
        host.name = object.value(QStringLiteral("name")).toString();
        host.destination = object.value(QStringLiteral("destination")).toString();
        const QJsonValue port = object.value(QStringLiteral("port"));
        if (port.isDouble())
            host.port = port.toInt(-1);
        else if (!port.isNull() && !port.isUndefined())
            host.port = -1;
        host.socketPath = object.value(QStringLiteral("socketPath")).toString();
        QString problem = problemOf(host);
        for (const RemoteHostEntry& earlier : hosts)
            if (problem.isEmpty() && earlier.name == host.name)
                problem = QStringLiteral("a second host of the same name");
        if (problem.isEmpty())
            hosts.append(host);
        else if (skipped)
            skipped->append(QStringLiteral("remote host \"%1\" left out: %2").arg(host.name, problem));
    }
    return hosts;
}

std::optional<QList<RemoteHostEntry>> RemoteHostEntry::readList(const QString& path, QStringList* skipped) {
    QFile file(path);
    if (!file.exists())
        return QList<RemoteHostEntry>{};
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseList(file.readAll(), skipped);
}

QString RemoteHostEntry::listPath() { return AppPaths::dataDirectory() + QStringLiteral("/remote-hosts.json"); }

} // namespace nubbo
