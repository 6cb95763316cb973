// SshTransport over the user's own ssh from PATH, so their ~/.ssh/config, keys and agent apply and Nubbo
// keeps no secret. All runs of one operation share one connection (ssh's connection sharing), so a user
// asked for a passphrase is asked once.
#pragma once

#include "remote/SshTransport.h"

#include <QStringList>

namespace nubbo {

class SshProcessTransport : public SshTransport {
public:
    // runtimeFolder holds the shared connection's socket. interactive: ssh may ask on the terminal (a host
    // key, a passphrase); otherwise it runs in batch mode and fails where it would have asked.
    SshProcessTransport(QString runtimeFolder, bool interactive);

    SshRun run(const RemoteDestination& host, const QByteArray& script, const QByteArray& upload = {}) override;

    // The ssh arguments for a run (without the program), for the given host.
    QStringList arguments(const RemoteDestination& host) const;
    // What runs on the host before the script: the upload written to a private file, then removed at exit.
    static QByteArray uploadPreamble(const QByteArray& upload);

    // A batch run taking longer than this is stopped; an interactive one waits for the user.
    static constexpr int kBatchTimeoutMs = 300'000;

private:
    QString controlPath() const;

    const QString runtimeFolder_;
    const bool interactive_;
};

} // namespace nubbo
