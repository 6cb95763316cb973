#include "hooks/AgentStatuses.h"

#include "common/ProviderRegistry.h"

namespace nubbo {

AgentStatuses::AgentStatuses(QObject* parent) : QObject(parent) {
    for (const ProviderSpec& spec : ProviderRegistry::all())
        statuses_.insert(QString::fromStdString(spec.id).toLower(), AgentStatus::unknown);
}

AgentStatus AgentStatuses::status(const QString& id) const {
    return statuses_.value(id.toLower(), AgentStatus::unknown);
}

void AgentStatuses::setStatus(const QString& id, AgentStatus status) {
    const QString lower = id.toLower();
    if (lower.isEmpty())
        return;
    const auto found = statuses_.constFind(lower);
    if (found != statuses_.constEnd() && *found == status)
        return;
    statuses_.insert(lower, status);
    Q_EMIT statusChanged(lower, rawValue(status));
    Q_EMIT statusesChanged();
}

QVariantMap AgentStatuses::statusesMap() const {
    QVariantMap map;
    for (auto it = statuses_.constBegin(); it != statuses_.constEnd(); ++it)
        map.insert(it.key(), rawValue(it.value()));
    return map;
}

} // namespace nubbo
