#include "shell/AppIcon.h"

#include <QDir>
#include <QFileInfo>

namespace nubbo {

QIcon applicationIcon(const QString& resourcesDirectory) {
    QIcon icon;
    const QDir hicolor(resourcesDirectory + QStringLiteral("/icons/hicolor"));
    for (const QString& size : hicolor.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = hicolor.filePath(size + QStringLiteral("/apps/") + QLatin1String(kAppId) + QStringLiteral(".png"));
        if (QFileInfo::exists(path))
            icon.addFile(path);
    }
    return icon;
}

} // namespace nubbo
