// Reads a command line after the shell's own token rules (quoting, operators, redirections, substitutions,
// reserved words), without running or expanding anything. It runs for every permission request, on the
// socket thread: one pass over the text, and nesting deeper than kMaxDepth is left unread (and doubted)
// rather than followed.
#pragma once

#include "approvals/ShellCommand.h"

#include <QStringView>

namespace nubbo {

struct ShellCommandReader {
    static constexpr int kMaxDepth = 32;

    // Commands inside command and process substitutions are read in the same pass and listed too.
    static ShellLine read(QStringView line);
};

} // namespace nubbo
