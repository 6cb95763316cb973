// Secrets in the desktop's Secret Service through QtKeychain: service "dev.nubbo.Nubbo", account = key.
#pragma once

#include "platform/SecretStore.h"

#include <chrono>

namespace nubbo {

// Synchronous, but each call waits at most its time-out: a Secret Service with a locked or missing keyring
// can open a password dialog and never answer. Past the time-out, or when no service can be reached, a read
// gives nothing, a write or removal is dropped, and one line goes to the log. A call that timed out may still
// complete later in the service; until it does, further calls give up at once instead of queueing behind it.
// Callable from any thread, before or while the event loop runs; a QCoreApplication must exist.
class KeychainStore : public SecretStore {
public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{3000};
    static constexpr char kService[] = "dev.nubbo.Nubbo";

    explicit KeychainStore(std::chrono::milliseconds timeout = kDefaultTimeout);

    static KeychainStore& shared();

    std::optional<QString> string(const QString& key) override;
    void set(const QString& value, const QString& key) override;
    void remove(const QString& key) override;

    // Waits until every call that timed out has had its late answer; false if `bound` passes first.
    static bool waitForLateAnswersForTesting(std::chrono::milliseconds bound);

private:
    std::chrono::milliseconds timeout_;
};

} // namespace nubbo
