// A command line as the shell would run it, as far as reading it can tell: its simple commands with their
// words after quote removal, their leading assignments and redirections, and where reading gave up.
#pragma once

#include <QFlags>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace nubbo {

// What a word goes through between the line and the program.
enum class ShellExpansion : unsigned {
    parameter = 1u << 0,   // $NAME, ${…}, $1, $@
    command = 1u << 1,     // $(…), `…`
    arithmetic = 1u << 2,  // $((…))
    process = 1u << 3,     // <(…), >(…)
    pathname = 1u << 4,    // unquoted * ? [
    tilde = 1u << 5,       // ~ at the start of a word or after =
    brace = 1u << 6,       // {a,b} and {1..3}
};
Q_DECLARE_FLAGS(ShellExpansions, ShellExpansion)

struct ShellWord {
    // Quotes and backslashes removed as the shell removes them; expansions stay as written ("$HOME").
    QString text;
    ShellExpansions expansions;
    // Some part was quoted or escaped.
    bool quoted = false;
    // An expansion reaches into the part after the last '/': as a program name, nobody knows what runs.
    bool nameExpanded = false;

    bool expanded() const { return expansions != ShellExpansions(); }
    // The part after the last '/': "/bin/rm" runs rm.
    QStringView baseName() const;
};

struct ShellRedirection {
    // Without the descriptor: > >> >| < <> >& <& &> &>> << <<- <<<
    QString op;
    // The number written right before the operator, -1 when there is none.
    int fd = -1;
    // The file, the descriptor for >& and <&, the here-document's delimiter or the here-string.
    ShellWord target;
    // The body of << and <<-.
    QString hereDocument;

    // >&1, <&0, >&- : no file is opened.
    bool duplicatesDescriptor() const;
    bool writesFile() const;
    bool readsFile() const;
    // << <<- <<< : text from the line itself on standard input.
    bool feedsText() const;
};

struct SimpleCommand {
    QList<ShellWord> assignments;  // NAME=VALUE before the program
    QList<ShellWord> words;        // the program first
    QList<ShellRedirection> redirections;
    qsizetype position = 0;        // where it starts in the line
};

// Why a line could not be read with certainty; the first reason met.
enum class ShellDoubt {
    none,
    unterminated,     // a quote, parenthesis, brace, backtick or compound command left open
    syntax,           // something the shell itself would reject
    hereDocument,     // the body is text, not commands, and where it ends depends on the delimiter
    eval,             // the words are read again as a command line
    expandedProgram,  // the program's name comes from an expansion
    tooDeep,          // nested deeper than the reader follows; what follows was not read
    unsupported,      // function definitions, [[ ]], coproc, nested backticks and the like
};

struct ShellLine {
    // In the order they start, those inside command and process substitutions included.
    QList<SimpleCommand> commands;
    // The inner text of every command and process substitution, nested ones included.
    QStringList substitutions;
    // Subshells, groups, if/for/while/until/select/case and arithmetic commands.
    bool compound = false;
    ShellDoubt doubt = ShellDoubt::none;

    bool certain() const { return doubt == ShellDoubt::none; }
};

} // namespace nubbo

Q_DECLARE_OPERATORS_FOR_FLAGS(nubbo::ShellExpansions)
