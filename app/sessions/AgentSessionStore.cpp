#include "sessions/AgentSessionStore.h"

#include "model/AgentActivity.h"
#include "model/AgentTitle.h"
#include "platform/Clock.h"
#include "model/NarrationSummarizer.h"
#include "model/PetRenderer.h"
#include "approvals/RequestKind.h"
#include "settings/SettingsStore.h"
#include "approvals/TrustEngine.h"
#include "common/WireProtocol.h"

#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>

namespace nubbo {

namespace {

AgentSessionStore* sharedStore = nullptr;

// Highest first; the pet speaks for the session whose state comes first here.
constexpr std::array kPriority{
    PetState::waitingApproval, PetState::waitingInput, PetState::warning, PetState::compactingContext,
    PetState::coding,          PetState::thinking,     PetState::responding, PetState::success,
    PetState::sleeping,        PetState::idle,
};

std::size_t rank(PetState state) {
    for (std::size_t i = 0; i < kPriority.size(); ++i)
        if (kPriority[i] == state)
            return i;
    return kPriority.size();
}

// Their bubble stays until something replaces it.
bool isPersistent(PetState state) {
    return state == PetState::waitingApproval || state == PetState::waitingInput || state == PetState::warning;
}

bool hasText(const std::optional<QString>& text) { return text && !text->isEmpty(); }

// A summary belongs to one narration: a different narration makes it stale.
void takeSay(AgentSession& session, const QString& say) {
    if (session.say != say)
        session.summary.reset();
    session.say = say;
}

} // namespace

AgentSessionStore::AgentSessionStore(SettingsStore& settings, PetRenderer& renderer, Clock& clock, Random& random,
                                     Notify notify, NarrationSummarizer& summarizer)
    : settings_(settings), renderer_(renderer), clock_(clock), random_(random), notify_(std::move(notify)),
      summarizer_(summarizer), idle_(settings, renderer, random) {}

AgentSessionStore::~AgentSessionStore() {
    if (sharedStore == this)
        sharedStore = nullptr;
}

AgentSessionStore& AgentSessionStore::shared() {
    if (!sharedStore)
        qFatal("AgentSessionStore::shared() called before the app installed a store");
    return *sharedStore;
}

void AgentSessionStore::setShared(AgentSessionStore* store) { sharedStore = store; }

bool AgentSessionStore::hasShared() { return sharedStore != nullptr; }

void AgentSessionStore::start() {
    if (timer_)
        return;
    timer_ = std::make_unique<QTimer>();
    timer_->setInterval(std::chrono::milliseconds(static_cast<int>(kTickInterval * 1000)));
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { tick(); });
    timer_->start();
}

QString AgentSessionStore::sessionKey(const AgentEvent& event) {
    return event.provider.rawValue() + QLatin1Char(':') + event.sessionId.value_or(QStringLiteral("default"));
}

const AgentSession* AgentSessionStore::session(const QString& key) const {
    const auto found = sessions_.find(key);
    return found == sessions_.end() ? nullptr : &found->second;
}

