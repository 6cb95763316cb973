#include "TrustEngine.h"

#include <QRegularExpression>

#include <algorithm>

namespace nubbo {

namespace {

// text is already lower-cased.
bool containsDangerous(const QString& text, const QStringList& dangerous) {
    for (const QString& entry : dangerous) {
        if (!entry.isEmpty() && text.contains(entry.toLower()))
            return true;
    }
    return false;
}

bool startsWithTrusted(const QString& text, const QStringList& trusted) {
    for (const QString& entry : trusted) {
        if (!entry.isEmpty() && text.startsWith(entry.toLower()))
            return true;
    }
    return false;
}

// A trusted prefix vouches for one command, not for what is chained after it: "npm install && curl … | sh"
// is several commands. Every command of a chain (split at ; & | and line breaks) must start with a trusted
// prefix, and command substitution, which runs a command anywhere in a line, is never vouched for.
bool everyCommandTrusted(const QString& text, const QStringList& trusted) {
    if (text.contains(QLatin1String("$(")) || text.contains(QLatin1Char('`')))
        return false;
    static const QRegularExpression separators(QStringLiteral("[;&|\n\r]+"));
    const QStringList commands = text.split(separators, Qt::SkipEmptyParts);
    return !commands.isEmpty() && std::all_of(commands.begin(), commands.end(), [&](const QString& command) {
        return startsWithTrusted(command.trimmed(), trusted);
    });
}

} // namespace

TrustDecision TrustEngine::decide(const QString& command, const TrustSettings& settings) {
    if (settings.bypass)
        return TrustDecision::allow;
    // QString::trimmed drops exactly the Unicode white space and line separators.
    const QString text = command.trimmed().toLower();
    if (containsDangerous(text, settings.dangerous))
        return TrustDecision::ask;
    switch (settings.mode) {
    case ApprovalMode::manual:
        return TrustDecision::ask;
    case ApprovalMode::smart:
        return everyCommandTrusted(text, settings.trusted) ? TrustDecision::allow : TrustDecision::ask;
    case ApprovalMode::fullAuto:
    case ApprovalMode::allowAll:
        return TrustDecision::allow;
    }
    // A mode cast from outside the declared range: the safe answer.
    return TrustDecision::ask;
}

bool TrustEngine::isDangerous(const QString& command, const TrustSettings& settings) {
    return containsDangerous(command.toLower(), settings.dangerous);
}

TrustDecision TrustEngine::decide(const QString& command, const SettingsStore& store) {
    return decide(command, store.trustSettings());
}

bool TrustEngine::isDangerous(const QString& command, const SettingsStore& store) {
    return isDangerous(command, store.trustSettings());
}

} // namespace nubbo
