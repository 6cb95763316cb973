#include "hooks/JsonConfigFile.h"

#include "hooks/ConfigFileWriter.h"
#include "hooks/HookEntries.h"
#include "hooks/HookWiring.h"

#include <QFileInfo>

namespace nubbo {

JsonConfigFile::Read JsonConfigFile::read(const QString& path, nlohmann::json& out) {
    out = nlohmann::json::object();
    if (!QFileInfo::exists(path))
        return Read::missing;
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
    if (!bytes)
        return Read::unreadable;
    if (bytes->trimmed().isEmpty())
        return Read::parsed;
    nlohmann::json parsed = nlohmann::json::parse(bytes->constBegin(), bytes->constEnd(), nullptr, false);
    if (parsed.is_discarded())
        return Read::invalid;
    if (!parsed.is_object())
        return Read::notObject;
    out = std::move(parsed);
    return Read::parsed;
}

QString JsonConfigFile::stripAppEntries(const QString& path) {
    nlohmann::json root;
    switch (read(path, root)) {
    case Read::missing:
        return {};
    case Read::parsed:
        break;
    case Read::unreadable:
        return QStringLiteral("%1 could not be read; the app's entries may still be in it").arg(path);
    case Read::invalid:
    case Read::notObject:
        if (HookWiring::holdsAppHook(ConfigFileWriter::read(path).value_or(QByteArray())))
            return QStringLiteral("%1 is not valid JSON; the app's entries were left in it").arg(path);
        return {};
    }
    if (const std::optional<nlohmann::json> stripped = HookEntries::strip(root))
        return ConfigFileWriter::writeAtomically(path, QByteArray::fromStdString(HookEntries::serialise(*stripped)));
    return {};
}

} // namespace nubbo
