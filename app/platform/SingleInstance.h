// One running app per support folder (so per home): the first start holds an exclusive lock on "app.lock"
// there for as long as it runs and answers org.freedesktop.Application.Activate on the session bus; a later
// start finds the lock held and asks that one to show itself instead of starting a second pet.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

namespace nubbo {

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    using Log = std::function<void(const QString& line)>;

    // Tries the lock at once, without waiting. The kernel drops it with the process, so a crashed run never
    // blocks the next. A lock that fails for any reason but another holder (a read-only folder, say) counts
    // as taken, with one line logged: a broken lock must never keep the app from starting.
    // appId names the bus service; its object path is the id with the dots turned into slashes.
    SingleInstance(const QString& supportFolder, const QString& appId, Log log);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another process holds this folder's lock.
    bool first() const { return first_; }

    // For the first: offers Activate on the bus, under the app id when that name is free (one line logged
    // when it is not, or when there is no bus), and writes the connection's unique name into the lock file.
    // A later start calls that unique name, so it reaches the process holding its own home's lock even when
    // the well-known name belongs to a run in another home on the same bus. `activated` runs on this
    // object's thread.
    void serve(QDBusConnection bus, std::function<void()> activated);
    // For a later start: calls Activate on the lock's holder and logs one line saying whether it answered.
    // timeoutMs bounds the whole call, including the wait for a holder still starting to publish its name.
    bool activateRunning(QDBusConnection bus, int timeoutMs = 2000);

    static inline const QString kInterface = QStringLiteral("org.freedesktop.Application");
    // The unique bus name the lock file at that path holds; empty while none is written.
    static QString holderNameIn(const QString& lockPath);

public Q_SLOTS:
    // org.freedesktop.Application.Activate(a{sv} platform_data); the platform data is not needed here.
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);

private:
    QString holderName() const;
    static QString objectPathOf(const QString& appId);

    const Log log_;
    const QString appId_;
    const QString objectPath_;
    const QString lockPath_;
    int fd_ = -1;
    bool first_ = true;
    std::function<void()> activated_;
};

} // namespace nubbo
