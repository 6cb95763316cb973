// Decides whether a permission request is answered at once or waits for the user, and whether a request
// gets the risky label on its card. Pure: reads the settings it is handed, touches nothing else, and is safe
// from any thread.
#pragma once

#include "approvals/RequestKind.h"
#include "approvals/TrustSettings.h"

#include <QString>

namespace nubbo {

enum class TrustDecision { allow, ask };

struct TrustEngine {
    // Bypass allows everything; otherwise a dangerous request asks, then the mode decides: manual asks,
    // smart allows a shell command line the trusted list vouches for (TrustedCommands), full auto and allow
    // all allow. A request that is no shell command is never trusted.
    static TrustDecision decide(const QString& request, RequestKind kind, const TrustSettings& settings);
    // Whether the dangerous list matches: a shell command line by what it runs (DangerousCommands), any
    // other request by its text. Ignores mode and bypass.
    static bool isDangerous(const QString& request, RequestKind kind, const TrustSettings& settings);

    // The request is a shell command line.
    static TrustDecision decide(const QString& command, const TrustSettings& settings);
    static bool isDangerous(const QString& command, const TrustSettings& settings);
};

} // namespace nubbo
