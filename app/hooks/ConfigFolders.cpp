#include "hooks/ConfigFolders.h"

#include <QDir>

namespace nubbo::ConfigFolders {

QString defaultFolder(const ProviderSpec& spec, const QString& home) {
    return QDir::cleanPath(QDir(home).filePath(QString::fromStdString(nubbo::defaultConfigFolder(spec))));
}

QString configPath(const ProviderSpec& spec, const QString& home, const QString& folder) {
    if (!movable(spec) || !QDir::isAbsolutePath(folder))
        return QDir::cleanPath(QDir(home).filePath(QString::fromStdString(spec.configRelativePath)));
    return QDir::cleanPath(QDir(folder).filePath(QString::fromStdString(spec.configInFolder)));
}

QString fromVariable(const QString& value, const QString& home) {
    if (value == QLatin1String("~"))
        return QDir::cleanPath(home);
    if (value.startsWith(QLatin1String("~/")))
        return QDir::cleanPath(home + value.mid(1));
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QString();
}

QString shown(const QString& folder, const QString& home) {
    const QString cleanHome = QDir::cleanPath(home);
    if (folder == cleanHome)
        return QStringLiteral("~");
    if (cleanHome != QLatin1String("/") && folder.startsWith(cleanHome + QLatin1Char('/')))
        return QLatin1Char('~') + folder.mid(cleanHome.size());
    return folder;
}

} // namespace nubbo::ConfigFolders
