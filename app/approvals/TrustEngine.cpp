#include "approvals/TrustEngine.h"

#include "approvals/DangerousCommands.h"
#include "approvals/ShellCommandReader.h"
#include "approvals/TrustedCommands.h"

namespace nubbo {

TrustDecision TrustEngine::decide(const QString& request, RequestKind kind, const TrustSettings& settings) {
    if (settings.bypass)
        return TrustDecision::allow;
    // QString::trimmed drops exactly the Unicode white space and line separators.
    const QString text = request.trimmed();
    const DangerousCommands dangerous(settings.dangerous);
    bool trusted = false;
    if (kind == RequestKind::shellCommand) {
        const ShellLine line = ShellCommandReader::read(text);
        if (dangerous.matchCommandLine(text, line))
            return TrustDecision::ask;
        trusted = settings.mode == ApprovalMode::smart && TrustedCommands(settings.trusted).vouchFor(line);
    } else if (dangerous.matchText(text)) {
        return TrustDecision::ask;
    }
    switch (settings.mode) {
    case ApprovalMode::manual:
        return TrustDecision::ask;
    case ApprovalMode::smart:
        return trusted ? TrustDecision::allow : TrustDecision::ask;
    case ApprovalMode::fullAuto:
    case ApprovalMode::allowAll:
        return TrustDecision::allow;
    }
    // A mode cast from outside the declared range: the safe answer.
    return TrustDecision::ask;
}

bool TrustEngine::isDangerous(const QString& request, RequestKind kind, const TrustSettings& settings) {
    const DangerousCommands dangerous(settings.dangerous);
    if (kind == RequestKind::other)
        return dangerous.matchText(request);
    const QString text = request.trimmed();
    return dangerous.matchCommandLine(text, ShellCommandReader::read(text));
}

TrustDecision TrustEngine::decide(const QString& command, const TrustSettings& settings) {
    return decide(command, RequestKind::shellCommand, settings);
}

bool TrustEngine::isDangerous(const QString& command, const TrustSettings& settings) {
    return isDangerous(command, RequestKind::shellCommand, settings);
}

} // namespace nubbo
