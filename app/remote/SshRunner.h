// Starts the user's own ssh. Tests hand in a fake that records the command lines and plays ssh's part.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace nubbo {

// One running ssh. Destroying it ends the process; no handler runs after that.
class SshProcess {
public:
    virtual ~SshProcess() = default;
};

class SshRunner {
public:
    struct Handlers {
        // Each line ssh writes to its standard error, without the line end.
        std::function<void(const QString& line)> line;
        // Once, when it has ended: its exit status, -1 when it could not start or was killed.
        std::function<void(int exitCode)> finished;
    };

    virtual ~SshRunner() = default;
    // Starts `ssh` with the arguments. The handlers run later on the calling thread's event loop, never
    // from within start().
    virtual std::unique_ptr<SshProcess> start(const QStringList& arguments, Handlers handlers) = 0;
};

// The `ssh` on PATH, through QProcess: no shell in between, nothing on its standard input.
class LocalSshRunner final : public SshRunner {
public:
    std::unique_ptr<SshProcess> start(const QStringList& arguments, Handlers handlers) override;
};

} // namespace nubbo
