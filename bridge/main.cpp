#include "bridge/BridgeRun.h"
#include "common/AppLocations.h"

#include <csignal>

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const auto env = nubbo::locations::Environment::current();
    nubbo::bridge::BridgeIO io;
    io.home = env.home;
    io.socketPath = nubbo::locations::socketPath(env);
    return nubbo::bridge::runBridge(argc, argv, io);
}