void AgentSessionStore::apply(const AgentEvent& event) {
    idle_.reset();
    const QString key = sessionKey(event);
    const bool zh = settings_.effectiveLanguage() == Language::zh;
    const QString title = agentTitle(event.provider, event.host, settings_.effectiveLanguage());

    switch (event.type) {
    case AgentEventType::agentStarted:
    case AgentEventType::thinking:
        enqueueOrSetThinking(key, event);
        break;
    case AgentEventType::coding: {
        const auto result =
            AgentActivity::classify(event.toolName, event.command, event.message, settings_.effectiveLanguage());
        const Step step{result.pose, result.detail};
        if (event.phase == QLatin1StringView(wire::kPostPhase)) {
            endRequestThatRan(key, event);
            markToolFinished(key, event, step);
        } else {
            enqueueStep(key, event, step);
        }
        summarize(key, event, result.detail);
        break;
    }
    case AgentEventType::contextCompacting:
        flushQueue(key);
        setSession(key, event, PetState::compactingContext,
                   title + (zh ? QStringLiteral(" · 正在压缩上下文…") : QStringLiteral(" · Compacting context…")));
        break;
    case AgentEventType::responding:
        flushQueue(key);
        setSession(key, event, PetState::responding, event.message);
        summarize(key, event, std::nullopt);
        break;
    case AgentEventType::approvalRequired: {
        flushQueue(key);
        // A request never replaces one that still waits: each stays answerable, and they show in turn.
        AgentSession& session = takeOrCreate(key, event, PetState::thinking);
        session.provider = event.provider;
        if (event.cwd)
            session.cwd = event.cwd;
        const QString command = event.command.value_or(event.message);
        const bool dangerous =
            TrustEngine::isDangerous(command, requestKindOfTool(event.toolName.value_or(QString())), settings_.trustSettings());
        session.waiting.push_back(WaitingRequest{event.id, QUuid::createUuid(), command, event.toolName,
                                                 dangerous ? ApprovalRisk::risky : ApprovalRisk::normal,
                                                 clock_.now(), ++requestOrder_});
        session.lastUpdate = clock_.now();
        notify(AgentEventType::approvalRequired, event);
        break;
    }
    case AgentEventType::inputRequired:
        // An agent announces its own permission dialog too (Claude does, seconds after asking): the card
        // already stands for it and must stay answerable.
        if (const auto found = sessions_.find(key); found != sessions_.end() && !found->second.waiting.empty()) {
            found->second.lastUpdate = clock_.now();
            break;
        }
        flushQueue(key);
        setSession(key, event, PetState::waitingInput, event.message);
        break;
    case AgentEventType::taskCompleted: {
        flushQueue(key);
        // Gemini's end of turn carries no message: the bridge falls back to the bare event name, so the
        // agent's closing words say it better, on the pet and in the notification.
        AgentEvent shown = event;
        if (event.say && !event.say->trimmed().isEmpty())
            shown.message = event.say->trimmed();
        setSession(key, shown, PetState::success, shown.message);
        notify(AgentEventType::taskCompleted, shown);
        break;
    }
    case AgentEventType::taskFailed:
        flushQueue(key);
        setSession(key, event, PetState::warning, event.message);
        break;
    case AgentEventType::riskyActionDetected:
        flushQueue(key);
        setSession(key, event, PetState::warning, event.message);
        notify(AgentEventType::riskyActionDetected, event);
        break;
    case AgentEventType::agentStopped:
        if (const auto found = sessions_.find(key); found != sessions_.end()) {
            const std::deque<WaitingRequest> waiting = std::move(found->second.waiting);
            sessions_.erase(found);
            endAll(waiting);
        }
        break;
    }
    // An event that does not say where the agent runs (an older bridge, the OpenCode plug-in without a
    // terminal) leaves where it last said.
    if (const auto found = sessions_.find(key); found != sessions_.end()) {
        if (event.terminal.known())
            found->second.terminal = event.terminal;
        if (event.host)
            found->second.host = event.host;
    }
    recompute();
}

AgentSession& AgentSessionStore::takeOrCreate(const QString& key, const AgentEvent& event, PetState state) {
    const auto found = sessions_.find(key);
    if (found != sessions_.end())
        return found->second;
    AgentSession fresh;
    fresh.provider = event.provider;
    fresh.state = fresh.pose = state;
    fresh.detail = event.message;
    fresh.say = event.say;
    fresh.cwd = event.cwd;
    fresh.lastUpdate = clock_.now();
    return sessions_.emplace(key, std::move(fresh)).first->second;
}

void AgentSessionStore::setSession(const QString& key, const AgentEvent& event, PetState state,
                                   const QString& detail) {
    AgentSession& session = takeOrCreate(key, event, state);
    // The agent went on (a new prompt, an answer, the end of its turn): whatever it asked before is over, and
    // its waiting producers are let go to ask in the terminal. Tool steps do not count: an agent runs tools
    // side by side while one of them waits for the user.
    const std::deque<WaitingRequest> replaced = std::move(session.waiting);
    session.waiting.clear();
    session.provider = event.provider;
    session.state = session.pose = state;
    session.detail = detail;
    if (event.say) {
        takeSay(session, *event.say);
    } else {
        session.say.reset();
        session.summary.reset();
    }
    if (event.cwd)
        session.cwd = event.cwd;
    session.awaitingNextStep = false;
    session.lastUpdate = clock_.now();
    endAll(replaced);
}

