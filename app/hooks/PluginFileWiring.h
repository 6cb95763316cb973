// Agents that load the app as a plug-in (OpenCode): one file the app owns, written by the plug-in's writer.
#pragma once

#include "hooks/HookWiring.h"

namespace nubbo {

class PluginFileWiring : public HookWiring {
public:
    using HookWiring::HookWiring;

    // Whether the file at `pluginPath` is the app's plug-in, of any release.
    static bool installedAt(const QString& pluginPath);

    QString write() const override;
    QString strip() const override;
    bool isWired() const override { return installedAt(context().pluginPath); }
    // Only the very bytes this build writes: an older release's plug-in carries the marker too.
    bool isCurrent() const override;
    QString watchedFile() const override { return context().pluginPath; }
};

} // namespace nubbo
