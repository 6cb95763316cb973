#include "summary/SummaryWorker.h"

#include "platform/SecretStore.h"
#include "summary/SummaryEndpoint.h"
#include "summary/SummaryRequest.h"
#include "summary/SummaryResponse.h"

#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QTimer>

namespace nubbo {
namespace {

// The desktop's proxy settings (environment, desktop settings, PAC), as every other program the user runs
// honours them; only this manager's requests use it, nothing else in the process changes. The system's
// answer costs about 0.3 ms of work per request (5 ms the first time), so it is kept for a minute per
// endpoint: a burst of sessions does not pay it again and again beside the event intake.
class SystemProxies final : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        // A model on this machine is spoken to in the clear: a proxy would carry the key off it.
        if (SummaryEndpoint::isLoopback(query.peerHostName()))
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        const QString endpoint = query.protocolTag() + u'|' + query.peerHostName() + u'|' +
                                 QString::number(query.peerPort());
        if (endpoint != endpoint_ || expiry_.hasExpired()) {
            endpoint_ = endpoint;
            proxies_ = systemProxyForQuery(query);
            expiry_.setRemainingTime(std::chrono::minutes(1));
        }
        return proxies_;
    }

private:
    QString endpoint_;
    QList<QNetworkProxy> proxies_;
    QDeadlineTimer expiry_;
};

QString apiKeyItem(SummaryProvider provider) { return QStringLiteral("apiKey.") + rawValue(provider); }

} // namespace

SummaryWorker::SummaryWorker(SecretStore& secrets, Deliver deliver, SummaryLimits limits)
    : secrets_(secrets), deliver_(std::move(deliver)), limits_(limits) {}

// The manager takes its replies with it; their finish handlers are tied to it, so none runs during this.
SummaryWorker::~SummaryWorker() = default;

QNetworkAccessManager& SummaryWorker::network() {
    // Made on first use, on this thread, which is where its replies must live.
    if (!network_) {
        network_ = std::make_unique<QNetworkAccessManager>();
        network_->setProxyFactory(new SystemProxies);
    }
    return *network_;
}

void SummaryWorker::handle(const SummaryJob& job) {
    // The free checks first: the key is read only for a narration that would be sent.
    if (!gate_.admits(job.sessionKey, job.say, job.now))
        return;
    // The keychain answers within its own time-out, on this thread, never on the caller's. Without a key
    // it is asked again only after the same 4 s a session waits between requests: a keyring that is not
    // there would otherwise be asked (and log its failure) for every narration of every session.
    const QString item = apiKeyItem(job.config.provider);
    if (const auto missing = keyMissingAt_.constFind(item);
        missing != keyMissingAt_.constEnd() && job.now - *missing < SummaryGate::kMinInterval)
        return;
    const auto key = secrets_.string(item);
    if (!key || key->isEmpty()) {
        keyMissingAt_.insert(item, job.now);
        return;
    }
    keyMissingAt_.remove(item);

    gate_.begin(job.sessionKey, job.say, job.now);
    SummaryConfig config = job.config;
    config.apiKey = *key;
    const auto request = SummaryRequest::build(config, job.say, job.detail);
    if (!request) {
        gate_.finish(job.sessionKey);
        return;
    }
    QNetworkReply* reply = network().post(request->request, request->body);
    ++sent_;
    QObject::connect(reply, &QNetworkReply::finished, network_.get(), [this, reply, job] { finish(reply, job); });
    bound(reply);
}

// A provider, or whatever answers in its place, holds a request no longer than the deadline and makes it keep
// no more than the largest reply a one-line summary needs; either way the request fails (abort() finishes it).
void SummaryWorker::bound(QNetworkReply* reply) {
    QTimer::singleShot(limits_.deadline, reply, [reply] { reply->abort(); });
    const qint64 max = limits_.maxReplyBytes;
    // Qt stops reading from the connection once this much waits in the reply, but only once its connection
    // exists, so it is told again as the connection starts and as the request goes out (on a reused one).
    const auto limitReading = [reply, max] { reply->setReadBufferSize(max + 1); };
    limitReading();
    QObject::connect(reply, &QNetworkReply::socketStartedConnecting, reply, limitReading);
    QObject::connect(reply, &QNetworkReply::requestSent, reply, limitReading);
    const auto cutOffWhenTooLong = [reply, max] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > max || reply->bytesAvailable() > max)
            reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, cutOffWhenTooLong);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, cutOffWhenTooLong);
}

void SummaryWorker::finish(QNetworkReply* reply, const SummaryJob& job) {
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A transport error (time-out, reset, cut-off body) leaves nothing worth reading, whatever the status;
    // nor does a reply that ended before the size check saw it grow too long.
    const bool whole = reply->error() == QNetworkReply::NoError && reply->bytesAvailable() <= limits_.maxReplyBytes;
    const QByteArray body = whole ? reply->readAll() : QByteArray();
    const auto line = SummaryResponse::summaryFrom(job.config.provider, status, body);
    // Free the session before the line goes out, so that whoever sees the line may summarise again at once;
    // count the end last, so that whoever sees the count finds the line already on its way.
    gate_.finish(job.sessionKey);
    if (line)
        deliver_(job.sessionKey, *line, job.say);
    ++finished_;
}

} // namespace nubbo
