// `nubbo watch`: follows the app's PropertiesChanged and request signals and prints a line per change.
#pragma once

#include "cli/AppConnection.h"
#include "cli/StatusDiff.h"
#include "cli/StatusDocument.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace nubbo::cli {

enum class WatchForm { plain, json, waybar };

class Watcher : public QObject {
    Q_OBJECT
public:
    Watcher(AppConnection connection, WatchForm form);
    // Subscribes and prints the sessions there are now; false when the app does not answer.
    bool start();

private slots:
    void onPropertiesChanged();
    void onRequestAdded(const QString& id, const QString& session, const QString& command, bool risky);
    void onRequestAnswered(const QString& id, const QString& verdict);
    void onAppGone();

private:
    std::optional<StatusDocument> fetch() const;
    void print(const WatchEvent& event);
    void refresh();

    AppConnection connection_;
    WatchForm form_;
    StatusDocument last_;
    QByteArray lastWaybar_;
};

} // namespace nubbo::cli
