#include "shell/AppBusInterface.h"

#include "common/BusNames.h"
#include "common/Utf8Text.h"
#include "platform/Clock.h"
#include "sessions/AgentSessionStore.h"
#include "sessions/AppStatus.h"
#include "settings/SettingsStore.h"

#include <QDBusMetaType>
#include <QDateTime>
#include <QJsonDocument>

#include <cmath>
#include <string_view>

namespace nubbo {
namespace {

// Qt's class info takes a literal: it must name the interface callers use.
static_assert(std::string_view(bus::kInterface) == "dev.nubbo.Nubbo1");

// A wall clock that moved further than this against the app's clock was set or the machine slept.
constexpr qint64 kWallDriftMs = 2000;

QString agentSessionId(const QString& key) { return key.mid(key.indexOf(QLatin1Char(':')) + 1); }

bool isSessionId(const QString& id) { return text::isPrintableToken(id.toStdString(), bus::kMaxIdLength); }

} // namespace

AppBusInterface::AppBusInterface(QObject* served, QDBusConnection bus, GoTo goTo)
    : QDBusAbstractAdaptor(served), bus_(std::move(bus)), goTo_(std::move(goTo)) {
    // Before the object is registered, so that introspection names the property's type.
    qDBusRegisterMetaType<QList<QVariantMap>>();
}

AppBusInterface::~AppBusInterface() = default;

void AppBusInterface::attach(App app) {
    app_.emplace(std::move(app));
    QObject::connect(&app_->settings, &SettingsStore::approvalModeChanged, this,
                     [this] { propertiesMayHaveChanged(); });
    QObject::connect(&app_->settings, &SettingsStore::pauseNubboChanged, this,
                     [this] { propertiesMayHaveChanged(); });
    shownSessions_ = sessions();
    shownMode_ = approvalMode();
    shownPaused_ = paused();
    shownRemoteHosts_ = remoteHosts();
}

void AppBusInterface::sessionsChanged() {
    if (!app_)
        return;
    for (const auto& [key, session] : app_->sessions.sessions())
        for (const WaitingRequest& request : session.waiting)
            if (!announced_.contains(request.eventId)) {
                announced_.insert(request.eventId);
                Q_EMIT RequestAdded(request.eventId.toString(QUuid::WithoutBraces), agentSessionId(key),
                                    request.command, request.risk == ApprovalRisk::risky);
            }
    propertiesMayHaveChanged();
}

void AppBusInterface::answering(const QUuid& eventId, bool allow) { verdict_ = std::pair{eventId, allow}; }

void AppBusInterface::requestEnded(const QUuid& eventId) {
    const bool answered = verdict_ && verdict_->first == eventId;
    const bool allow = answered && verdict_->second;
    verdict_.reset();
    // A request that ended within the change that brought it was never announced: nothing waits on its end.
    if (!announced_.remove(eventId))
        return;
    Q_EMIT RequestAnswered(eventId.toString(QUuid::WithoutBraces),
                           !answered ? QStringLiteral("withdrawn")
                                     : allow ? QStringLiteral("allow") : QStringLiteral("deny"));
}

QList<QVariantMap> AppBusInterface::sessions() const {
    return app_ ? busSessions(appStatusSessions(app_->sessions, wallMsAtClockZero())) : QList<QVariantMap>{};
}

QString AppBusInterface::approvalMode() const { return app_ ? app_->settings.approvalModeRaw() : QString(); }

bool AppBusInterface::paused() const { return app_ && app_->settings.pauseNubbo(); }

QList<QVariantMap> AppBusInterface::remoteHosts() const {
    return app_ && app_->remoteHosts ? app_->remoteHosts() : QList<QVariantMap>{};
}

void AppBusInterface::remoteHostsChanged() {
    if (app_)
        propertiesMayHaveChanged();
}

QString AppBusInterface::Focus(const QString& sessionId, const QDBusMessage& message) {
    // Any program on the bus may call: an id no agent could have reported is no session.
    if (!isSessionId(sessionId))
        return rawValue(FocusOutcome::unknownSession);
    message.setDelayedReply(true);
    goTo_(sessionId, [bus = bus_, message](FocusOutcome outcome) {
        bus.send(message.createReply(rawValue(outcome)));
    });
    return {};
}

QString AppBusInterface::Status() const {
    if (!app_)
        return {};
    return QString::fromUtf8(
        QJsonDocument(appStatus(app_->sessions, app_->settings, wallMsAtClockZero())).toJson(QJsonDocument::Compact));
}

bool AppBusInterface::Approve(const QString& id) { return answer(id, true); }

bool AppBusInterface::Deny(const QString& id) { return answer(id, false); }

void AppBusInterface::ShowSettings() {
    if (app_ && app_->showSettings)
        app_->showSettings();
}

bool AppBusInterface::answer(const QString& id, bool allow) {
    // Only the request named, and only while it waits: an id that parses to nothing names none.
    const QUuid eventId = QUuid::fromString(id);
    if (!app_ || eventId.isNull() || !app_->sessions.waitingRequest(eventId))
        return false;
    return app_->answer(eventId, allow);
}

qint64 AppBusInterface::wallMsAtClockZero() const {
    const qint64 now = QDateTime::currentMSecsSinceEpoch() - static_cast<qint64>(std::llround(app_->clock.now() * 1000.0));
    if (std::abs(now - wallMsAtClockZero_) > kWallDriftMs)
        wallMsAtClockZero_ = now;
    return wallMsAtClockZero_;
}

void AppBusInterface::propertiesMayHaveChanged() {
    if (flushPending_)
        return;
    flushPending_ = true;
    app_->scheduler.schedule(kPropertiesDelay, [this] {
        flushPending_ = false;
        publishProperties();
    });
}

void AppBusInterface::publishProperties() {
    QVariantMap changed;
    if (QList<QVariantMap> now = sessions(); now != shownSessions_) {
        shownSessions_ = std::move(now);
        changed.insert(QStringLiteral("Sessions"), QVariant::fromValue(shownSessions_));
    }
    if (const QString mode = approvalMode(); mode != shownMode_) {
        shownMode_ = mode;
        changed.insert(QStringLiteral("ApprovalMode"), mode);
    }
    if (const bool now = paused(); now != shownPaused_) {
        shownPaused_ = now;
        changed.insert(QStringLiteral("Paused"), now);
    }
    if (QList<QVariantMap> now = remoteHosts(); now != shownRemoteHosts_) {
        shownRemoteHosts_ = std::move(now);
        changed.insert(QStringLiteral("RemoteHosts"), QVariant::fromValue(shownRemoteHosts_));
    }
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << kInterface << changed << QStringList();
    bus_.send(signal);
}

} // namespace nubbo
