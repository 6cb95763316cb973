#include "shell/AppStartup.h"
#include "shell/GuiEnvironment.h"
#include "shell/HookCommandLine.h"
#include "remote/RemoteCommandLine.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// `focus` moved to the command line beside the app; scripts that still name the app reach it there.
int execCommandLine(char** argv) {
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QByteArray commandLine = QFile::encodeName(QFileInfo(self).absolutePath() + QStringLiteral("/nubbo"));
    ::execv(commandLine.constData(), argv);
    std::fprintf(stderr, "Nubbo: cannot start %s: %s\n", commandLine.constData(), std::strerror(errno));
    return 127;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "focus") == 0)
        return execCommandLine(argv);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // The hook flags and `remote` never need a display.
    if (nubbo::hookCommandFrom(arguments) || nubbo::isRemoteCommand(arguments)) {
        QCoreApplication app(argc, argv);
        nubbo::AppStartup startup;
        return startup.handleCommandLine(arguments).value_or(0);
    }
    nubbo::prepareGuiEnvironment();
    QApplication app(argc, argv);
    nubbo::AppStartup startup;
    // Already running for this home: that one was asked to show itself, and this one leaves.
    return startup.run() ? QApplication::exec() : 0;
}
