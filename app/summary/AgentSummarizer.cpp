#include "AgentSummarizer.h"

#include "Clock.h"
#include "SettingsStore.h"
#include "SummaryWorker.h"

#include <QObject>
#include <QThread>

namespace nubbo {

AgentSummarizer::AgentSummarizer(SettingsStore& settings, SecretStore& secrets, Clock& clock, Deliver deliver)
    : settings_(settings), clock_(clock), deliveryContext_(std::make_unique<QObject>()),
      thread_(std::make_unique<QThread>()) {
    thread_->setObjectName(QStringLiteral("nubbo.summarizer"));
    workerContext_ = new QObject;
    workerContext_->moveToThread(thread_.get());
    // A line hops to the creating thread through an object that dies with the summariser, so a line still
    // on its way when the summariser goes is dropped instead of reaching a store that may be gone too.
    QObject* deliveryContext = deliveryContext_.get();
    worker_ = new SummaryWorker(secrets, [deliveryContext, deliver = std::move(deliver)](
                                             const QString& key, const QString& text, const QString& forSay) {
        QMetaObject::invokeMethod(deliveryContext, [deliver, key, text, forSay] { deliver(key, text, forSay); },
                                  Qt::QueuedConnection);
    });
    thread_->start();
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
    if (!settings_.smartSummary())
        return;
    SummaryJob job;
    job.config.provider = settings_.summaryProvider();
    job.config.baseURL = settings_.summaryBaseURL(job.config.provider);
    // A custom provider without an endpoint has nowhere to go.
    if (job.config.baseURL.isEmpty())
        return;
    job.config.model = settings_.summaryModel(job.config.provider);
    job.config.chinese = settings_.effectiveLanguage() == Language::zh;
    job.say = say.trimmed();
    if (job.say.isEmpty())
        return;
    job.sessionKey = sessionKey;
    job.detail = detail;
    job.now = clock_.now();
    SummaryWorker* worker = worker_;
    QMetaObject::invokeMethod(workerContext_, [worker, job] { worker->handle(job); }, Qt::QueuedConnection);
}

QString AgentSummarizer::apiKeyName(SummaryProvider provider) { return QStringLiteral("apiKey.") + rawValue(provider); }

int AgentSummarizer::requestsSent() const { return worker_->sent(); }

int AgentSummarizer::requestsFinished() const { return worker_->finished(); }

void AgentSummarizer::waitUntilHandedOver() const {
    QMetaObject::invokeMethod(workerContext_, [] {}, Qt::BlockingQueuedConnection);
}

} // namespace nubbo
