// Agents that read their hooks as JSON lists under "hooks" in a settings file they share with their user
// (Claude and the agents that copy its format, Cursor): the app's entries are merged in beside the user's.
#pragma once

#include "hooks/HookWiring.h"

namespace nubbo {

class JsonHookListWiring : public HookWiring {
public:
    using HookWiring::HookWiring;

    QString sharedFile() const override { return context().path; }
    Merged merged() const override;
    QString strip() const override;
    // An agent without events needs no entries: it counts as wired.
    bool isWired() const override;
    bool isCurrent() const override;
    QString watchedFile() const override { return context().path; }
};

} // namespace nubbo
