#include "hooks/ScriptFolderWiring.h"

#include "hooks/ConfigFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace nubbo {

QByteArray ScriptFolderWiring::scriptText(const QString& command) {
    return QByteArrayLiteral("#!/bin/sh\n# nubbo-bridge-marker\nexec ") + command.toUtf8() + '\n';
}

QString ScriptFolderWiring::command(const QString& event) const {
    return QString::fromStdString(context().command(event.toStdString()));
}

QString ScriptFolderWiring::write() const {
    removeFormerScripts();
    const QDir folder(context().path);
    if (!QDir().mkpath(folder.path()))
        return QStringLiteral("could not create the folder %1").arg(folder.path());
    for (const auto& name : spec().events) {
        const QString event = QString::fromStdString(name);
        const QString path = folder.filePath(event);
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
            // Anything there without our marker is the user's, whatever its encoding; one we cannot read
            // might be too.
            const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
            if (!bytes || !holdsAppHook(*bytes)) {
                context().log(QStringLiteral("hook install: %1 keeping existing %2 hook")
                                  .arg(QString::fromStdString(spec().title), event));
                continue;
            }
        }
        if (QString error = ConfigFileWriter::writeAtomically(path, scriptText(command(event)), 0755); !error.isEmpty())
            return error;
        if (::chmod(QFile::encodeName(ConfigFileWriter::resolveWriteTarget(path)).constData(), 0755) != 0)
            return QStringLiteral("could not make %1 executable").arg(path);
    }
    return {};
}

QString ScriptFolderWiring::strip() const {
    removeOwnScripts(QDir(context().path));
    removeFormerScripts();
    return {};
}

// The app's own scripts only: anything without its marker is the user's.
void ScriptFolderWiring::removeOwnScripts(const QDir& folder) const {
    for (const auto& name : spec().events) {
        const QString path = folder.filePath(QString::fromStdString(name));
        const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
        if (bytes && holdsAppHook(*bytes))
            QFile::remove(path);
    }
}

void ScriptFolderWiring::removeFormerScripts() const {
    for (const std::string& folder : formerHookFolders(spec()))
        removeOwnScripts(QDir(QDir(context().home).filePath(QString::fromStdString(folder))));
}

bool ScriptFolderWiring::isWired() const {
    const QDir folder(context().path);
    for (const auto& name : spec().events)
        if (!QFileInfo::exists(folder.filePath(QString::fromStdString(name))))
            return false;
    return true;
}

bool ScriptFolderWiring::isCurrent() const {
    // The app's scripts must run this build's command; a script of the user's stays as it is, as install
    // leaves it.
    const QDir folder(context().path);
    for (const auto& name : spec().events) {
        const QString event = QString::fromStdString(name);
        const std::optional<QByteArray> bytes = ConfigFileWriter::read(folder.filePath(event));
        if (!bytes)
            return false;
        if (holdsAppHook(*bytes) && *bytes != scriptText(command(event)))
            return false;
    }
    return true;
}

} // namespace nubbo
