// What each agent was last seen doing: running, stopped with its command installed, or stopped with nothing
// installed. Set by the detection, shown by the settings and onboarding windows; never stored.
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

public:
    // Every catalogue agent starts unknown.
    explicit AgentStatuses(QObject* parent = nullptr);

    // unknown for any id never set.
    AgentStatus status(const QString& id) const;
    // For the lower-cased id; an empty one is ignored.
    void setStatus(const QString& id, AgentStatus status);
    QVariantMap statusesMap() const;

Q_SIGNALS:
    void statusesChanged();
    void statusChanged(const QString& id, const QString& status);

private:
    QHash<QString, AgentStatus> statuses_;
};

} // namespace nubbo
