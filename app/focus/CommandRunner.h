// Runs the terminals' own command-line tools (tmux, kitty, wezterm) for going to a terminal. Tests hand in a
// fake that records the command lines and answers from a table.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace nubbo {

struct CommandResult {
    bool ran = false;  // started and ended by itself within its time
    int exitCode = -1;
    QByteArray output;  // standard output, cut at a bound

    bool ok() const { return ran && exitCode == 0; }
};

class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    // Whether `program` can be run at all (on PATH).
    virtual bool available(const QString& program) = 0;
    // Runs `program` with `arguments`, killed after timeoutMs. Safe off the GUI thread.
    virtual CommandResult run(const QString& program, const QStringList& arguments, int timeoutMs) = 0;
};

// The real one, through QProcess; no shell in between.
class ProcessRunner : public CommandRunner {
public:
    static constexpr qsizetype kMaxOutput = 1 << 20;
    bool available(const QString& program) override;
    CommandResult run(const QString& program, const QStringList& arguments, int timeoutMs) override;
};

} // namespace nubbo
