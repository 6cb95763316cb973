// `nubbo focus SESSION_ID`: what the running app's answer, or its absence, becomes as exit status and line.
#include "cli/FocusCommand.h"

#include <QDBusError>

#include <gtest/gtest.h>

using namespace nubbo::cli;

TEST(FocusCommand, ExitStatusAndLineForEveryAnswer) {
    const auto reply = [](const QString& outcome) {
        QDBusMessage call = QDBusMessage::createMethodCall("x", "/x", "x", "Focus");
        return call.createReply(outcome);
    };
    const auto error = [](QDBusError::ErrorType type) {
        return QDBusMessage::createError(type, QStringLiteral("why"));
    };
    struct Row {
        QStringList arguments;
        std::optional<QDBusMessage> answer;  // none: the app must not be asked
        int exitCode;
        QString line;
    };
    const QStringList id = {"59dcb05a-f9aa"};
    const std::vector<Row> rows = {
        {id, reply("focused"), 0, ""},
        {id, reply("process-gone"), 1, "the agent's process has ended"},
        {id, reply("unknown-session"), 1, "no live session has the id 59dcb05a-f9aa"},
        {id, reply("something-new"), 1, "nubbo gave an answer this command does not know"},
        {id, error(QDBusError::ServiceUnknown), 3, "nubbo is not running"},
        {id, error(QDBusError::Disconnected), 3, "nubbo is not running"},
        {id, error(QDBusError::NoReply), 1, "nubbo did not answer: why"},
        {{"a b"}, std::nullopt, 1, "not a session id: a?b"},
        {{QString(257, 'a')}, std::nullopt, 1, "not a session id: " + QString(64, 'a')},
        {{"a\x1b[2J"}, std::nullopt, 1, "not a session id: a?[2J"},
        {{}, std::nullopt, 1, "usage: nubbo focus SESSION_ID"},
        {{"a", "b"}, std::nullopt, 1, "usage: nubbo focus SESSION_ID"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        QStringList asked;
        const CommandResult result = focusCommand(row.arguments, [&](const QString& sessionId) {
            asked << sessionId;
            return row.answer.value_or(QDBusMessage());
        });
        EXPECT_EQ(result.exitCode, row.exitCode);
        EXPECT_EQ(result.line, row.line);
        EXPECT_EQ(asked, row.answer ? QStringList{row.arguments[0]} : QStringList{});
    }
}
