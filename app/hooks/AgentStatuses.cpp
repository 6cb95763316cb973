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

namespace {

// Stores or, for an empty value, removes; whether anything changed.
bool put(QHash<QString, QString>& table, const QString& id, const QString& value) {
    const QString lower = id.toLower();
    if (lower.isEmpty() || table.value(lower) == value)
        return false;
    if (value.isEmpty())
        table.remove(lower);
    else
        table.insert(lower, value);
    return true;
}

QVariantMap toMap(const QHash<QString, QString>& table) {
    QVariantMap map;
    for (auto it = table.constBegin(); it != table.constEnd(); ++it)
        map.insert(it.key(), it.value());
    return map;
}

} // namespace

void AgentStatuses::setOfferedFolder(const QString& id, const QString& folder) {
    if (put(offeredFolders_, id, folder))
        Q_EMIT foldersChanged();
}

QVariantMap AgentStatuses::offeredFoldersMap() const { return toMap(offeredFolders_); }

void AgentStatuses::setFolderProblem(const QString& id, const QString& problem) {
    if (put(folderProblems_, id, problem))
        Q_EMIT foldersChanged();
}

QVariantMap AgentStatuses::folderProblemsMap() const { return toMap(folderProblems_); }

} // namespace nubbo
