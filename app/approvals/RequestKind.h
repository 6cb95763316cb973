// What a permission request asks to run: a shell command line, or something else (a file's path, a web
// address, a patch) that no trusted or dangerous command can be matched against as a command.
#pragma once

#include <QStringView>

namespace nubbo {

enum class RequestKind { shellCommand, other };

// By the agent's tool name, in any case. Shell tools, tools nobody knows and a missing name are shell
// commands: the danger test then still reads them as command lines, as it always has.
RequestKind requestKindOfTool(QStringView toolName);

} // namespace nubbo
