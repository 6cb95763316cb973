// For the desktop tests: goes to the terminal a record's members describe (or tells whether the user looks at
// it) through the desktop's real TerminalFocus, and prints the outcome's raw value (or true/false).
// usage: focus_driver focus|looking '{"agentPid":"123","tmux":"...","tmuxPane":"%1",...}'
#include "common/WireProtocol.h"
#include "focus/DesktopTerminalFocus.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace nubbo;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3 || (args[1] != QLatin1String("focus") && args[1] != QLatin1String("looking"))) {
        std::fputs("usage: focus_driver focus|looking JSON\n", stderr);
        return 2;
    }
    const QJsonObject record = QJsonDocument::fromJson(args[2].toUtf8()).object();
    const auto text = [&](const char* key) { return record.value(QLatin1String(key)).toString(); };
    TerminalContext context;
    context.agentPid = text(wire::key::agentPid).toLongLong();
    context.tty = text(wire::key::tty);
    context.tmux = text(wire::key::tmux);
    context.tmuxPane = text(wire::key::tmuxPane);
    context.kittyWindowId = text(wire::key::kittyWindowId);
    context.kittyListenOn = text(wire::key::kittyListenOn);
    context.weztermPane = text(wire::key::weztermPane);
    context.windowId = text(wire::key::windowId);
    context.termProgram = text(wire::key::termProgram);
    const auto focus = DesktopTerminalFocus::forThisDesktop();
    const QString out = args[1] == QLatin1String("focus") ? rawValue(focus->focus(context))
                                                          : QLatin1String(focus->isLookingAt(context) ? "true" : "false");
    std::printf("%s\n", out.toUtf8().constData());
    return 0;
}
