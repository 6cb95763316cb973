#include "hooks/OwnedHookFileWiring.h"

#include "hooks/ConfigFileWriter.h"
#include "hooks/JsonConfigFile.h"

#include <QFile>

namespace nubbo {

QString OwnedHookFileWiring::write() const {
    const nlohmann::json file = HookEntries::makeOwnedFile(spec(), context().command);
    return ConfigFileWriter::writeAtomically(context().path, QByteArray::fromStdString(HookEntries::serialise(file)));
}

QString OwnedHookFileWiring::strip() const {
    QFile::remove(context().path);
    return {};
}

bool OwnedHookFileWiring::isWired() const {
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(context().path);
    return bytes && holdsAppHook(*bytes);
}

bool OwnedHookFileWiring::isCurrent() const {
    nlohmann::json root;
    return JsonConfigFile::read(context().path, root) == JsonConfigFile::Read::parsed &&
           root == HookEntries::makeOwnedFile(spec(), context().command);
}

} // namespace nubbo
