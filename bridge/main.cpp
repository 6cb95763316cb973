#include "bridge/BridgeRun.h"

#include <csignal>
#include <cstdlib>

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const char* home = std::getenv("HOME");
    nubbo::bridge::BridgeIO io;
    if (home) io.home = home;
    return nubbo::bridge::runBridge(argc, argv, io);
}
