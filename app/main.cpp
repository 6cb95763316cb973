#include "AppStartup.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    nubbo::AppStartup startup;
    startup.run();
    return QCoreApplication::exec();
}
