// One-line summaries of agent narration by the AI provider the user chose. Strictly best effort: summarize()
// returns at once, nothing is queued, retried or logged, and every failure leaves the agent's own words in
// the bubble. The bookkeeping and the requests live on the summariser's own thread; finished lines come back
// on the thread that created it (the main thread in the app).
#pragma once

#include "model/NarrationSummarizer.h"
#include "core/SettingsEnums.h"
#include "summary/SummaryWorker.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;
class QThread;

namespace nubbo {

class Clock;
class SecretStore;
class SettingsStore;

class AgentSummarizer final : public NarrationSummarizer {
public:
    // Receives a finished line and the narration it summarises (AgentSessionStore::setSummary in the app).
    using Deliver = std::function<void(const QString& sessionKey, const QString& text, const QString& forSay)>;

    // The settings and the clock are read on the caller's thread; the secrets on the summariser's thread.
    // The settings store must live on the creating thread and outlive the summariser.
    AgentSummarizer(SettingsStore& settings, SecretStore& secrets, Clock& clock, Deliver deliver);
    // Waits for the summariser's thread to drop its requests and stop; no line is delivered afterwards.
    ~AgentSummarizer() override;
    AgentSummarizer(const AgentSummarizer&) = delete;
    AgentSummarizer& operator=(const AgentSummarizer&) = delete;

    // Call on the settings store's thread.
    void summarize(const QString& sessionKey, const QString& say, const std::optional<QString>& detail) override;

    // The keychain item that holds a provider's key: "apiKey." + its raw value.
    static QString apiKeyName(SummaryProvider provider);

    // For tests: requests sent and ended so far, and a wait until every narration handed over so far has
    // been looked at by the summariser's thread.
    int requestsSent() const;
    int requestsFinished() const;
    void waitUntilHandedOver();

    // Narrations waiting for the summariser's thread to look at them; past this many (the thread is stuck on
    // an unanswered keychain) new ones are dropped, as any narration the summariser cannot take is.
    static constexpr std::size_t kMaxHandedOver = 1024;

private:
    void readSettings();
    void drain();
    void drainBatch();

    SettingsStore& settings_;
    // The settings in effect, re-read when one of them changes: each narration costs the caller a copy.
    bool on_ = false;
    SummaryConfig config_;
    Clock& clock_;
    std::unique_ptr<QObject> deliveryContext_;  // on the creating thread
    std::unique_ptr<QThread> thread_;
    QObject* workerContext_ = nullptr;          // on the summariser's thread
    SummaryWorker* worker_ = nullptr;           // used on the summariser's thread only
    // A burst of narration wakes the summariser's thread once per batch window, not once per narration.
    static constexpr int kBatchWindowMs = 5;
    std::mutex handOverMutex_;
    std::vector<SummaryJob> handedOver_;
    bool drainPosted_ = false;
};

} // namespace nubbo
