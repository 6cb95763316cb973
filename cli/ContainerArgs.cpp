#include "cli/ContainerArgs.h"

#include "cli/Commands.h"
#include "common/AppLocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace nubbo::cli {
namespace {

QString containerSocket(const ContainerPaths& paths) {
    return QLatin1String(kContainerSocketFolder) + QLatin1Char('/') + paths.socketName;
}

QString quotedWord(const QString& word) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+=:,./-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    QString inner = word;
    inner.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

} // namespace

QStringList containerArguments(const ContainerPaths& paths) {
    return {QStringLiteral("--volume"), paths.socketFolder + QLatin1Char(':') + QLatin1String(kContainerSocketFolder),
            QStringLiteral("--volume"), paths.bridge + QLatin1Char(':') + paths.launcher + QStringLiteral(":ro"),
            QStringLiteral("--env"),
            QLatin1String(locations::kSocketVariable) + QLatin1Char('=') + containerSocket(paths)};
}

QString shellLine(const QStringList& words) {
    QStringList quoted;
    for (const QString& word : words)
        quoted << quotedWord(word);
    return quoted.join(QLatin1Char(' '));
}

QByteArray devcontainerFragment(const ContainerPaths& paths) {
    const QJsonObject fragment{
        {QStringLiteral("mounts"),
         QJsonArray{QStringLiteral("type=bind,source=%1,target=%2").arg(paths.socketFolder, QLatin1String(kContainerSocketFolder)),
                    QStringLiteral("type=bind,source=%1,target=%2,readonly").arg(paths.bridge, paths.launcher)}},
        {QStringLiteral("containerEnv"),
         QJsonObject{{QLatin1String(locations::kSocketVariable), containerSocket(paths)}}}};
    return QJsonDocument(fragment).toJson(QJsonDocument::Indented).trimmed();
}

int runContainerArgs(const QStringList& arguments) {
    const bool devcontainer = arguments == QStringList{QStringLiteral("--devcontainer")};
    if (!arguments.isEmpty() && !devcontainer) {
        printLine(QStringLiteral("usage: nubbo container-args [--devcontainer]"), true);
        return 2;
    }
    const locations::Environment env = locations::Environment::current();
    const QFileInfo socket(QString::fromStdString(locations::socketPath(env)));
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QFileInfo bridge(QFileInfo(self).absolutePath() + QStringLiteral("/../Helpers/nubbo-bridge"));
    if (socket.fileName().isEmpty() || env.home.empty()) {
        printLine(QStringLiteral("nubbo has no socket folder here: set HOME or XDG_RUNTIME_DIR"), true);
        return 1;
    }
    if (!bridge.isExecutable()) {
        printLine(QStringLiteral("no bridge beside this command (looked for %1)").arg(bridge.absoluteFilePath()), true);
        return 1;
    }
    // A comma would split a devcontainer mount's fields, and a colon a --volume's.
    const ContainerPaths paths{socket.absolutePath(), socket.fileName(), bridge.canonicalFilePath(),
                               QString::fromStdString(locations::launcherPath(env.home))};
    for (const QString& path : {paths.socketFolder, paths.bridge, paths.launcher})
        if (path.contains(QLatin1Char(':')) || path.contains(QLatin1Char(','))) {
            printLine(QStringLiteral("a container cannot mount %1: its path holds a colon or a comma").arg(path), true);
            return 1;
        }
    if (devcontainer)
        printBytes(devcontainerFragment(paths));
    else
        printLine(shellLine(containerArguments(paths)));
    return 0;
}

} // namespace nubbo::cli
