// The plug-in OpenCode loads from its plug-in folder: it turns OpenCode's event bus into the same socket
// records the bridge sends and answers OpenCode's permission requests with the app's verdict.
#pragma once

#include <QString>

namespace nubbo {

struct OpenCodePlugin {
    // "<home>/.config/opencode/plugins/nubbo.js".
    static QString path(const QString& home);
    // The plug-in source; fixed, with no per-install values.
    static QString text();
    // Writes text() to path(home) atomically, creating the folders.
    static bool install(const QString& home, QString* error);
    // The same at any path: the plug-in folder of an XDG config home of the user's choosing.
    static bool installAt(const QString& target, QString* error);
};

} // namespace nubbo
