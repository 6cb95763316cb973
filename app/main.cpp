#include "shell/AppStartup.h"
#include "shell/FocusCommandLine.h"
#include "shell/GuiEnvironment.h"
#include "shell/HookCommandLine.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Neither do the commands for other programs.
    if (nubbo::isFocusCommand(arguments)) {
        QCoreApplication app(argc, argv);
        return nubbo::AppStartup::runFocusCommandLine(arguments);
    }
    // The hook flags never need a display.
    if (nubbo::hookCommandFrom(arguments)) {
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