void AgentSessionStore::flushQueue(const QString& key) {
    const auto found = sessions_.find(key);
    if (found == sessions_.end())
        return;
    found->second.pendingSteps.clear();
    found->second.awaitingNextStep = false;
    found->second.stepHoldUntil = kDistantPast;
}

void AgentSessionStore::enqueueOrSetThinking(const QString& key, const AgentEvent& event) {
    // Queued tool steps keep playing.
    if (const AgentSession* existing = session(key); existing && !existing->pendingSteps.empty())
        return;
    setSession(key, event, PetState::thinking, event.message);
}

void AgentSessionStore::enqueueStep(const QString& key, const AgentEvent& event, const Step& step) {
    AgentSession& session = takeOrCreate(key, event, PetState::coding);
    session.provider = event.provider;
    if (event.cwd)
        session.cwd = event.cwd;
    session.awaitingNextStep = false;
    if (hasText(event.say))
        takeSay(session, *event.say);

    const double now = clock_.now();
    if (session.pendingSteps.empty() && now >= session.stepHoldUntil) {
        session.state = PetState::coding;
        session.pose = step.pose;
        session.detail = step.detail;
        session.stepHoldUntil = now + kStepHold;
    } else {
        session.pendingSteps.push_back(step);
        if (session.pendingSteps.size() > kMaxPendingSteps)
            session.pendingSteps.pop_front();
    }
    session.lastUpdate = now;
}

void AgentSessionStore::markToolFinished(const QString& key, const AgentEvent& event, const Step& step) {
    const auto found = sessions_.find(key);
    if (found != sessions_.end()
        && (found->second.state == PetState::coding || !found->second.pendingSteps.empty())) {
        // The call's first event already showed or queued this step.
        AgentSession& session = found->second;
        if (event.cwd)
            session.cwd = event.cwd;
        session.awaitingNextStep = true;
        if (hasText(event.say))
            takeSay(session, *event.say);
        session.lastUpdate = clock_.now();
        return;
    }
    enqueueStep(key, event, step);
    sessions_.at(key).awaitingNextStep = true;
}

bool AgentSessionStore::drainSteps(double now) {
    bool changed = false;
    for (auto& [key, session] : sessions_) {
        if (now < session.stepHoldUntil)
            continue;
        if (!session.pendingSteps.empty()) {
            const Step step = session.pendingSteps.front();
            session.pendingSteps.pop_front();
            session.state = PetState::coding;
            session.pose = step.pose;
            session.detail = step.detail;
            session.stepHoldUntil = now + kStepHold;
            session.lastUpdate = now;
            changed = true;
        } else if (session.awaitingNextStep && session.state == PetState::coding) {
            session.awaitingNextStep = false;
            session.state = session.pose = PetState::thinking;
            session.lastUpdate = now;
            changed = true;
        }
    }
    return changed;
}

bool AgentSessionStore::expireSessions(double now) {
    bool changed = false;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        AgentSession& session = it->second;
        bool remove = false;
        const double age = now - session.lastUpdate;
        if (!session.waiting.empty()) {
            // A request waits as long as its producer does, up to the half hour any quiet session gets.
            remove = age > 1800;
        } else if (session.pendingSteps.empty()) {
            if (session.state == PetState::thinking && age > 8) {
                remove = true;
            } else if (session.state == PetState::compactingContext && age > 12) {
                session.state = session.pose = PetState::thinking;
                session.lastUpdate = now;
                changed = true;
            } else if (session.state == PetState::success && age > 4) {
                remove = true;
            } else if (session.state == PetState::responding && age > 3) {
                remove = true;
            } else if (age > 1800) {
                remove = true;
            }
        }
        if (remove) {
            const std::deque<WaitingRequest> waiting = std::move(session.waiting);
            it = sessions_.erase(it);
            endAll(waiting);
            changed = true;
        } else {
            ++it;
        }
    }
    return changed;
}

