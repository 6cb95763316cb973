#include "cli/WatchCommand.h"

#include "cli/Commands.h"
#include "cli/StatusText.h"

#include <QCoreApplication>
#include <QDBusServiceWatcher>
#include <QJsonObject>

#include <csignal>
#include <unistd.h>

namespace nubbo::cli {
namespace {

// Every line is flushed as it is printed, so leaving at once loses nothing.
extern "C" void leaveQuietly(int) { ::_exit(0); }

} // namespace

Watcher::Watcher(AppConnection connection, WatchForm form) : connection_(std::move(connection)), form_(form) {}

std::optional<StatusDocument> Watcher::fetch() const {
    const QDBusMessage reply = connection_.call(QStringLiteral("Status"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return std::nullopt;
    return parseStatus(reply.arguments().constFirst().toString().toUtf8());
}

bool Watcher::start() {
    QDBusConnection bus = connection_.bus();
    const QString holder = connection_.holder();
    const QString path = QLatin1String(kObjectPath);
    bus.connect(holder, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
                this, SLOT(onPropertiesChanged()));
    bus.connect(holder, path, QLatin1String(kInterface), QStringLiteral("RequestAdded"), this,
                SLOT(onRequestAdded(QString, QString, QString, bool)));
    bus.connect(holder, path, QLatin1String(kInterface), QStringLiteral("RequestAnswered"), this,
                SLOT(onRequestAnswered(QString, QString)));
    auto* gone = new QDBusServiceWatcher(holder, bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(gone, &QDBusServiceWatcher::serviceUnregistered, this, &Watcher::onAppGone);
    // Subscribed before the first fetch, so no change falls between the two.
    const auto first = fetch();
    if (!first)
        return false;
    last_ = StatusDocument{first->approvalMode, first->paused, {}};
    const StatusDocument now = *first;
    for (const WatchEvent& event : diffSessions(last_, now))
        print(event);
    last_ = now;
    if (form_ == WatchForm::waybar)
        refresh();
    return true;
}

void Watcher::print(const WatchEvent& event) {
    if (form_ == WatchForm::json)
        printBytes(eventJson(event));
    else if (form_ == WatchForm::plain)
        printLine(eventLine(event));
}

void Watcher::refresh() {
    if (form_ != WatchForm::waybar)
        return;
    const QByteArray object = waybarObject(last_);
    if (object != lastWaybar_)
        printBytes(object);
    lastWaybar_ = object;
}

void Watcher::onPropertiesChanged() {
    const auto now = fetch();
    if (!now)
        return;
    for (const WatchEvent& event : diffSessions(last_, *now))
        print(event);
    if (form_ == WatchForm::plain && (now->paused != last_.paused || now->approvalMode != last_.approvalMode))
        printLine(QStringLiteral("approval mode %1, %2").arg(now->approvalMode, now->paused ? QStringLiteral("paused")
                                                                                            : QStringLiteral("not paused")));
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
    if (form_ == WatchForm::plain)
        printLine(QStringLiteral("nubbo quit"));
    QCoreApplication::exit(0);
}

int runWatch(const QStringList& arguments) {
    WatchForm form = WatchForm::plain;
    if (arguments == QStringList{QStringLiteral("--json")})
        form = WatchForm::json;
    else if (arguments == QStringList{QStringLiteral("--waybar")})
        form = WatchForm::waybar;
    else if (!arguments.isEmpty()) {
        printLine(QStringLiteral("usage: nubbo watch [--json | --waybar]"), true);
        return 2;
    }
    std::signal(SIGINT, leaveQuietly);
    std::signal(SIGTERM, leaveQuietly);
    AppConnection connection;
    if (meansNotRunning(connection.call(QStringLiteral("Status")))) {
        printLine(QStringLiteral("nubbo is not running"));
        return kNotRunning;
    }
    Watcher watcher(connection, form);
    if (!watcher.start()) {
        printLine(QStringLiteral("nubbo gave an answer this command does not know"), true);
        return 1;
    }
    return QCoreApplication::exec();
}

} // namespace nubbo::cli
