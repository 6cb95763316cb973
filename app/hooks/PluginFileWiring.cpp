#include "hooks/PluginFileWiring.h"

#include "hooks/ConfigFileWriter.h"

#include <QFile>

namespace nubbo {

bool PluginFileWiring::installedAt(const QString& pluginPath) {
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(pluginPath);
    return bytes && bytes->contains(QByteArrayLiteral("nubbo-bridge-marker"));
}

QString PluginFileWiring::write() const {
    if (!context().writePlugin)
        return QStringLiteral("no OpenCode plug-in writer is configured");
    return context().writePlugin(context().pluginPath);
}

QString PluginFileWiring::strip() const {
    QFile::remove(context().pluginPath);
    return {};
}

bool PluginFileWiring::isCurrent() const {
    return ConfigFileWriter::read(context().pluginPath) == context().pluginText();
}

} // namespace nubbo
