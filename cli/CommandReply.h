// What a subcommand makes of the ids it is given and of the app's reply, before anything is printed.
#pragma once

#include <QDBusMessage>
#include <QString>

#include <optional>

namespace nubbo::cli {

struct CommandResult {
    int exitCode = 0;  // as in Commands.h
    QString line;      // printed when not empty
};

// Printable, without spaces, at most 256 characters: what agents report as ids.
bool isId(const QString& id);
// The id as a line may show it: at most 64 characters, nothing a terminal would take as a control sequence.
QString shownId(const QString& id);
// What a reply without one value becomes: 3 when no app runs, 1 for an error or an answer of another shape;
// nullopt when it carries one value.
std::optional<CommandResult> replyFailure(const QDBusMessage& reply);

} // namespace nubbo::cli
