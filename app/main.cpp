#include "AppStartup.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    nubbo::AppStartup startup;
    if (const auto exitCode = startup.handleCommandLine(QCoreApplication::arguments())) return *exitCode;
    startup.run();
    return QCoreApplication::exec();
}
