// The trusted list: each entry vouches for the commands it names and for nothing else on the line.
#pragma once

#include "approvals/ShellCommand.h"

#include <QList>
#include <QStringList>

namespace nubbo {

class TrustedCommands {
public:
    // An entry is read like a command; one that does not read as a plain list of words never matches.
    explicit TrustedCommands(const QStringList& entries);

    // Whether every simple command of the line starts with the words of some entry (whole words, in any
    // case) and does nothing beyond what the entry names: no redirection to or from a file other than
    // /dev/null, no substitution or other expansion, no leading assignment, none of the program's unsafe
    // options (programs::hasUnsafeOption). A line read with doubts, or holding compound commands, never is.
    bool vouchFor(const ShellLine& line) const;

private:
    bool matchesEntry(const QList<ShellWord>& words) const;

    QList<QStringList> entries_;
};

} // namespace nubbo
