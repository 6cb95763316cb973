// Agents that read their hooks as [[hooks]] tables in a TOML configuration they share with their user (Kimi):
// the app's tables are edited in as text, so the user's comments and order survive.
#pragma once

#include "hooks/HookWiring.h"

namespace nubbo {

class TomlHookTableWiring : public HookWiring {
public:
    using HookWiring::HookWiring;

    QString sharedFile() const override { return context().path; }
    Merged merged() const override;
    QString strip() const override;
    bool isWired() const override;
    bool isCurrent() const override;
    QString watchedFile() const override { return context().path; }
};

} // namespace nubbo
