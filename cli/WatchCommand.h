// `nubbo watch`: follows the app's PropertiesChanged and request signals and prints a line per change. In its
// Waybar form it outlives the app: it shows the app as off and follows it again once it is back.
#pragma once

#include "cli/AppConnection.h"
#include "cli/StatusDiff.h"
#include "cli/StatusDocument.h"

#include <QByteArray>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

namespace nubbo::cli {

enum class WatchForm { plain, json, waybar };

class Watcher : public QObject {
    Q_OBJECT
public:
    // The bus name can come before the lock names the app, or belong to another home's app: while waiting,
    // the lock is read again this often too.
    static constexpr int kLockCheckMs = 2000;

    explicit Watcher(WatchForm form);
    // Subscribes to the app that holds this home's lock and prints what there is now; false when it does not
    // answer with a status document.
    bool follow(const AppConnection& connection);
    // Prints the Waybar object for an app that is off and follows the app once it runs again.
    void waitForApp();

private slots:
    void onPropertiesChanged();
    void onRequestAdded(const QString& id, const QString& session, const QString& command, bool risky);
    void onRequestAnswered(const QString& id, const QString& verdict);
    void onAppGone();
    void onMaybeBack();

private:
    std::optional<StatusDocument> fetch() const;
    void subscribe(bool on);
    void unfollow();
    void print(const WatchEvent& event);
    void refresh();

    WatchForm form_;
    std::optional<AppConnection> connection_;  // the app followed; none while waiting
    QDBusServiceWatcher* gone_ = nullptr;
    QDBusServiceWatcher* back_ = nullptr;
    QTimer lockCheck_;
    // The unique name of an app that has gone, which the lock may still hold: it never comes back.
    QString deadHolder_;
    StatusDocument last_;
    QByteArray lastWaybar_;
};

} // namespace nubbo::cli
