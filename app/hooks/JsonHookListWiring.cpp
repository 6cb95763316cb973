#include "hooks/JsonHookListWiring.h"

#include "hooks/JsonConfigFile.h"

namespace nubbo {

HookWiring::Merged JsonHookListWiring::merged() const {
    const QString& path = context().path;
    nlohmann::json root;
    switch (JsonConfigFile::read(path, root)) {
    case JsonConfigFile::Read::missing:
    case JsonConfigFile::Read::parsed:
        break;
    case JsonConfigFile::Read::unreadable:
        return {{}, QStringLiteral("%1 could not be read; it was left unchanged").arg(path)};
    case JsonConfigFile::Read::invalid:
        return {{}, QStringLiteral("%1 is not valid JSON; it was left unchanged").arg(path)};
    case JsonConfigFile::Read::notObject:
        return {{}, QStringLiteral("%1 does not hold a JSON object; it was left unchanged").arg(path)};
    }
    return {QByteArray::fromStdString(HookEntries::serialise(HookEntries::merge(root, spec(), context().command))), {}};
}

QString JsonHookListWiring::strip() const { return JsonConfigFile::stripAppEntries(context().path); }

bool JsonHookListWiring::isWired() const {
    if (spec().events.empty())
        return true;
    nlohmann::json root;
    return JsonConfigFile::read(context().path, root) == JsonConfigFile::Read::parsed &&
           HookEntries::isWired(root, spec().events);
}

bool JsonHookListWiring::isCurrent() const {
    if (spec().events.empty())
        return isWired();
    // A file that already holds what an install would write holds every entry too, so one read answers both.
    nlohmann::json root;
    return JsonConfigFile::read(context().path, root) == JsonConfigFile::Read::parsed &&
           HookEntries::merge(root, spec(), context().command) == root;
}

} // namespace nubbo
