#include "summary/AgentSummarizer.h"

#include "platform/Clock.h"
#include "settings/SettingsStore.h"
#include "summary/SummaryWorker.h"

#include <QObject>
#include <QThread>
#include <QTimer>

namespace nubbo {

AgentSummarizer::AgentSummarizer(SettingsStore& settings, SecretStore& secrets, Clock& clock, Deliver deliver)
    : settings_(settings), clock_(clock), deliveryContext_(std::make_unique<QObject>()),
      thread_(std::make_unique<QThread>()) {
    QObject* deliveryContext = deliveryContext_.get();
    readSettings();
    const auto reread = [this] { readSettings(); };
    QObject::connect(&settings, &SettingsStore::smartSummaryChanged, deliveryContext, reread);
    QObject::connect(&settings, &SettingsStore::summaryProviderChanged, deliveryContext, reread);
    QObject::connect(&settings, &SettingsStore::summaryModelChanged, deliveryContext, reread);
    QObject::connect(&settings, &SettingsStore::summaryBaseURLChanged, deliveryContext, reread);
    QObject::connect(&settings, &SettingsStore::effectiveLanguageChanged, deliveryContext, reread);

    thread_->setObjectName(QStringLiteral("nubbo.summarizer"));
    workerContext_ = new QObject;
    workerContext_->moveToThread(thread_.get());
    // A line hops to the creating thread through an object that dies with the summariser, so a line still
    // on its way when the summariser goes is dropped instead of reaching a store that may be gone too.
    worker_ = new SummaryWorker(secrets, [deliveryContext, deliver = std::move(deliver)](
                                             const QString& key, const QString& text, const QString& forSay) {
        QMetaObject::invokeMethod(deliveryContext, [deliver, key, text, forSay] { deliver(key, text, forSay); },
                                  Qt::QueuedConnection);
    });
    thread_->start();
}

void AgentSummarizer::readSettings() {
    on_ = settings_.smartSummary();
    config_.provider = settings_.summaryProvider();
    config_.baseURL = settings_.summaryBaseURL(config_.provider);
    config_.model = settings_.summaryModel(config_.provider);
    config_.chinese = settings_.effectiveLanguage() == Language::zh;
}

AgentSummarizer::~AgentSummarizer() {
    // The worker and its network manager belong to the summariser's thread: they end there, after the
    // narrations already handed over.
    QMetaObject::invokeMethod(
        workerContext_,
        [this] {
            delete worker_;
            worker_ = nullptr;
        },
        Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    // Its thread has stopped: nothing can run on it any more.
    delete workerContext_;
}

void AgentSummarizer::summarize(const QString& sessionKey, const QString& say, const std::optional<QString>& detail) {
    // A custom provider without an endpoint has nowhere to go.
    if (!on_ || config_.baseURL.isEmpty())
        return;
    SummaryJob job{sessionKey, say.trimmed(), detail, config_, clock_.now()};
    if (job.say.isEmpty())
        return;
    {
        std::lock_guard lock(handOverMutex_);
        if (handedOver_.size() >= kMaxHandedOver)
            return;
        handedOver_.push_back(std::move(job));
        if (drainPosted_)
            return;
        drainPosted_ = true;
    }
    QMetaObject::invokeMethod(workerContext_, [this] { drainBatch(); }, Qt::QueuedConnection);
}

// On the summariser's thread: takes what was handed over, then lets the window pass before it looks again,
// so that the callers meanwhile only append.
void AgentSummarizer::drainBatch() {
    drain();
    QTimer::singleShot(kBatchWindowMs, workerContext_, [this] {
        {
            std::lock_guard lock(handOverMutex_);
            if (handedOver_.empty()) {
                drainPosted_ = false;
                return;
            }
        }
        drainBatch();
    });
}

void AgentSummarizer::drain() {
    std::vector<SummaryJob> jobs;
    {
        std::lock_guard lock(handOverMutex_);
        jobs.swap(handedOver_);
    }
    if (!worker_)
        return;
    for (const SummaryJob& job : jobs)
        worker_->handle(job);
}

QString AgentSummarizer::apiKeyName(SummaryProvider provider) { return QStringLiteral("apiKey.") + rawValue(provider); }

int AgentSummarizer::requestsSent() const { return worker_->sent(); }

int AgentSummarizer::requestsFinished() const { return worker_->finished(); }

void AgentSummarizer::waitUntilHandedOver() {
    QMetaObject::invokeMethod(workerContext_, [this] { drain(); }, Qt::BlockingQueuedConnection);
}

} // namespace nubbo
