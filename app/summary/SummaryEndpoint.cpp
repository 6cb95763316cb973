#include "summary/SummaryEndpoint.h"

#include <QHostAddress>

namespace nubbo::SummaryEndpoint {

bool isLoopback(const QString& host) {
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0 || host.compare(u"localhost.", Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

EndpointProblem problem(const QUrl& url) {
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"https" && scheme != u"http"))
        return EndpointProblem::notAnAddress;
    if (scheme == u"http" && !isLoopback(url.host()))
        return EndpointProblem::notEncrypted;
    return EndpointProblem::none;
}

EndpointProblem problem(const QString& text) {
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() ? EndpointProblem::none : problem(QUrl(trimmed, QUrl::StrictMode));
}

} // namespace nubbo::SummaryEndpoint
