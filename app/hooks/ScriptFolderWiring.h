// Agents that run the scripts in a hooks folder, each named after its event (Cline): the app writes its own
// scripts there and leaves every script of the user's alone, whatever the event.
#pragma once

#include "hooks/HookWiring.h"

class QDir;

namespace nubbo {

class ScriptFolderWiring : public HookWiring {
public:
    using HookWiring::HookWiring;

    // An app-owned event script that runs the command.
    static QByteArray scriptText(const QString& command);

    QString write() const override;
    QString strip() const override;
    // A script of the user's for an event counts: the agent runs it, and install leaves it as it is.
    bool isWired() const override;
    bool isCurrent() const override;
    QString watchedFile() const override { return {}; }

private:
    QString command(const QString& event) const;
    void removeOwnScripts(const QDir& folder) const;
    void removeFormerScripts() const;
};

} // namespace nubbo
