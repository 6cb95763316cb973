// The dangerous list, matched against what a command line runs rather than how it is spelt.
#pragma once

#include "approvals/ShellCommand.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace nubbo {

class DangerousCommands {
public:
    // Command lines handed to a shell (sh -c '…') are read again down to this depth.
    static constexpr int kMaxRereads = 4;

    // Each entry is read like a command: the first word is the program, words starting with '-' are flags
    // that must all be present (in any order or grouping, in any of their spellings) and the rest are
    // operands that must all appear. Entries of nothing but white space never match.
    explicit DangerousCommands(const QStringList& entries);

    // `line` is what ShellCommandReader made of `text`. An entry matches
    // - as text: the entry, white space collapsed, anywhere in the text or in a command's words joined
    //   (quotes removed), in any case: "DROP  DATABASE" inside psql -c '…', and what always matched before;
    // - as a command: any word naming the program (by its base name, so /bin/rm and \rm are rm, and after
    //   env, nice, xargs, find -exec and any other wrapper) followed by the entry's flags and operands; an
    //   entry for one way of becoming root covers the others; a program whose name comes from an expansion
    //   could be any program;
    // - in the commands inside substitutions, and in command lines handed to a shell.
    bool matchCommandLine(QStringView text, const ShellLine& line) const;
    // Any other request: an entry anywhere in the text, in any case.
    bool matchText(QStringView text) const;

private:
    struct Entry {
        QString raw;         // lower-cased, as stored
        QString phrase;      // lower-cased, white space collapsed
        QString program;     // lower-cased base name; empty when the entry reads as no command
        bool becomesRoot = false;
        QStringList flags;   // canonical spellings
        QStringList operands;
    };

    static bool sameProgram(const Entry& entry, QStringView name);
    bool lineMatches(QStringView text, const ShellLine& line, int depth) const;
    bool commandMatches(const SimpleCommand& command) const;
    bool phraseIn(const QString& normalized) const;
    bool argumentsMatch(const Entry& entry, const QList<ShellWord>& words, qsizetype program) const;

    QList<Entry> entries_;
};

} // namespace nubbo
