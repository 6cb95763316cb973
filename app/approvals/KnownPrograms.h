// What the trust rules know about particular programs: which run other programs or command lines, which
// make the user root, how their flags are spelled, and which of their options write files or run programs.
#pragma once

#include "approvals/ShellCommand.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace nubbo::programs {

// sudo and the other ways to become root: doas, su, pkexec, run0, sudoedit.
bool becomesRoot(QStringView name);

// Where the programs run by a command start: 0, then past each wrapper (env, nice, timeout, sudo, …) and its
// own options and operands.
QList<qsizetype> invocations(const QList<ShellWord>& words);

// One spelling per flag of the program: for rm, -R and --recursive (or --rec) are -r. A flag is a short
// "-x" or a long "--name" (any "=value" dropped); others are returned as they are.
QString canonicalFlag(QStringView program, QStringView flag);

// The text a command hands to a shell to read as a command line: the string after sh -c (any shell) or
// su/flock/script -c, eval's words, env -S, watch's command, ssh's remote command, and here-strings and
// here-documents fed to a shell.
QStringList commandStrings(const SimpleCommand& command);

// Whether a command's words (program first) hold an option that makes a trusted program write files,
// read another configuration or run other programs.
bool hasUnsafeOption(const QList<ShellWord>& words);

// A chmod mode as permission bits: 777, 0777, a+rwx and ugo=rwx are all 0777. Nothing for other text.
std::optional<int> modeBits(QStringView mode);

} // namespace nubbo::programs
