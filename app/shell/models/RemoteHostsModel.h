// The settings window's Remote hosts card: each SSH host with where its forward stands, and the flows behind
// Add and Remove. The app hands the flows in (they reach the host over ssh, away from the GUI thread); until
// it does, the buttons say that they are not available.
#pragma once

#include "core/SettingsEnums.h"
#include "remote/RemoteForwards.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

namespace nubbo {

class RemoteHostsModel : public QObject {
    Q_OBJECT
    // [{name, destination, state, reason}] in the list's order; state is a RemoteHostState raw value.
    Q_PROPERTY(QVariantList hosts READ hosts NOTIFY hostsChanged)
    // An add or a remove is under way: the card's buttons wait for it.
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    // What went wrong with the last add or remove, in one line; empty when it went well.
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)

public:
    // Takes what the user typed ([user@]host[:port]) or a host's name, and calls `done` once, from any thread,
    // with the error line: empty when it went well.
    using Action = std::function<void(const QString& argument, std::function<void(const QString& error)> done)>;

    explicit RemoteHostsModel(std::function<Language()> language, QObject* parent = nullptr);

    void setActions(Action add, Action remove);
    void setHosts(const QList<RemoteHostStatus>& hosts);

    QVariantList hosts() const { return hosts_; }
    bool busy() const { return busy_; }
    QString error() const { return error_; }

    Q_INVOKABLE void add(const QString& destination);
    Q_INVOKABLE void remove(const QString& name);
    // The confirmation before remove(): {title, text, confirm, cancel, warning}.
    Q_INVOKABLE QVariantMap removePrompt(const QString& name) const;

Q_SIGNALS:
    void hostsChanged();
    void busyChanged();
    void errorChanged();

private:
    void run(const Action& action, const QString& argument, const char* unavailableKey);
    void finish(const QString& error);
    void setError(const QString& error);

    std::function<Language()> language_;
    Action add_;
    Action remove_;
    QVariantList hosts_;
    bool busy_ = false;
    QString error_;
};

} // namespace nubbo
