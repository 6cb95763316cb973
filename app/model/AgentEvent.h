// The app's event record: one thing an agent did, as every later stage sees it.
#pragma once

#include "common/ProviderSpec.h"
#include "model/TerminalContext.h"

#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <array>
#include <optional>

namespace nubbo {

// Raw values are the case names: the unified type names on the wire.
enum class AgentEventType {
    agentStarted,
    thinking,
    coding,
    contextCompacting,
    responding,
    approvalRequired,
    inputRequired,
    taskCompleted,
    taskFailed,
    riskyActionDetected,
    agentStopped,
};

inline constexpr std::array kAllAgentEventTypes{
    AgentEventType::agentStarted,     AgentEventType::thinking,      AgentEventType::coding,
    AgentEventType::contextCompacting, AgentEventType::responding,   AgentEventType::approvalRequired,
    AgentEventType::inputRequired,    AgentEventType::taskCompleted, AgentEventType::taskFailed,
    AgentEventType::riskyActionDetected, AgentEventType::agentStopped};

QString rawValue(AgentEventType type);
// Exact and case-sensitive.
std::optional<AgentEventType> agentEventTypeFromRaw(const QString& raw);

// Any agent id the wire delivers is a provider; the catalogue only adds a title and a wiring.
class AgentProvider {
public:
    AgentProvider() = default;
    explicit AgentProvider(const QString& raw) : rawValue_(raw.toLower()) {}

    const QString& rawValue() const { return rawValue_; }
    const ProviderSpec* spec() const;
    // The catalogue title, else the id capitalised word by word ("myagent" → "Myagent").
    QString displayTitle() const;

    // One per catalogue entry, in catalogue order.
    static QList<AgentProvider> allCases();

    bool operator==(const AgentProvider&) const = default;

private:
    QString rawValue_;
};

// First letter of each white-space separated word upper-case, the rest lower-case.
QString capitalizedWords(const QString& text);

struct AgentEvent {
    QUuid id;
    AgentProvider provider;
    AgentEventType type = AgentEventType::thinking;
    QString message;
    std::optional<QString> command;
    std::optional<QString> toolName;
    std::optional<QString> say;
    std::optional<QString> phase;
    std::optional<QString> cwd;
    std::optional<QString> sessionId;
    std::optional<qint32> exitCode;
    // Where the agent runs; never part of toJson().
    TerminalContext terminal;
    // The machine the agent runs on when it is not this one: an SSH host's name or a container's host name.
    std::optional<QString> host;

    bool operator==(const AgentEvent&) const = default;

    // Keyed form: "id", "provider", "type" and "message" are required; the rest may be absent.
    QJsonObject toJson() const;
    static std::optional<AgentEvent> fromJson(const QJsonObject& object);
};

} // namespace nubbo

inline size_t qHash(const nubbo::AgentProvider& provider, size_t seed = 0) {
    return qHash(provider.rawValue(), seed);
}

Q_DECLARE_METATYPE(nubbo::AgentEvent)
