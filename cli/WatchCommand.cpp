#include "cli/WatchCommand.h"

#include "cli/Commands.h"
#include "cli/StatusText.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QJsonObject>

#include <csignal>
#include <unistd.h>

namespace nubbo::cli {
namespace {

// Every line is flushed as it is printed, so leaving at once loses nothing.
extern "C" void leaveQuietly(int) { ::_exit(0); }

} // namespace

Watcher::Watcher(WatchForm form, QString pattern) : form_(form), pattern_(std::move(pattern)) {
    connect(&lockCheck_, &QTimer::timeout, this, &Watcher::onMaybeBack);
}

std::optional<StatusDocument> Watcher::fetch() const {
    const QDBusMessage reply = connection_->call(QStringLiteral("Status"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return std::nullopt;
    return parseStatus(reply.arguments().constFirst().toString().toUtf8());
}

void Watcher::subscribe(bool on) {
    QDBusConnection bus = connection_->bus();
    const QString holder = connection_->holder();
    const QString path = QLatin1String(kObjectPath);
    const auto wire = [&](const QString& interface, const char* name, const char* slot) {
        if (on)
            bus.connect(holder, path, interface, QLatin1String(name), this, slot);
        else
            bus.disconnect(holder, path, interface, QLatin1String(name), this, slot);
    };
    wire(QStringLiteral("org.freedesktop.DBus.Properties"), "PropertiesChanged", SLOT(onPropertiesChanged()));
    wire(QLatin1String(kInterface), "RequestAdded", SLOT(onRequestAdded(QString, QString, QString, bool)));
    wire(QLatin1String(kInterface), "RequestAnswered", SLOT(onRequestAnswered(QString, QString)));
}

bool Watcher::follow(const AppConnection& connection) {
    if (connection.holder().isEmpty())
        return false;
    connection_ = connection;
    subscribe(true);
    gone_ = new QDBusServiceWatcher(connection.holder(), connection.bus(), QDBusServiceWatcher::WatchForUnregistration,
                                    this);
    connect(gone_, &QDBusServiceWatcher::serviceUnregistered, this, &Watcher::onAppGone);
    // Subscribed before the first fetch, so no change falls between the two.
    const auto first = fetch();
    if (!first) {
        unfollow();
        return false;
    }
    print(switchesEvent(*first));
    for (const WatchEvent& event : diffStatus(StatusDocument{first->approvalMode, first->paused, {}}, *first))
        print(event);
    last_ = *first;
    refresh();
    return true;
}

void Watcher::unfollow() {
    subscribe(false);
    // Possibly inside its own signal.
    disconnect(gone_, nullptr, this, nullptr);
    gone_->deleteLater();
    gone_ = nullptr;
    connection_.reset();
}

void Watcher::waitForApp() {
    last_ = {};
    // A bar that reads lines shows an empty one as nothing until Nubbo runs.
    printBar(form_ == WatchForm::waybar ? waybarOffObject() : QByteArray());
    if (!back_) {
        back_ = new QDBusServiceWatcher(QLatin1String(kBusName), QDBusConnection::sessionBus(),
                                        QDBusServiceWatcher::WatchForRegistration, this);
        connect(back_, &QDBusServiceWatcher::serviceRegistered, this, &Watcher::onMaybeBack);
    }
    lockCheck_.start(kLockCheckMs);
}

void Watcher::onMaybeBack() {
    if (connection_)
        return;
    const AppConnection connection;
    const QString& holder = connection.holder();
    if (holder.isEmpty() || holder == deadHolder_)
        return;
    QDBusConnectionInterface* bus = connection.bus().interface();
    if (!bus)
        return;
    if (!bus->isServiceRegistered(holder).value()) {
        deadHolder_ = holder;
        return;
    }
    // One still starting may not answer yet: the next check asks again.
    if (follow(connection))
        lockCheck_.stop();
}

void Watcher::print(const WatchEvent& event) {
    if (form_ == WatchForm::json)
        printBytes(eventJson(event));
    else if (form_ == WatchForm::plain)
        printLine(eventLine(event));
}

void Watcher::refresh() {
    if (form_ == WatchForm::waybar)
        printBar(waybarObject(last_));
    else if (form_ == WatchForm::format)
        printBar(formatStatus(last_, pattern_).toUtf8());
}

void Watcher::printBar(const QByteArray& line) {
    if (lastBar_ && *lastBar_ == line)
        return;
    printBytes(line);
    lastBar_ = line;
}

void Watcher::onPropertiesChanged() {
    const auto now = fetch();
    if (!now)
        return;
    for (const WatchEvent& event : diffStatus(last_, *now))
        print(event);
    last_ = *now;
    refresh();
}

void Watcher::onRequestAdded(const QString& id, const QString& session, const QString& command, bool risky) {
    // The session as the app has it now; the signal's own fields when it is already gone.
    QJsonObject object{{QStringLiteral("id"), session}};
    if (const auto now = fetch())
        for (const SessionStatus& s : now->sessions)
            if (s.id == session)
                object = s.json;
    if (object.value(QLatin1String("request")).toObject().value(QLatin1String("id")).toString() != id)
        object.insert(QStringLiteral("request"), QJsonObject{{QStringLiteral("id"), id},
                                                             {QStringLiteral("command"), command},
                                                             {QStringLiteral("risky"), risky}});
    print({QStringLiteral("request"), object});
}

void Watcher::onRequestAnswered(const QString& id, const QString& verdict) {
    QJsonObject object;
    for (const SessionStatus& s : last_.sessions)
        if (s.request && s.request->id == id)
            object = s.json;
    QJsonObject request = object.value(QLatin1String("request")).toObject();
    request.insert(QStringLiteral("id"), id);
    request.insert(QStringLiteral("verdict"), verdict);
    object.insert(QStringLiteral("request"), request);
    print({QStringLiteral("answered"), object});
}

void Watcher::onAppGone() {
    if (form_ == WatchForm::waybar || form_ == WatchForm::format) {
        deadHolder_ = connection_->holder();
        unfollow();
        waitForApp();
        return;
    }
    if (form_ == WatchForm::plain)
        printLine(QStringLiteral("nubbo quit"));
    QCoreApplication::exit(0);
}

int runWatch(const QStringList& arguments) {
    WatchForm form = WatchForm::plain;
    QString pattern;
    if (arguments == QStringList{QStringLiteral("--json")}) {
        form = WatchForm::json;
    } else if (arguments == QStringList{QStringLiteral("--waybar")}) {
        form = WatchForm::waybar;
    } else if (arguments.size() == 2 && arguments[0] == QLatin1String("--format")) {
        form = WatchForm::format;
        pattern = arguments[1];
    } else if (!arguments.isEmpty()) {
        printLine(QStringLiteral("usage: nubbo watch [--json | --waybar | --format TEMPLATE]"), true);
        return 2;
    }
    std::signal(SIGINT, leaveQuietly);
    std::signal(SIGTERM, leaveQuietly);
    AppConnection connection;
    Watcher watcher(form, pattern);
    if (form == WatchForm::waybar || form == WatchForm::format) {
        // A bar starts at login, often before Nubbo: it waits for the app rather than giving up.
        if (!watcher.follow(connection))
            watcher.waitForApp();
        return QCoreApplication::exec();
    }
    if (meansNotRunning(connection.call(QStringLiteral("Status")))) {
        printLine(QStringLiteral("nubbo is not running"));
        return kNotRunning;
    }
    if (!watcher.follow(connection)) {
        printLine(QStringLiteral("nubbo gave an answer this command does not know"), true);
        return 1;
    }
    return QCoreApplication::exec();
}

} // namespace nubbo::cli
