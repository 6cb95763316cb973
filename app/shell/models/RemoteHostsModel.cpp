#include "shell/models/RemoteHostsModel.h"

#include "shell/models/SettingsTexts.h"
#include "shell/models/ShellAlert.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

namespace nubbo {

RemoteHostsModel::RemoteHostsModel(std::function<Language()> language, QObject* parent)
    : QObject(parent), language_(std::move(language)) {}

void RemoteHostsModel::setActions(Action add, Action remove) {
    add_ = std::move(add);
    remove_ = std::move(remove);
}

void RemoteHostsModel::setHosts(const QList<RemoteHostStatus>& hosts) {
    QVariantList list;
    for (const RemoteHostStatus& host : hosts)
        list.append(host.toMap());
    if (list == hosts_)
        return;
    hosts_ = std::move(list);
    Q_EMIT hostsChanged();
}

void RemoteHostsModel::add(const QString& destination) {
    const QString text = destination.trimmed();
    if (!text.isEmpty())
        run(add_, text, "remoteAddUnavailable");
}

void RemoteHostsModel::remove(const QString& name) { run(remove_, name, "remoteRemoveUnavailable"); }

QVariantMap RemoteHostsModel::removePrompt(const QString& name) const {
    const auto t = [this](const char* key) { return SettingsTexts::text(QString::fromLatin1(key), language_()); };
    return ShellAlert{t("remoteRemoveTitle").arg(name), t("remoteRemoveText"), t("remove"), t("cancel"), true}
        .toVariantMap();
}

void RemoteHostsModel::run(const Action& action, const QString& argument, const char* unavailableKey) {
    if (busy_)
        return;
    if (!action) {
        setError(SettingsTexts::text(QString::fromLatin1(unavailableKey), language_()));
        return;
    }
    setError(QString());
    busy_ = true;
    Q_EMIT busyChanged();
    // The answer may come from another thread, and after the window has gone: it is looked at on the
    // application's thread, where this model lives.
    action(argument, [self = QPointer<RemoteHostsModel>(this)](const QString& error) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, error] {
            if (self)
                self->finish(error);
        }, Qt::QueuedConnection);
    });
}

void RemoteHostsModel::finish(const QString& error) {
    busy_ = false;
    Q_EMIT busyChanged();
    setError(error);
}

void RemoteHostsModel::setError(const QString& error) {
    if (error == error_)
        return;
    error_ = error;
    Q_EMIT errorChanged();
}

} // namespace nubbo
