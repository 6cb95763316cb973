// The subcommands of `nubbo`. Each returns its exit code: 0 done, 1 refused or failed (a line says why),
// 2 a usage error, 3 no app runs for this home.
#pragma once

#include <QString>
#include <QStringList>

namespace nubbo::cli {

inline constexpr int kNotRunning = 3;

// `arguments` are what follows the subcommand's name.
int runStatus(const QStringList& arguments);
int runWatch(const QStringList& arguments);
int runAnswer(bool allow, const QStringList& arguments);
int runFocus(const QStringList& arguments);
int runContainerArgs(const QStringList& arguments);

// Writes the text and a newline to stdout (or stderr) at once, flushed: status bars read line by line.
void printLine(const QString& text, bool toError = false);
void printBytes(const QByteArray& line);

} // namespace nubbo::cli
