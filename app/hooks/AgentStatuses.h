// What each agent was last seen doing: running, stopped with its command installed, or stopped with nothing
// installed; a config folder a running agent uses that is not the one in use, and why moving the hooks to a
// chosen folder failed. Set by the detection and the folder moves, shown by the settings and onboarding
// windows; never stored.
#pragma once

#include "core/SettingsEnums.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace nubbo {

// Lives on the main thread; the detector's writes hop there.
class AgentStatuses : public QObject {
    Q_OBJECT
    // id → AgentStatus raw value.
    Q_PROPERTY(QVariantMap statuses READ statusesMap NOTIFY statusesChanged)
    // id → folder, for the agents that have one on offer.
    Q_PROPERTY(QVariantMap offeredFolders READ offeredFoldersMap NOTIFY foldersChanged)
    // id → what went wrong when the hooks last moved to the agent's chosen folder.
    Q_PROPERTY(QVariantMap folderProblems READ folderProblemsMap NOTIFY foldersChanged)

public:
    // Every catalogue agent starts unknown.
    explicit AgentStatuses(QObject* parent = nullptr);

    // unknown for any id never set.
    AgentStatus status(const QString& id) const;
    // For the lower-cased id; an empty one is ignored.
    void setStatus(const QString& id, AgentStatus status);
    QVariantMap statusesMap() const;

    QString offeredFolder(const QString& id) const { return offeredFolders_.value(id.toLower()); }
    // An empty folder withdraws the offer.
    void setOfferedFolder(const QString& id, const QString& folder);
    QVariantMap offeredFoldersMap() const;
    QString folderProblem(const QString& id) const { return folderProblems_.value(id.toLower()); }
    // An empty problem clears it.
    void setFolderProblem(const QString& id, const QString& problem);
    QVariantMap folderProblemsMap() const;

Q_SIGNALS:
    void statusesChanged();
    void statusChanged(const QString& id, const QString& status);
    void foldersChanged();

private:
    QHash<QString, AgentStatus> statuses_;
    QHash<QString, QString> offeredFolders_;
    QHash<QString, QString> folderProblems_;
};

} // namespace nubbo
