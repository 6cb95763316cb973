// `nubbo`: the command line scripts and status bars run, small enough to start in a few milliseconds. What is
// not one of its subcommands goes to the app beside it, unchanged, so `nubbo` alone still starts Nubbo.
#include "cli/Commands.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr char kHelp[] = R"(usage: nubbo [COMMAND] [ARGUMENTS]

Without a command, starts Nubbo (or shows its settings when it runs). The app's own options:
  --install-hooks        wires every agent switched on in the settings
  --uninstall-hooks      removes the app's entries from every agent again
  --hooks-status         prints which agents are wired

Commands (none needs a display):
  status                 the live sessions, their waiting requests, the approval mode and the pause switch
  status --json          the same as one JSON object (a stable interface, see the manual page)
  status --waybar        a Waybar custom-module object: "text", "tooltip", "class" (idle, working, waiting, paused)
  status --format TEMPLATE
                         the template with these fields filled in:
                           {sessions}  the number of live sessions
                           {waiting}   the number of sessions with a request or question waiting
                           {state}     the state of the most urgent session (a waiting one, else a working
                                       one, else the most recently updated); "idle" when there is none
                           {agent}     that session's agent (claude, codex, ...); empty when there is none
  watch [--json | --waybar | --format TEMPLATE]
                         one line per change until interrupted or until Nubbo quits; it begins with the
                         approval mode and the pause switch, and prints them again when either changes
                         (--json: {"event":"status","approvalMode":...,"paused":...}; the sessions'
                         events are "added", "changed", "removed", "request" and "answered")
                         --waybar and --format (the status line whenever it changes, for Polybar's
                         tail mode) outlive Nubbo: while it does not run, an object with empty text
                         (Waybar hides the module) or an empty line, until it runs again
  approve REQUEST_ID     allows the waiting request with that id
  deny REQUEST_ID        denies it
  focus SESSION_ID       goes to that session's terminal
  container-args [--devcontainer]
                         the options for docker run or podman run (or a devcontainer.json fragment) that let
                         an agent in a container reach Nubbo: the socket's folder, the bridge at the
                         launcher's path, and NUBBO_SOCKET
  remote add [USER@]HOST[:PORT]
                         copies the bridge to that SSH host through your own ssh and wires its agents;
                         the running app then forwards its socket there
  remote list            the hosts added, with the state of each one's forward
  remote remove HOST [--forget]
                         unwires the host and removes the bridge from it; --forget drops a host that
                         cannot be reached here only
  --help                 this text

Exit status: 0 done; 1 refused (no such request waits, the session could not be reached, a remote host
failed) or a usage error of focus; 2 a usage error of the other commands; 3 Nubbo is not running (never for
watch --waybar or --format, nor for remote; status --waybar then prints the object with empty text).
)";

// The app binary beside this program, started in this process's place.
int execApp(char** argv) {
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QByteArray app = QFile::encodeName(QFileInfo(self).absolutePath() + QStringLiteral("/Nubbo"));
    ::execv(app.constData(), argv);
    std::fprintf(stderr, "nubbo: cannot start %s: %s\n", app.constData(), std::strerror(errno));
    return 127;
}

} // namespace

int main(int argc, char** argv) {
    const QString command = argc >= 2 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    static const QStringList commands{QStringLiteral("status"), QStringLiteral("watch"), QStringLiteral("approve"),
                                      QStringLiteral("deny"), QStringLiteral("focus"),
                                      QStringLiteral("container-args")};
    if (!commands.contains(command))
        return execApp(argv);
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(2);
    using namespace nubbo::cli;
    if (command == QLatin1String("status")) return runStatus(arguments);
    if (command == QLatin1String("watch")) return runWatch(arguments);
    if (command == QLatin1String("focus")) return runFocus(arguments);
    if (command == QLatin1String("container-args")) return runContainerArgs(arguments);
    return runAnswer(command == QLatin1String("approve"), arguments);
}
