#include "hooks/HookWiring.h"

#include "hooks/JsonHookListWiring.h"
#include "hooks/OwnedHookFileWiring.h"
#include "hooks/PluginFileWiring.h"
#include "hooks/ScriptFolderWiring.h"
#include "hooks/TomlHookTableWiring.h"

namespace nubbo {

std::unique_ptr<const HookWiring> HookWiring::make(HookWiringContext context) {
    switch (context.spec.mechanism) {
    case HookMechanism::claudeHooks:
    case HookMechanism::cursorHooks:
        return std::make_unique<JsonHookListWiring>(std::move(context));
    case HookMechanism::tomlHooks:
        return std::make_unique<TomlHookTableWiring>(std::move(context));
    case HookMechanism::copilotFile:
        return std::make_unique<OwnedHookFileWiring>(std::move(context));
    case HookMechanism::jsPlugin:
        return std::make_unique<PluginFileWiring>(std::move(context));
    case HookMechanism::scriptDir:
        return std::make_unique<ScriptFolderWiring>(std::move(context));
    }
    // Not reached: every mechanism is listed above.
    return std::make_unique<JsonHookListWiring>(std::move(context));
}

bool HookWiring::holdsAppHook(const QByteArray& bytes) {
    return bytes.contains(QByteArray(kAppHookMarker.data(), qsizetype(kAppHookMarker.size())));
}

} // namespace nubbo
