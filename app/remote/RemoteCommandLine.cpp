#include "remote/RemoteCommandLine.h"

#include "remote/RemoteInstaller.h"

#include <algorithm>

namespace nubbo {
namespace {

const QString kUsage =
    QStringLiteral("usage: nubbo remote add [USER@]HOST[:PORT] | nubbo remote list | nubbo remote remove HOST [--forget]");

int usage(const RemoteCommandIO& io) {
    io.error(kUsage);
    return 2;
}

int failed(const RemoteCommandIO& io, const QString& why) {
    io.error(QStringLiteral("nubbo: ") + why);
    return 1;
}

int list(const RemoteInstaller& installer, const RemoteCommandIO& io) {
    QString error;
    const std::vector<RemoteHost> hosts = installer.hosts(&error);
    if (!error.isEmpty())
        return failed(io, error);
    if (hosts.empty()) {
        io.out(QStringLiteral("No remote hosts. Add one with: nubbo remote add [USER@]HOST[:PORT]"));
        return 0;
    }
    const std::optional<QMap<QString, RemoteHostReport>> states = io.states ? io.states() : std::nullopt;
    QList<QStringList> rows{{QStringLiteral("NAME"), QStringLiteral("DESTINATION"), QStringLiteral("ADDED"),
                             QStringLiteral("STATE")}};
    for (const RemoteHost& host : hosts) {
        QString state = QStringLiteral("-");
        if (states && states->contains(host.name)) {
            const RemoteHostReport& known = (*states)[host.name];
            state = known.reason.isEmpty() ? known.state : known.state + QStringLiteral(" (") + known.reason + ')';
        }
        rows.append({host.name, host.address().text(),
                     host.addedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")), state});
    }
    QList<qsizetype> widths(3, 0);
    for (const QStringList& row : rows)
        for (int column = 0; column < 3; ++column)
            widths[column] = std::max(widths[column], row[column].size());
    for (const QStringList& row : rows)
        io.out(row[0].leftJustified(widths[0]) + QStringLiteral("  ") + row[1].leftJustified(widths[1]) +
               QStringLiteral("  ") + row[2].leftJustified(widths[2]) + QStringLiteral("  ") + row[3]);
    return 0;
}

} // namespace

bool isRemoteCommand(const QStringList& arguments) {
    return arguments.size() >= 2 && arguments[1] == QLatin1String("remote");
}

int runRemoteCommand(const QStringList& arguments, const RemoteInstaller& installer, const RemoteCommandIO& io) {
    const QString verb = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (verb == QLatin1String("list") && rest.isEmpty())
        return list(installer, io);
    if (verb == QLatin1String("add") && rest.size() == 1) {
        QString why;
        if (!RemoteDestination::parse(rest[0], &why)) {
            io.error(QStringLiteral("nubbo: \"%1\" is not [USER@]HOST[:PORT]: %2").arg(rest[0], why));
            return 2;
        }
        const RemoteOutcome outcome = installer.add(rest[0], io.interactive);
        return outcome.ok() ? 0 : failed(io, outcome.error);
    }
    if (verb == QLatin1String("remove") && !rest.isEmpty() && rest.size() <= 2) {
        QStringList names = rest;
        const bool forget = names.removeAll(QStringLiteral("--forget")) == 1;
        if (names.size() != 1 || names[0].startsWith(QLatin1Char('-')) || (rest.size() == 2 && !forget))
            return usage(io);
        const RemoteOutcome outcome = installer.remove(names[0], io.interactive, forget);
        return outcome.ok() ? 0 : failed(io, outcome.error);
    }
    return usage(io);
}

} // namespace nubbo
