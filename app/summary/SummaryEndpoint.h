// Where a summary request may go. It carries the user's API key, so it travels only over TLS, or in the
// clear to this machine itself (a model served locally).
#pragma once

#include <QString>
#include <QUrl>

namespace nubbo {

enum class EndpointProblem {
    none,
    notAnAddress,  // not an http(s) address with a host
    notEncrypted,  // plain http to another machine
};

namespace SummaryEndpoint {

EndpointProblem problem(const QUrl& url);
// The endpoint as the user typed it; an empty one has no problem, it is merely unset.
EndpointProblem problem(const QString& text);
// localhost, 127.0.0.0/8 or ::1.
bool isLoopback(const QString& host);

} // namespace SummaryEndpoint
} // namespace nubbo
