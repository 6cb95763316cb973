// `nubbo watch`: follows the app's PropertiesChanged and request signals and prints a line per change. In its
// status-bar forms (Waybar's object, a template) it outlives the app: it shows the app as off and follows it
// again once it is back.
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

enum class WatchForm { plain, json, waybar, format };

class Watcher : public QObject {
    Q_OBJECT
public:
    // The bus name can come before the lock names the app, or belong to another home's app: while waiting,
    // the lock is read again this often too.
    static constexpr int kLockCheckMs = 2000;

    // `pattern` is the template of the format form.
    Watcher(WatchForm form, QString pattern = {});
    // Subscribes to the app that holds this home's lock and prints what there is now; false when it does not
    // answer with a status document.
    bool follow(const AppConnection& connection);
    // Prints the bar line of an app that is off and follows the app once it runs again.
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
    // A bar line, unless it is the one printed last.
    void printBar(const QByteArray& line);

    WatchForm form_;
    QString pattern_;
    std::optional<AppConnection> connection_;  // the app followed; none while waiting
    QDBusServiceWatcher* gone_ = nullptr;
    QDBusServiceWatcher* back_ = nullptr;
    QTimer lockCheck_;
    // The unique name of an app that has gone, which the lock may still hold: it never comes back.
    QString deadHolder_;
    StatusDocument last_;
    std::optional<QByteArray> lastBar_;
};

} // namespace nubbo::cli
