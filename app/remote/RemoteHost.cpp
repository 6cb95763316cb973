#include "remote/RemoteHost.h"

#include <QDir>

#include <algorithm>

namespace nubbo {
namespace {

bool fail(QString* error, const QString& message) {
    if (error) *error = message;
    return false;
}

std::optional<RemoteDestination> refuse(QString* error, const QString& message) {
    fail(error, message);
    return std::nullopt;
}

// White space or a control character anywhere: ssh would split the word or a terminal would act on it.
bool hasBlankOrControl(const QString& text) {
    for (const QChar c : text)
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return true;
    return false;
}

bool checkPort(const QString& text, std::optional<int>& port, QString* error) {
    bool number = false;
    const int value = text.toInt(&number);
    // Digits only: toInt also takes a sign and surrounding blanks.
    const bool digits = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    if (!digits || !number || value < 1 || value > 65535)
        return fail(error, QStringLiteral("the port must be a number from 1 to 65535, not \"%1\"").arg(text));
    port = value;
    return true;
}

} // namespace

std::optional<RemoteDestination> RemoteDestination::parse(const QString& text, QString* error) {
    if (text.isEmpty())
        return refuse(error, QStringLiteral("no host given"));
    if (text.startsWith(QLatin1Char('-')))
        return refuse(error, QStringLiteral("a host cannot begin with \"-\": ssh would read it as an option"));
    if (hasBlankOrControl(text))
        return refuse(error, QStringLiteral("a host cannot hold white space or control characters"));

    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    const QString user = at >= 0 ? text.left(at) : QString();
    QString rest = at >= 0 ? text.mid(at + 1) : text;
    if (at >= 0 && user.isEmpty())
        return refuse(error, QStringLiteral("no user before \"@\""));
    if (user.startsWith(QLatin1Char('-')))
        return refuse(error, QStringLiteral("a user cannot begin with \"-\""));

    QString host;
    std::optional<int> port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return refuse(error, QStringLiteral("\"[\" without \"]\""));
        host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':')))
                return refuse(error, QStringLiteral("only \":PORT\" may follow \"]\""));
            if (!checkPort(after.mid(1), port, error))
                return std::nullopt;
        }
    } else if (rest.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        host = rest.left(colon);
        if (!checkPort(rest.mid(colon + 1), port, error))
            return std::nullopt;
    } else {
        host = rest;  // a bare IPv6 address has no port
    }
    if (host.isEmpty())
        return refuse(error, QStringLiteral("no host given"));
    if (host.startsWith(QLatin1Char('-')))
        return refuse(error, QStringLiteral("a host cannot begin with \"-\": ssh would read it as an option"));
    // The name is also a folder of the app's: it must stay one folder.
    if (host.contains(QLatin1Char('/')) || host.contains(QLatin1Char('[')) || host.contains(QLatin1Char(']')) ||
        host == QLatin1String(".") || host == QLatin1String(".."))
        return refuse(error, QStringLiteral("\"%1\" is not a host name").arg(host));

    return RemoteDestination{host, at >= 0 ? user + QLatin1Char('@') + host : host, port};
}

QString RemoteDestination::text() const {
    if (!port)
        return destination;
    const qsizetype at = destination.lastIndexOf(QLatin1Char('@'));
    const QString user = at >= 0 ? destination.left(at + 1) : QString();
    const QString host = name.contains(QLatin1Char(':')) ? QLatin1Char('[') + name + QLatin1Char(']') : name;
    return user + host + QLatin1Char(':') + QString::number(*port);
}

QString RemoteHost::socketPathFor(const QString& remoteHome) {
    return QDir::cleanPath(remoteHome + QStringLiteral("/.nubbo/run/nubbo.sock"));
}

QString RemoteHost::launcherPathFor(const QString& remoteHome) {
    return QDir::cleanPath(remoteHome + QStringLiteral("/.nubbo/bin/nubbo-bridge"));
}

} // namespace nubbo