void AgentSessionStore::tick() {
    const double now = clock_.now();
    bool changed = drainSteps(now);
    if (expireSessions(now))
        changed = true;
    if (hasActive()) {
        if (changed)
            recompute();
        return;
    }
    if (idle_.advance(now))
        changed = true;
    if (changed)
        recompute();
}

bool AgentSessionStore::hasActive() const {
    for (const auto& [key, session] : sessions_)
        if (session.state != PetState::idle && session.state != PetState::sleeping)
            return true;
    return false;
}

void AgentSessionStore::recompute() {
    if (sessions_.empty()) {
        idle_.render();
    } else {
        const AgentSession* best = nullptr;
        for (const auto& [key, session] : sessions_) {
            if (!best) {
                best = &session;
                continue;
            }
            const std::size_t mine = rank(session.shownState());
            const std::size_t theirs = rank(best->shownState());
            if (mine != theirs) {
                if (mine < theirs)
                    best = &session;
            } else if (mine == rank(PetState::waitingApproval)) {
                // The oldest request first: a newer one never takes the card from under the user's pointer.
                if (session.waiting.front().order < best->waiting.front().order)
                    best = &session;
            } else if (session.lastUpdate > best->lastUpdate) {
                best = &session;
            }
        }
        // The bubble names the session it speaks for, so a click on it can go to that session's terminal.
        std::optional<PetBubbleKind> shown = bubble(*best);
        if (shown)
            shown = withSessionKey(std::move(*shown), keyOf(*best));
        renderer_.render(best->shownPose(), shown, isPersistent(best->shownState()), best->provider);
    }
    if (changed_)
        changed_();
    if (outsideChanged_)
        outsideChanged_();
}

QString AgentSessionStore::keyOf(const AgentSession& session) const {
    for (const auto& [key, held] : sessions_)
        if (&held == &session)
            return key;
    return {};
}

std::optional<PetBubbleKind> AgentSessionStore::bubble(const AgentSession& session) const {
    const bool zh = settings_.effectiveLanguage() == Language::zh;
    const QString title = agentTitle(session.provider, session.host, settings_.effectiveLanguage());
    std::optional<QString> words;
    if (session.summary && !session.summary->trimmed().isEmpty())
        words = session.summary->trimmed();
    else if (session.say && !session.say->trimmed().isEmpty())
        words = session.say->trimmed();

    if (!session.waiting.empty()) {
        const WaitingRequest& request = session.waiting.front();
        return BubbleApproval{ApprovalPrompt{
            request.promptId, request.eventId, session.provider,
            title + (zh ? QStringLiteral(" 想要继续") : QStringLiteral(" wants to continue")), request.command,
            request.risk,
            session.provider.spec() && decisionsOnlyVeto(*session.provider.spec()), int(waitingCount())}};
    }
    switch (session.state) {
    case PetState::thinking:
        return BubbleNarration{session.provider, std::nullopt,
                               words.value_or(title + (zh ? QStringLiteral(" 思考中…") : QStringLiteral(" is thinking…")))};
    case PetState::coding: {
        std::optional<QString> activity;
        if (!session.detail.isEmpty())
            activity = session.detail;
        if (words)
            return BubbleNarration{session.provider, activity, *words};
        if (session.detail.isEmpty())
            return BubbleNarration{session.provider, std::nullopt,
                                   title + (zh ? QStringLiteral(" 工作中…") : QStringLiteral(" is working…"))};
        return BubbleNarration{session.provider, std::nullopt, title + QStringLiteral(" · ") + session.detail};
    }
    case PetState::responding:
        return BubbleNarration{session.provider, std::nullopt,
                               words.value_or(title + (zh ? QStringLiteral(" 已回答。") : QStringLiteral(" responded.")))};
    case PetState::waitingInput:
        return BubbleMessage{title + (zh ? QStringLiteral(" 需要你在终端里输入。")
                                         : QStringLiteral(" needs your input in the terminal."))};
    case PetState::compactingContext:
    case PetState::success:
    case PetState::warning:
        return BubbleMessage{session.detail};
    default:
        return std::nullopt;
    }
}

