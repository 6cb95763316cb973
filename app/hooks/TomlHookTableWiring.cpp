#include "hooks/TomlHookTableWiring.h"

#include "hooks/ConfigFileWriter.h"
#include "hooks/TomlHookEntries.h"

#include <QFileInfo>

namespace nubbo {

HookWiring::Merged TomlHookTableWiring::merged() const {
    const QString& path = context().path;
    std::string text;
    if (QFileInfo::exists(path)) {
        const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
        if (!bytes)
            return {{}, QStringLiteral("%1 could not be read; it was left unchanged").arg(path)};
        text = bytes->toStdString();
    }
    const TomlHookEntries::Edit edit = TomlHookEntries::merge(text, spec(), context().command);
    if (!edit.ok())
        return {{}, QStringLiteral("%1 %2; it was left unchanged").arg(path, QString::fromStdString(edit.error))};
    return {QByteArray::fromStdString(edit.text), {}};
}

QString TomlHookTableWiring::strip() const {
    const QString& path = context().path;
    if (!QFileInfo::exists(path))
        return {};
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
    if (!bytes)
        return QStringLiteral("%1 could not be read; the app's entries may still be in it").arg(path);
    if (const std::optional<std::string> stripped = TomlHookEntries::strip(bytes->toStdString()))
        return ConfigFileWriter::writeAtomically(path, QByteArray::fromStdString(*stripped));
    // Nothing to strip, or a file the edit cannot be made in: only the latter keeps the app's tables.
    if (holdsAppHook(*bytes)) {
        const TomlHookEntries::Edit edit = TomlHookEntries::merge(bytes->toStdString(), spec(), context().command);
        if (!edit.ok())
            return QStringLiteral("%1 %2; the app's entries were left in it").arg(path, QString::fromStdString(edit.error));
    }
    return {};
}

bool TomlHookTableWiring::isWired() const {
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(context().path);
    return bytes && TomlHookEntries::isWired(bytes->toStdString(), spec().events);
}

bool TomlHookTableWiring::isCurrent() const {
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(context().path);
    if (!bytes)
        return false;
    const std::string text = bytes->toStdString();
    const TomlHookEntries::Edit edit = TomlHookEntries::merge(text, spec(), context().command);
    return edit.ok() && edit.text == text;
}

} // namespace nubbo
