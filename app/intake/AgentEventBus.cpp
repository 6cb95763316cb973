#include "intake/AgentEventBus.h"

#include "model/AgentActivity.h"
#include "core/AppPaths.h"
#include "core/NubboLog.h"
#include "approvals/RequestKind.h"
#include "settings/SettingsStore.h"
#include "approvals/TrustEngine.h"

#include <QMetaObject>

namespace nubbo {
namespace {

AgentEventBus* sharedBus = nullptr;

} // namespace

AgentEventBus::AgentEventBus(SettingsStore& settings, EventSink& sink, Options options, QObject* parent)
    : QObject(parent), settings_(settings), sink_(sink), options_(std::move(options)) {
    server_ = std::make_unique<LocalSocketServer>(options_.server);
}

AgentEventBus::AgentEventBus(SettingsStore& settings, EventSink& sink, QObject* parent)
    : AgentEventBus(settings, sink, Options{}, parent) {}

AgentEventBus::~AgentEventBus() {
    // Stop the threads that call into the bus before it goes.
    server_.reset();
    if (sharedBus == this) sharedBus = nullptr;
}

AgentEventBus& AgentEventBus::shared() {
    Q_ASSERT(sharedBus);
    return *sharedBus;
}

void AgentEventBus::setShared(AgentEventBus* bus) { sharedBus = bus; }

void AgentEventBus::start() {
    server_->setOnEvent([this](const AgentEvent& event, LocalSocketServer::Reply reply) { publish(event, std::move(reply)); });
    server_->setOnParkedReleased([this](const QUuid& id) { dropParked(id); });
    server_->start();
}

void AgentEventBus::publish(const AgentEvent& event, LocalSocketServer::Reply reply) {
    log(event);
    if (event.type != AgentEventType::approvalRequired) {
        forwardToPet(event);
        return;
    }
    const QString request = event.command.value_or(event.message);
    TrustSettings trust = settings_.trustSettings();
    // Where the app's Allow grants nothing (the agent asks the user itself afterwards), a card could only
    // stall the agent; only what the rules would stop even in the most permissive mode waits for a veto.
    if (const ProviderSpec* spec = event.provider.spec(); spec && decisionsOnlyVeto(*spec))
        trust.mode = ApprovalMode::fullAuto;
    // A file's path or a web address is judged as what it is, never read as a command line.
    const RequestKind kind = requestKindOfTool(event.toolName.value_or(QString()));
    if (TrustEngine::decide(request, kind, trust) == TrustDecision::allow) {
        if (reply) reply(true);
        // Shown as ordinary tool work: no card and no approval notification for what the rules allowed.
        AgentEvent allowed;
        allowed.id = QUuid::createUuid();
        allowed.provider = event.provider;
        allowed.type = AgentEventType::coding;
        allowed.message = event.message;
        allowed.command = request;
        allowed.toolName = event.toolName;
        allowed.cwd = event.cwd;
        allowed.sessionId = event.sessionId;
        // Still the same agent in the same place: going there and naming its machine keep working.
        allowed.terminal = event.terminal;
        allowed.host = event.host;
        forwardToPet(allowed);
        return;
    }
    if (reply) {
        std::lock_guard guard(lock_);
        approvalResponders_.insert(event.id, std::move(reply));
    }
    forwardToPet(event);
}

LocalSocketServer::Reply AgentEventBus::takeParked(const QUuid& eventId) {
    std::lock_guard guard(lock_);
    return approvalResponders_.take(eventId);
}

bool AgentEventBus::resolveApproval(const QUuid& eventId, bool allow) {
    // Called outside the lock, so a reply may re-enter the bus.
    const LocalSocketServer::Reply reply = takeParked(eventId);
    if (!reply)
        return false;
    reply(allow);
    return true;
}

void AgentEventBus::releaseApproval(const QUuid& eventId) {
    if (const LocalSocketServer::Reply reply = takeParked(eventId))
        reply(std::nullopt);
}

std::size_t AgentEventBus::parkedCount() const {
    std::lock_guard guard(lock_);
    return static_cast<std::size_t>(approvalResponders_.size());
}

void AgentEventBus::dropParked(const QUuid& eventId) {
    if (!takeParked(eventId))
        return;  // answered meanwhile
    // The agent gave up waiting, or was answered in its terminal: a card left up would answer nobody.
    QMetaObject::invokeMethod(this, [this, eventId] { sink_.withdrawApproval(eventId); }, Qt::QueuedConnection);
}

void AgentEventBus::forwardToPet(const AgentEvent& event) {
    // Queued on the bus's own thread; a bus destroyed meanwhile drops the call.
    QMetaObject::invokeMethod(
        this,
        [this, event] {
            lastEvent_ = event;
            sink_.apply(event);
        },
        Qt::QueuedConnection);
}

QString AgentEventBus::agentLogLine(const AgentEvent& event, const QDateTime& when, const QString& phrase) {
    return QStringLiteral("[%1 +0000] %2 %3: %4")
        .arg(when.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), event.provider.displayTitle(),
             rawValue(event.type), phrase);
}

void AgentEventBus::log(const AgentEvent& event) {
    const QDateTime when = options_.now ? options_.now() : QDateTime::currentDateTimeUtc();
    const QString phrase = AgentActivity::phrase(event, settings_.effectiveLanguageThreadSafe());
    const QString path = options_.agentLogPath.isEmpty() ? AppPaths::logsDirectory() + QStringLiteral("/agent.log")
                                                         : options_.agentLogPath;
    NubboLog::appendToFile(path, (agentLogLine(event, when, phrase) + QLatin1Char('\n')).toUtf8());
}

} // namespace nubbo
