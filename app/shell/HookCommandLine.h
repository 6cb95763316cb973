// The app's command-line mode: install, remove or report the agents' hooks without starting anything else.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace nubbo {

class HookInstaller;

enum class HookCommand { install, uninstall, status };

// Which command the arguments ask for, if any. An argument that begins with "--" and mentions "hooks" but is
// none of the three flags starts the app normally.
std::optional<HookCommand> hookCommandFrom(const QStringList& arguments);

// Runs the command and returns the one line to print (without the newline). Failures are reported in the
// line, every agent that failed with its reason; the process still exits 0.
QString runHookCommand(HookCommand command, const HookInstaller& installer);

} // namespace nubbo
