// One hook firing, start to finish: read the payload, send one record to the app and, for a
// permission request, print the agent's decision. Always returns 0 and never writes to stderr.
#pragma once

#include <string>

namespace nubbo::bridge {

struct BridgeIO {
    std::string home;        // $HOME, where the agents keep their transcripts; may be empty
    std::string socketPath;  // where the app listens; empty means the app cannot be reached
    int stdinFd = 0;
    int stdoutFd = 1;
};

int runBridge(int argc, char** argv, const BridgeIO& io);

} // namespace nubbo::bridge
