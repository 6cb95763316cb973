// An exclusive advisory lock (flock) on a file, held for the lifetime of the object. It keeps a user's
// install or uninstall, the guardian's repair and a command-line run in another process from writing the
// same agent files at once. Every holder opens the file itself, so threads of one process exclude each
// other as well.
#pragma once

#include <QString>

namespace nubbo {

class HookFileLock {
public:
    // Blocks until the lock is held. When the lock file cannot be opened the work goes on unlocked:
    // wiring the agents matters more than the lock.
    explicit HookFileLock(const QString& path);
    ~HookFileLock();
    HookFileLock(const HookFileLock&) = delete;
    HookFileLock& operator=(const HookFileLock&) = delete;

    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace nubbo
