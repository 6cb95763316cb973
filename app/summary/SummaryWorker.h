// The summariser's half that lives on its own thread: the per-session bookkeeping, the API key look-up and
// the requests. Created, used and destroyed on that thread only.
#pragma once

#include "summary/SummaryConfig.h"
#include "summary/SummaryGate.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace nubbo {

class SecretStore;

// One narration to summarise, as the caller saw it when it arrived.
struct SummaryJob {
    QString sessionKey;
    QString say;  // trimmed
    std::optional<QString> detail;
    SummaryConfig config;  // without the key
    double now = 0;
};

// What one request may cost, besides the 12 s it may go without hearing anything.
struct SummaryLimits {
    std::chrono::milliseconds deadline{20000};  // from sending to the last byte, however the bytes trickle
    qint64 maxReplyBytes = 64 * 1024;           // a longer reply is cut off and fails
};

class SummaryWorker {
public:
    // Called on this thread with the line and the narration it belongs to.
    using Deliver = std::function<void(const QString& sessionKey, const QString& text, const QString& forSay)>;

    SummaryWorker(SecretStore& secrets, Deliver deliver, SummaryLimits limits = {});
    ~SummaryWorker();
    SummaryWorker(const SummaryWorker&) = delete;
    SummaryWorker& operator=(const SummaryWorker&) = delete;

    void handle(const SummaryJob& job);

    // Requests put on the wire and requests ended (answered, failed or timed out), from any thread.
    int sent() const { return sent_.load(); }
    int finished() const { return finished_.load(); }

private:
    QNetworkAccessManager& network();
    void bound(QNetworkReply* reply);
    void finish(QNetworkReply* reply, const SummaryJob& job);

    SecretStore& secrets_;
    Deliver deliver_;
    SummaryLimits limits_;
    SummaryGate gate_;
    QHash<QString, double> keyMissingAt_;  // keychain item → when it was last found empty
    std::unique_ptr<QNetworkAccessManager> network_;
    std::atomic<int> sent_{0};
    std::atomic<int> finished_{0};
};

} // namespace nubbo
