#include "cli/AppConnection.h"
#include "cli/Commands.h"
#include "cli/StatusDocument.h"
#include "cli/StatusText.h"

#include <QDateTime>

#include <cstdio>

namespace nubbo::cli {

void printBytes(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printLine(const QString& text, bool toError) {
    const QByteArray line = (text + QLatin1Char('\n')).toUtf8();
    std::FILE* out = toError ? stderr : stdout;
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), out);
    std::fflush(out);
}

int runStatus(const QStringList& arguments) {
    enum class Form { table, json, waybar, format } form = Form::table;
    QString pattern;
    if (arguments == QStringList{QStringLiteral("--json")}) {
        form = Form::json;
    } else if (arguments == QStringList{QStringLiteral("--waybar")}) {
        form = Form::waybar;
    } else if (arguments.size() == 2 && arguments[0] == QLatin1String("--format")) {
        form = Form::format;
        pattern = arguments[1];
    } else if (!arguments.isEmpty()) {
        printLine(QStringLiteral("usage: nubbo status [--json | --waybar | --format TEMPLATE]"), true);
        return 2;
    }
    const QDBusMessage reply = AppConnection().call(QStringLiteral("Status"));
    if (meansNotRunning(reply)) {
        // A bar that polls reads one object whatever happens: Waybar hides the module for empty text.
        if (form == Form::waybar)
            printBytes(waybarOffObject());
        else
            printLine(QStringLiteral("nubbo is not running"));
        return kNotRunning;
    }
    const QByteArray json = reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1
                                ? reply.arguments().constFirst().toString().toUtf8()
                                : QByteArray();
    const auto status = parseStatus(json);
    if (!status) {
        printLine(reply.type() == QDBusMessage::ErrorMessage
                      ? QStringLiteral("nubbo did not answer: %1").arg(reply.errorMessage().simplified())
                      : QStringLiteral("nubbo gave an answer this command does not know"),
                  true);
        return 1;
    }
    switch (form) {
    case Form::json: printBytes(json); break;
    case Form::waybar: printBytes(waybarObject(*status)); break;
    case Form::format: printLine(formatStatus(*status, pattern)); break;
    case Form::table: {
        QString table = statusTable(*status, QDateTime::currentDateTimeUtc());
        table.chop(1);
        printLine(table);
        break;
    }
    }
    return 0;
}

} // namespace nubbo::cli
