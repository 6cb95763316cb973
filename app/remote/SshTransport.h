// Running a /bin/sh script on an SSH host: an interface, so the installer can be tested with a fake, and the
// real one over the user's own ssh (SshProcessTransport).
#pragma once

#include "remote/RemoteHost.h"

#include <QByteArray>
#include <QString>

namespace nubbo {

// What a script run came to.
struct SshRun {
    // ssh's exit status: the script's, or 255 when ssh itself failed (no connection, refused login); -1 when
    // ssh could not be started or was stopped at its time limit.
    int exitCode = -1;
    QByteArray output;  // the script's standard output
    QString reason;     // one line: the last thing ssh or the script said on standard error
    // ssh failed where a terminal could have answered it (an unknown host key, a passphrase, a password).
    bool needsPrompt = false;

    bool ok() const { return exitCode == 0; }
    // The host was reached and the script ran (whatever it came to).
    bool reached() const { return exitCode >= 0 && exitCode != 255; }
};

class SshTransport {
public:
    virtual ~SshTransport() = default;
    // Runs the script with the host's sh, sent on standard input (so the user's login shell never parses
    // it). With upload bytes, the script finds them in a private file on the host named by the shell
    // variable "upload", which is removed after the script unless the script moved it away. Blocks until
    // the script ends.
    virtual SshRun run(const RemoteDestination& host, const QByteArray& script, const QByteArray& upload = {}) = 0;
};

} // namespace nubbo
