#include "pet/PetViewModel.h"

#include "model/ApprovalRisk.h"
#include "model/FocusOutcomeText.h"
#include "settings/SettingsStore.h"

#include <QLatin1String>
#include <QPointer>

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

namespace nubbo {

namespace {

PetViewModel* sharedModel = nullptr;

constexpr double kBubbleSeconds = 3.0;
constexpr double kPetStreakWindow = 2.5;
constexpr double kPetReactionSeconds = 1.5;
constexpr double kLandingWiggleSeconds = 0.5;
constexpr double kBumpClearSeconds = 0.4;
// Long enough to read why going to a terminal did not work.
constexpr double kFocusLineSeconds = 5.0;

QStringList lines(std::initializer_list<const char16_t*> items) {
    QStringList list;
    for (const char16_t* item : items)
        list.append(QString::fromUtf16(item));
    return list;
}

// The log is one entry per line; a multi-line bubble is logged on one.
QString oneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

std::vector<PetState> petCandidates(PetState base) {
    switch (base) {
    case PetState::idle:
    case PetState::responding:
    case PetState::coffee:
    case PetState::relaxing:
    case PetState::walking:
        return {PetState::reactHappy, PetState::reactShy};
    case PetState::thinking:
    case PetState::compactingContext:
        return {PetState::reactShoo, PetState::reactStartled};
    case PetState::coding:
    case PetState::reading:
    case PetState::searching:
    case PetState::running:
    case PetState::browsing:
    case PetState::planning:
        return {PetState::reactShoo, PetState::reactGrumpy};
    case PetState::waitingApproval:
    case PetState::waitingInput:
    case PetState::warning:
        return {PetState::reactGrumpy, PetState::reactStartled};
    case PetState::sleeping:
    case PetState::drowsy:
        return {PetState::reactStartled, PetState::reactGrumpy};
    case PetState::success:
    case PetState::dragging:
        return {PetState::reactHappy};
    case PetState::reactStartled:
    case PetState::reactGrumpy:
    case PetState::reactShoo:
    case PetState::reactHappy:
    case PetState::reactShy:
        break;
    }
    return {};
}

} // namespace

QString rawValue(BumpDirection direction) {
    switch (direction) {
    case BumpDirection::left: return QStringLiteral("left");
    case BumpDirection::right: return QStringLiteral("right");
    case BumpDirection::top: return QStringLiteral("top");
    case BumpDirection::bottom: return QStringLiteral("bottom");
    }
    return {};
}

std::optional<BumpDirection> bumpDirectionFromRaw(QStringView raw) {
    for (BumpDirection direction : {BumpDirection::left, BumpDirection::right, BumpDirection::top,
                                    BumpDirection::bottom})
        if (raw == rawValue(direction))
            return direction;
    return std::nullopt;
}

PetViewModel::PetViewModel(SettingsStore& settings, Scheduler& scheduler, Clock& clock, Random& random,
                           LogFunction log, ApprovalResolver resolveApproval, QObject* parent)
    : QObject(parent), settings_(settings), scheduler_(scheduler), clock_(clock), random_(random),
      log_(std::move(log)), resolveApproval_(std::move(resolveApproval)) {
    connect(&settings_, &SettingsStore::effectiveLanguageChanged, this, &PetViewModel::statusTextChanged);
}

PetViewModel::~PetViewModel() {
    cancelTask(bubbleDismiss_);
    cancelTask(reactionWork_);
    cancelTask(bumpReset_);
    if (sharedModel == this)
        sharedModel = nullptr;
}

PetViewModel& PetViewModel::shared() {
    if (!sharedModel)
        qFatal("PetViewModel::shared() called before the app installed a view model");
    return *sharedModel;
}

void PetViewModel::setShared(PetViewModel* model) { sharedModel = model; }

bool PetViewModel::hasShared() { return sharedModel != nullptr; }

// --- Published state

QString PetViewModel::statusText() const { return bubbleText(state_, language()); }

QString PetViewModel::neutralStatusText() const {
    if (!activeProvider_)
        return statusText();
    return activeProvider_->displayTitle() + QStringLiteral(": ") + statusText();
}

QVariantMap PetViewModel::bubbleMap() const {
    if (!bubble_)
        return {};
    QVariantMap map;
    map.insert(QStringLiteral("text"), plainText(*bubble_));
    map.insert(QStringLiteral("sessionKey"), sessionKeyOf(*bubble_));
    if (std::holds_alternative<BubbleMessage>(*bubble_)) {
        map.insert(QStringLiteral("kind"), QStringLiteral("message"));
    } else if (const auto* narration = std::get_if<BubbleNarration>(&*bubble_)) {
        map.insert(QStringLiteral("kind"), QStringLiteral("narration"));
        map.insert(QStringLiteral("provider"), narration->provider ? narration->provider->rawValue() : QString());
        map.insert(QStringLiteral("providerTitle"),
                   narration->provider ? narration->provider->displayTitle() : QString());
        map.insert(QStringLiteral("activity"), narration->activity.value_or(QString()));
        map.insert(QStringLiteral("agentWords"), narration->agentWords);
    } else {
        const ApprovalPrompt& prompt = std::get<BubbleApproval>(*bubble_).prompt;
        map.insert(QStringLiteral("kind"), QStringLiteral("approval"));
        map.insert(QStringLiteral("id"), prompt.id.toString(QUuid::WithoutBraces));
        map.insert(QStringLiteral("eventId"), prompt.eventId.toString(QUuid::WithoutBraces));
        map.insert(QStringLiteral("provider"), prompt.provider.rawValue());
        map.insert(QStringLiteral("providerTitle"), prompt.provider.displayTitle());
        map.insert(QStringLiteral("title"), prompt.title);
        map.insert(QStringLiteral("command"), prompt.command);
        map.insert(QStringLiteral("risk"), rawValue(prompt.risk));
        map.insert(QStringLiteral("riskTitle"), title(prompt.risk, language()));
        map.insert(QStringLiteral("vetoOnly"), prompt.vetoOnly);
        map.insert(QStringLiteral("waitingCount"), prompt.waitingCount);
    }
    return map;
}

void PetViewModel::setFacing(double facing) {
    facing_ = facing;
    Q_EMIT facingChanged();
}

void PetViewModel::openSettings() {
    if (openSettingsHandler_)
        openSettingsHandler_();
}

void PetViewModel::goToSession() {
    if (bubble_ && bubbleVisible_ && !sessionKeyOf(*bubble_).isEmpty())
        goToSession(sessionKeyOf(*bubble_));
}

void PetViewModel::goToSession(const QString& key) {
    if (!goToSessionHandler_ || key.isEmpty())
        return;
    QPointer<PetViewModel> self(this);
    goToSessionHandler_(key, [self, key](FocusOutcome outcome) {
        if (self)
            self->showFocusOutcome(outcome, key);
    });
}

void PetViewModel::showFocusOutcome(FocusOutcome outcome, const QString& key) {
    // The store's key is "<provider>:<session id>".
    const QString agent = AgentProvider(key.section(QLatin1Char(':'), 0, 0)).displayTitle();
    const QString line = focusOutcomeLine(outcome, agent, language());
    if (line.isEmpty())
        return;
    const std::optional<PetBubbleKind> before = bubbleVisible_ && isPersistentState() ? bubble_ : std::nullopt;
    const PetBubbleKind shown = BubbleMessage{line};
    showBubble(shown, true);
    QPointer<PetViewModel> self(this);
    bubbleDismiss_ = scheduler_.schedule(kFocusLineSeconds, [self, shown, before] {
        if (!self)
            return;
        self->bubbleDismiss_.reset();
        if (self->bubble_ != shown)
            return;  // the agents have spoken meanwhile
        if (before)
            self->assignBubble(before);
        else
            self->assignBubbleVisible(false);
    });
}

// --- Operations

void PetViewModel::render(PetState state, const std::optional<PetBubbleKind>& bubble, bool persistent,
                          const std::optional<AgentProvider>& provider) {
    if (reactionActive_) {
        if (!persistent) {
            pendingRender_ = PendingRender{state, bubble, false, provider};
            return;
        }
        cancelReaction();
    }
    if (state_ == PetState::dragging) {
        // Even a persistent render waits: the user holds the pet.
        pendingRender_ = PendingRender{state, bubble, persistent, provider};
        return;
    }
    assignActiveProvider(provider);
    if (setState(state))
        log_(QStringLiteral("state ") + rawValue(state));
    if (bubble) {
        showBubble(*bubble, persistent);
    } else {
        cancelDismiss();
        assignBubbleVisible(false);
    }
}

bool PetViewModel::setState(PetState newState) {
    if (paused() && newState != PetState::sleeping && newState != PetState::dragging)
        return false;
    assignState(newState);
    return true;
}

void PetViewModel::showBubble(const PetBubbleKind& kind, bool persistent) {
    assignBubble(kind);
    assignBubbleVisible(true);
    log_(QStringLiteral("bubble ") + oneLine(plainText(kind)));
    if (persistent)
        cancelDismiss();
    else
        scheduleDismiss(kBubbleSeconds);
}

void PetViewModel::scheduleDismiss(double seconds) {
    cancelTask(bubbleDismiss_);
    QPointer<PetViewModel> self(this);
    bubbleDismiss_ = scheduler_.schedule(seconds, [self] {
        if (!self)
            return;
        self->bubbleDismiss_.reset();
        self->assignBubbleVisible(false);
    });
}

void PetViewModel::toggleBubble() {
    if (bubbleVisible_) {
        hideBubble();
        return;
    }
    const PetBubbleKind kind = bubble_ ? *bubble_ : PetBubbleKind(BubbleMessage{neutralStatusText()});
    showBubble(kind, isPersistentState());
}

void PetViewModel::petReaction() {
    const PetState base = isReaction(state_) ? restoreAfterReaction_ : state_;
    const double now = clock_.now();
    if (lastPetAt_ && now - *lastPetAt_ < kPetStreakWindow)
        ++petStreak_;
    else
        petStreak_ = 1;
    lastPetAt_ = now;

    const std::vector<PetState> candidates = petCandidates(base);
    PetState choice = PetState::reactHappy;
    const bool happyAvailable =
        std::find(candidates.begin(), candidates.end(), PetState::reactHappy) != candidates.end();
    if (!(petStreak_ >= 3 && happyAvailable) && !candidates.empty())
        choice = candidates[static_cast<std::size_t>(random_.uniformInt(0, int(candidates.size()) - 1))];

    playReaction(choice, reactionLine(choice, petStreak_), kPetReactionSeconds);
}

void PetViewModel::playReaction(PetState reaction, const std::optional<QString>& line, double duration) {
    if (!isReaction(state_))
        restoreAfterReaction_ = state_;
    reactionActive_ = true;
    assignState(reaction); // reactions play through the pause switch
    log_(QStringLiteral("state ") + rawValue(reaction) + QStringLiteral(" (reaction)"));
    if (line) {
        showBubble(BubbleMessage{*line}, false);
    } else {
        cancelDismiss();
        assignBubbleVisible(false);
    }
    cancelTask(reactionWork_);
    QPointer<PetViewModel> self(this);
    reactionWork_ = scheduler_.schedule(duration, [self] {
        if (!self)
            return;
        self->reactionWork_.reset();
        self->endReaction();
    });
}

void PetViewModel::cancelReaction() {
    cancelTask(reactionWork_);
    reactionActive_ = false;
}

void PetViewModel::endReaction() {
    reactionActive_ = false;
    cancelTask(reactionWork_);
    if (pendingRender_) {
        const PendingRender pending = std::move(*pendingRender_);
        pendingRender_.reset();
        render(pending.state, pending.bubble, pending.persistent, pending.provider);
        return;
    }
    assignState(paused() ? PetState::sleeping : restoreAfterReaction_);
    cancelDismiss();
    assignBubbleVisible(false);
}

QString PetViewModel::reactionLine(PetState reaction, int streak) {
    switch (reaction) {
    case PetState::reactStartled:
        return pick(lines({u"!", u"Whoa!", u"You startled me!"}), lines({u"！", u"哇！", u"吓我一跳！"}));
    case PetState::reactGrumpy:
        return pick(lines({u"Don't bug me…", u"Go away", u"Hmph!"}), lines({u"别吵我…", u"走开啦", u"哼！"}));
    case PetState::reactShoo:
        return pick(lines({u"I'm busy!", u"Leave me be~", u"Shoo, shoo"}),
                    lines({u"我在忙！", u"别烦我～", u"走开走开"}));
    case PetState::reactShy:
        return pick(lines({u"Oh my…", u"Stop it~", u"So shy…"}), lines({u"哎呀…", u"别这样啦～", u"羞羞…"}));
    case PetState::reactHappy:
        if (streak >= 5)
            return pick(lines({u"I love you most! ❤", u"Hehehe~", u"So happy~"}),
                        lines({u"最喜欢你了！❤", u"嘿嘿嘿～", u"好幸福～"}));
        if (streak >= 3)
            return pick(lines({u"More pets~", u"So happy!", u"Feels nice~"}),
                        lines({u"再多摸摸～", u"好开心！", u"舒服～"}));
        return pick(lines({u"Hehe~", u"Pet me more~", u"So happy!"}), lines({u"嘿嘿～", u"再摸摸～", u"好开心！"}));
    default:
        return bubbleText(reaction, language());
    }
}

QString PetViewModel::pick(const QStringList& en, const QStringList& zh) {
    const QStringList& list = language() == Language::zh ? zh : en;
    if (list.isEmpty())
        return statusText();
    return list.at(random_.uniformInt(0, int(list.size()) - 1));
}

void PetViewModel::bump(BumpDirection direction) {
    assignBumpDirection(direction);
    ++bumpTrigger_;
    Q_EMIT bumpTriggerChanged();
    // One reset pending at a time: the cue lasts the full time after the latest bump, whatever its edge.
    cancelTask(bumpReset_);
    QPointer<PetViewModel> self(this);
    bumpReset_ = scheduler_.schedule(kBumpClearSeconds, [self] {
        if (!self)
            return;
        self->bumpReset_.reset();
        self->assignBumpDirection(std::nullopt);
    });
}

void PetViewModel::beginDragging() {
    if (state_ != PetState::dragging)
        restoreAfterDrag_ = isReaction(state_) ? restoreAfterReaction_ : state_;
    cancelReaction();
    assignState(PetState::dragging);
    showBubble(BubbleMessage{pick(lines({u"Yikes!", u"Whoa——", u"Put me down~", u"Hehe, I'm flying"}),
                                  lines({u"哎呀！", u"哇——", u"放我下来啦～", u"嘿嘿，飞起来啦"}))},
               false);
}

void PetViewModel::endDragging() {
    if (state_ == PetState::dragging)
        assignState(paused() ? PetState::sleeping : restoreAfterDrag_);
    if (pendingRender_) {
        const PendingRender pending = std::move(*pendingRender_);
        pendingRender_.reset();
        render(pending.state, pending.bubble, pending.persistent, pending.provider);
        return;
    }
    if (!paused())
        playReaction(PetState::reactHappy, std::nullopt, kLandingWiggleSeconds);
}

void PetViewModel::logVerdict(bool allow, const char* way) const {
    log_(QStringLiteral("approval %1 %2").arg(allow ? u"allow" : u"deny", QLatin1String(way)));
}

bool PetViewModel::answerCard(const QString& eventId, const QString& answer) {
    const auto parsed = approvalAnswerFromRaw(answer);
    return parsed && answerCard(QUuid::fromString(eventId), *parsed);
}

bool PetViewModel::answerCard(const QUuid& eventId, ApprovalAnswer answer) {
    const ApprovalPrompt* held = heldPrompt();
    // A card that has gone, been replaced or only just arrived answers nothing: the click was meant for
    // something else.
    if (!held || held->eventId != eventId || !bubbleVisible_ || !cardArming_.armed(eventId, clock_.now()))
        return false;
    return answerApproval(eventId, answer, "on the card");
}

void PetViewModel::cardAtRest(const QString& promptId) {
    const ApprovalPrompt* held = heldPrompt();
    if (!held || !bubbleVisible_ || held->id != QUuid::fromString(promptId))
        return;
    cardArming_.clear();
    cardArming_.shown(held->eventId, clock_.now());
}

bool PetViewModel::answerApproval(const QUuid& eventId, ApprovalAnswer answer, const char* way) {
    const bool allow = answer != ApprovalAnswer::deny;
    // The resolver re-renders the pet and may put the next request's card in the bubble.
    const bool answered = resolveApproval_ && resolveApproval_(eventId, allow);
    if (!answered)
        return false;
    logVerdict(allow, way);
    if (answer == ApprovalAnswer::allowAll)
        settings_.setApprovalMode(ApprovalMode::allowAll);
    afterAnswer(eventId);
    return true;
}

void PetViewModel::afterAnswer(const QUuid& answered) {
    const auto held = heldApprovalEventId();
    if (held && *held != answered && bubbleVisible_)
        return;  // the next request's card, which arms afresh once it has come to rest
    hideBubble();
}

// --- Helpers

Language PetViewModel::language() const { return settings_.effectiveLanguage(); }

bool PetViewModel::paused() const { return settings_.pauseNubbo(); }

void PetViewModel::assignState(PetState state) {
    state_ = state;
    Q_EMIT stateChanged();
    Q_EMIT statusTextChanged();
}

void PetViewModel::assignBubbleVisible(bool visible) {
    // A card shown again slides in again, and arms again once at rest.
    if (!visible)
        cardArming_.clear();
    bubbleVisible_ = visible;
    Q_EMIT bubbleVisibleChanged();
}

void PetViewModel::assignBubble(const std::optional<PetBubbleKind>& bubble) {
    const ApprovalPrompt* before = heldPrompt();
    const auto* after = bubble ? std::get_if<BubbleApproval>(&*bubble) : nullptr;
    // Another card is drawn in place of the old one: its buttons wait until it has come to rest.
    if (before && (!after || after->prompt.id != before->id))
        cardArming_.clear();
    bubble_ = bubble;
    Q_EMIT bubbleChanged();
}

void PetViewModel::assignActiveProvider(const std::optional<AgentProvider>& provider) {
    activeProvider_ = provider;
    Q_EMIT activeProviderChanged();
    Q_EMIT statusTextChanged();
}

void PetViewModel::assignBumpDirection(std::optional<BumpDirection> direction) {
    bumpDirection_ = direction;
    Q_EMIT bumpDirectionChanged();
}

void PetViewModel::cancelDismiss() { cancelTask(bubbleDismiss_); }

void PetViewModel::hideBubble() {
    assignBubbleVisible(false);
    cancelDismiss();
}

const ApprovalPrompt* PetViewModel::heldPrompt() const {
    if (!bubble_)
        return nullptr;
    if (const auto* approval = std::get_if<BubbleApproval>(&*bubble_))
        return &approval->prompt;
    return nullptr;
}

std::optional<QUuid> PetViewModel::heldApprovalEventId() const {
    if (const ApprovalPrompt* prompt = heldPrompt())
        return prompt->eventId;
    return std::nullopt;
}

void PetViewModel::cancelTask(std::optional<TaskId>& task) {
    if (task)
        scheduler_.cancel(*task);
    task.reset();
}

} // namespace nubbo