void AgentSessionStore::setSummary(const QString& sessionKey, const QString& text, const QString& forSay) {
    const auto found = sessions_.find(sessionKey);
    // The summariser sends the narration trimmed: a say that arrived with a trailing newline is still the
    // same narration.
    if (found == sessions_.end() || !found->second.say || found->second.say->trimmed() != forSay.trimmed())
        return;
    found->second.summary = text;
    recompute();
}

void AgentSessionStore::resolveApproval(const QUuid& eventId, bool allow) {
    const bool zh = settings_.effectiveLanguage() == Language::zh;
    if (AgentSession* session = takeWaiting(eventId)) {
        // The verdict is what the session shows once no other request of it waits.
        session->pendingSteps.clear();
        session->awaitingNextStep = false;
        session->stepHoldUntil = kDistantPast;
        if (allow) {
            session->state = session->pose = PetState::coding;
            session->detail = zh ? QStringLiteral("已允许。") : QStringLiteral("Allowed.");
        } else {
            session->state = session->pose = PetState::warning;
            session->detail = zh ? QStringLiteral("已拒绝。") : QStringLiteral("Denied.");
        }
        session->lastUpdate = clock_.now();
        approvalEnded(eventId);
    }
    recompute();
}

void AgentSessionStore::withdrawApproval(const QUuid& eventId) {
    AgentSession* session = takeWaiting(eventId);
    if (!session)
        return;
    session->lastUpdate = clock_.now();
    approvalEnded(eventId);
    recompute();
}

AgentSession* AgentSessionStore::takeWaiting(const QUuid& eventId) {
    for (auto& [key, session] : sessions_) {
        const auto found = std::find_if(session.waiting.begin(), session.waiting.end(),
                                        [&](const WaitingRequest& request) { return request.eventId == eventId; });
        if (found != session.waiting.end()) {
            session.waiting.erase(found);
            return &session;
        }
    }
    return nullptr;
}

const WaitingRequest* AgentSessionStore::waitingRequest(const QUuid& eventId) const {
    for (const auto& [key, session] : sessions_)
        for (const WaitingRequest& request : session.waiting)
            if (request.eventId == eventId)
                return &request;
    return nullptr;
}

std::size_t AgentSessionStore::waitingCount() const {
    std::size_t count = 0;
    for (const auto& [key, session] : sessions_)
        count += session.waiting.size();
    return count;
}

void AgentSessionStore::endRequestThatRan(const QString& key, const AgentEvent& event) {
    // The agent ran the very call it asked about: it was answered elsewhere (in its terminal) while its hook
    // still waits. Other tools finishing meanwhile say nothing about it: agents run tools side by side.
    const auto found = sessions_.find(key);
    if (found == sessions_.end() || !event.toolName || !event.command)
        return;
    std::deque<WaitingRequest>& waiting = found->second.waiting;
    const auto ran = std::find_if(waiting.begin(), waiting.end(), [&](const WaitingRequest& request) {
        return request.toolName && request.toolName->compare(*event.toolName, Qt::CaseInsensitive) == 0
               && request.command == *event.command;
    });
    if (ran == waiting.end())
        return;
    const QUuid eventId = ran->eventId;
    waiting.erase(ran);
    approvalEnded(eventId);
}

void AgentSessionStore::endAll(const std::deque<WaitingRequest>& requests) {
    for (const WaitingRequest& request : requests)
        approvalEnded(request.eventId);
}

void AgentSessionStore::approvalEnded(const QUuid& eventId) {
    if (approvalEnded_)
        approvalEnded_(eventId);
}

void AgentSessionStore::notify(AgentEventType type, const AgentEvent& event) {
    if (notify_)
        notify_(type, event);
}

void AgentSessionStore::summarize(const QString& key, const AgentEvent& event, const std::optional<QString>& detail) {
    if (hasText(event.say))
        summarizer_.summarize(key, *event.say, detail);
}

} // namespace nubbo
