// Agents that read hooks from every JSON file in a folder (Copilot CLI): the app writes a whole file of its
// own there and removes it again, so nothing of the user's is ever in it.
#pragma once

#include "hooks/HookWiring.h"

namespace nubbo {

class OwnedHookFileWiring : public HookWiring {
public:
    using HookWiring::HookWiring;

    QString write() const override;
    QString strip() const override;
    bool isWired() const override;
    bool isCurrent() const override;
    QString watchedFile() const override { return context().path; }
};

} // namespace nubbo
