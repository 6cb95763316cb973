#include "shell/HookCommandLine.h"

#include "hooks/HookInstaller.h"

#include <algorithm>

namespace nubbo {
namespace {
// Between the agents that failed on the one line: the reasons themselves may hold "; ".
const QString kAgentSeparator = QStringLiteral(" | ");
} // namespace

std::optional<HookCommand> hookCommandFrom(const QStringList& arguments) {
    const bool mentionsHooks = std::any_of(arguments.begin(), arguments.end(), [](const QString& argument) {
        return argument.startsWith(QStringLiteral("--")) && argument.contains(QStringLiteral("hooks"));
    });
    if (!mentionsHooks) return std::nullopt;
    if (arguments.contains(QStringLiteral("--install-hooks"))) return HookCommand::install;
    if (arguments.contains(QStringLiteral("--uninstall-hooks"))) return HookCommand::uninstall;
    if (arguments.contains(QStringLiteral("--hooks-status"))) return HookCommand::status;
    return std::nullopt;
}

QString runHookCommand(HookCommand command, const HookInstaller& installer) {
    switch (command) {
    case HookCommand::install: {
        const auto result = installer.install();
        return result.ok() ? QStringLiteral("nubbo: install-hooks OK")
                           : QStringLiteral("nubbo: install-hooks FAILED: ") + result.message(kAgentSeparator);
    }
    case HookCommand::uninstall: {
        const auto result = installer.uninstall();
        return result.ok() ? QStringLiteral("nubbo: uninstall-hooks OK")
                           : QStringLiteral("nubbo: uninstall-hooks FAILED: ") + result.message(kAgentSeparator);
    }
    case HookCommand::status: {
        QStringList pairs;
        const auto status = installer.status();
        for (auto it = status.begin(); it != status.end(); ++it)
            pairs.append(it.key() + QLatin1Char('=') + (it.value() ? QStringLiteral("true") : QStringLiteral("false")));
        pairs.sort();
        return QStringLiteral("nubbo: hooks-status ") + pairs.join(QLatin1Char(' '));
    }
    }
    return {};
}

} // namespace nubbo
