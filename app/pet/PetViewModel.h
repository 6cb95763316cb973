// What the pet shows right now: pose, bubble, the agent it speaks for, facing and the bump cue. The session
// store drives it through render(); the user's drags, pettings and card answers drive it through the rest.
// Its job is arbitration: an agent update must not trample a drag or a reaction the user just provoked, and
// a reaction must not wipe out a state the agents set meanwhile.
#pragma once

#include "model/AgentEvent.h"
#include "model/FocusOutcome.h"
#include "approvals/AnswerArming.h"
#include "approvals/ApprovalAnswer.h"
#include "platform/Clock.h"
#include "model/PetBubbleKind.h"
#include "model/PetRenderer.h"
#include "model/PetState.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace nubbo {

class SettingsStore;

// The screen edge the pet was thrown against. Raw values are the case names.
enum class BumpDirection { left, right, top, bottom };

QString rawValue(BumpDirection direction);
std::optional<BumpDirection> bumpDirectionFromRaw(QStringView raw);

// Main thread only. Delayed work (bubble auto-hide, reaction end, bump reset) goes through the Scheduler,
// which must outlive the view model.
//
// Every published property notifies on every assignment, also of an equal value: the views restart
// animations on it.
class PetViewModel : public QObject, public PetRenderer {
    Q_OBJECT
    // The pose as its raw value.
    Q_PROPERTY(QString state READ stateRaw NOTIFY stateChanged)
    // The state's own status line, its activity symbol ("" for none) and whether its bubble stays.
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
    Q_PROPERTY(QString neutralStatusText READ neutralStatusText NOTIFY statusTextChanged)
    Q_PROPERTY(QString activityIcon READ activityIconName NOTIFY stateChanged)
    Q_PROPERTY(bool persistentState READ isPersistentState NOTIFY stateChanged)
    Q_PROPERTY(bool bubbleVisible READ bubbleVisible NOTIFY bubbleVisibleChanged)
    // Empty when there is no bubble; otherwise "kind" ("message", "narration", "approval"), "text" (the
    // one-line form) and the kind's fields: narration "provider", "providerTitle", "activity", "agentWords";
    // approval "id", "eventId", "provider", "providerTitle", "title", "command", "risk", "riskTitle",
    // "vetoOnly", "waitingCount" (requests waiting in all, this one included). Every kind: "sessionKey", the
    // session it speaks for ("" for the pet's own words), whose title line goToSession() follows.

    Q_PROPERTY(QVariantMap bubble READ bubbleMap NOTIFY bubbleChanged)
    // Raw provider id, "" for none.
    Q_PROPERTY(QString activeProvider READ activeProviderRaw NOTIFY activeProviderChanged)
    Q_PROPERTY(QString activeProviderTitle READ activeProviderTitle NOTIFY activeProviderChanged)
    Q_PROPERTY(double facing READ facing WRITE setFacing NOTIFY facingChanged)
    Q_PROPERTY(int bumpTrigger READ bumpTrigger NOTIFY bumpTriggerChanged)
    // Raw edge of the last bump, "" once it has been cleared.
    Q_PROPERTY(QString bumpDirection READ bumpDirectionRaw NOTIFY bumpDirectionChanged)

public:
    using LogFunction = std::function<void(const QString& line)>;
    // Forwards the user's verdict on a parked permission request (the app wires it to the bus and the
    // session store); whether the request still waited and so got the verdict.
    using ApprovalResolver = std::function<bool(const QUuid& eventId, bool allow)>;
    // Goes to a session's terminal by the store's key and tells what became of it (the app wires it to the
    // session navigator, which answers on this thread).
    using GoToSession = std::function<void(const QString& key, std::function<void(FocusOutcome)> done)>;

    // The settings store gives the pause switch, the language and the approval mode.
    PetViewModel(SettingsStore& settings, Scheduler& scheduler, Clock& clock, Random& random, LogFunction log,
                 ApprovalResolver resolveApproval, QObject* parent = nullptr);
    ~PetViewModel() override;

    // The instance the app's start-up installed; aborts when there is none.
    static PetViewModel& shared();
    // The start-up keeps ownership; pass nullptr to uninstall.
    static void setShared(PetViewModel* model);
    static bool hasShared();

    // --- Published state
    PetState state() const { return state_; }
    QString stateRaw() const { return rawValue(state_); }
    QString statusText() const;
    // "<provider title>: <status line>", or the status line alone when no agent owns the state.
    QString neutralStatusText() const;
    QString activityIconName() const { return activityIcon(state_).value_or(QString()); }
    bool isPersistentState() const { return nubbo::isPersistentState(state_); }
    bool bubbleVisible() const { return bubbleVisible_; }
    // Kept when the bubble is hidden, so it can be shown again.
    const std::optional<PetBubbleKind>& bubble() const { return bubble_; }
    QVariantMap bubbleMap() const;
    const std::optional<AgentProvider>& activeProvider() const { return activeProvider_; }
    QString activeProviderRaw() const { return activeProvider_ ? activeProvider_->rawValue() : QString(); }
    QString activeProviderTitle() const { return activeProvider_ ? activeProvider_->displayTitle() : QString(); }
    double facing() const override { return facing_; }
    void setFacing(double facing) override;
    int bumpTrigger() const { return bumpTrigger_; }
    std::optional<BumpDirection> bumpDirection() const { return bumpDirection_; }
    QString bumpDirectionRaw() const { return bumpDirection_ ? rawValue(*bumpDirection_) : QString(); }

    // --- Arbitration state, read by the interaction layer and tests
    bool reactionActive() const { return reactionActive_; }
    PetState restoreAfterReaction() const { return restoreAfterReaction_; }
    PetState restoreAfterDrag() const { return restoreAfterDrag_; }
    bool hasPendingRender() const { return pendingRender_.has_value(); }
    int petStreak() const { return petStreak_; }
    // Time of the last hover reaction, kept here for the hover logic; nothing before the first.
    std::optional<double> lastNoticeAt() const { return lastNoticeAt_; }
    void setLastNoticeAt(double seconds) { lastNoticeAt_ = seconds; }

    // Opens the settings window; installed by the application shell.
    void setOpenSettingsHandler(std::function<void()> handler) { openSettingsHandler_ = std::move(handler); }
    Q_INVOKABLE void openSettings();

    void setGoToSessionHandler(GoToSession handler) { goToSessionHandler_ = std::move(handler); }
    // A click on the shown bubble's or card's title line: goes to the session it speaks for; nothing for
    // the pet's own words or a hidden bubble.
    Q_INVOKABLE void goToSession();
    // Every other way in (a quick-panel row, a notification): goes to that session, and when that does not
    // work the bubble says why in one line.
    void goToSession(const QString& key);
    // The bubble's one line for an outcome that is not focused; a card or waiting line it stands in front
    // of comes back once the line has been read.
    void showFocusOutcome(FocusOutcome outcome, const QString& key);

    // --- Operations
    // The session store's one entry point. Held back (latest wins) during a drag, and during a reaction
    // unless persistent; a persistent render ends a reaction at once.
    void render(PetState state, const std::optional<PetBubbleKind>& bubble, bool persistent,
                const std::optional<AgentProvider>& provider) override;
    // Sets the state unless the pause switch holds it (only sleeping and dragging pass); returns whether set.
    bool setState(PetState newState);
    // Shows the bubble; a non-persistent one hides itself after 3 s.
    void showBubble(const PetBubbleKind& kind, bool persistent);
    // Hides the bubble after the delay; replaces any earlier auto-hide.
    void scheduleDismiss(double seconds);
    // Single click: show the held bubble (or the status line), or hide the shown one.
    Q_INVOKABLE void toggleBubble();
    // Double click: a reaction chosen by the pre-reaction state, happier as the petting streak grows.
    Q_INVOKABLE void petReaction();
    void playReaction(PetState reaction, const std::optional<QString>& line, double duration);
    // Stops the reaction timer without restoring the state.
    void cancelReaction();
    // Replays the held-back render, else restores the pre-reaction state (sleeping when paused).
    void endReaction();
    // A random line for the reaction at this streak; a non-reaction state gives its status line.
    QString reactionLine(PetState reaction, int streak);
    // A random element of the list for the effective language; the status line when that list is empty.
    QString pick(const QStringList& en, const QStringList& zh);
    void bump(BumpDirection direction);
    Q_INVOKABLE void beginDragging();
    Q_INVOKABLE void endDragging();
    // The card's buttons: answers the request the card was drawn for (eventId, in text form) with "deny",
    // "allow" or "allowAll" — only while that request's card is the one held and shown, and only once it
    // has been at rest on screen for AnswerArming::kSeconds. Anything else answers nothing (false).
    Q_INVOKABLE bool answerCard(const QString& eventId, const QString& answer);
    bool answerCard(const QUuid& eventId, ApprovalAnswer answer);
    // The card drawn for this prompt id has come to rest on screen: its buttons count from now.
    Q_INVOKABLE void cardAtRest(const QString& promptId);
    // An answer given away from the card (a notification's buttons, a quick-panel row) to a request that
    // still waits: the same verdict path as the card's. Allow All also switches the approval mode, as on the
    // card. When the held card is that request, the card goes as after its own buttons (the next waiting
    // request's card comes in its place); otherwise the card shown for another request stays. Whether the
    // request still waited.
    bool answerApproval(const QUuid& eventId, ApprovalAnswer answer, const char* way);

Q_SIGNALS:
    void stateChanged();
    void statusTextChanged();
    void bubbleVisibleChanged();
    void bubbleChanged();
    void activeProviderChanged();
    void facingChanged();
    void bumpTriggerChanged();
    void bumpDirectionChanged();

private:
    // One log line per verdict with the way it came, so an answer nobody remembers giving can be traced.
    void logVerdict(bool allow, const char* way) const;
    // After an answer: the bubble goes, unless the store put the next waiting request's card there.
    void afterAnswer(const QUuid& answered);
    struct PendingRender {
        PetState state;
        std::optional<PetBubbleKind> bubble;
        bool persistent;
        std::optional<AgentProvider> provider;
    };

    Language language() const;
    bool paused() const;
    void assignState(PetState state);
    void assignBubbleVisible(bool visible);
    void assignBubble(const std::optional<PetBubbleKind>& bubble);
    void assignActiveProvider(const std::optional<AgentProvider>& provider);
    void assignBumpDirection(std::optional<BumpDirection> direction);
    void cancelDismiss();
    void hideBubble();
    // The held card, when the held bubble is a card.
    const ApprovalPrompt* heldPrompt() const;
    std::optional<QUuid> heldApprovalEventId() const;
    void cancelTask(std::optional<TaskId>& task);

    SettingsStore& settings_;
    Scheduler& scheduler_;
    Clock& clock_;
    Random& random_;
    LogFunction log_;
    ApprovalResolver resolveApproval_;
    std::function<void()> openSettingsHandler_;
    GoToSession goToSessionHandler_;

    PetState state_ = PetState::idle;
    bool bubbleVisible_ = false;
    std::optional<PetBubbleKind> bubble_;
    std::optional<AgentProvider> activeProvider_;
    double facing_ = 1.0;
    int bumpTrigger_ = 0;
    std::optional<BumpDirection> bumpDirection_;

    PetState restoreAfterDrag_ = PetState::idle;
    std::optional<TaskId> bubbleDismiss_;
    bool reactionActive_ = false;
    std::optional<TaskId> reactionWork_;
    PetState restoreAfterReaction_ = PetState::idle;
    std::optional<TaskId> bumpReset_;
    int petStreak_ = 0;
    std::optional<double> lastPetAt_;
    std::optional<double> lastNoticeAt_;
    std::optional<PendingRender> pendingRender_;
    // The shown card's buttons: armed once it has rested on screen for a moment.
    AnswerArming cardArming_;
};

} // namespace nubbo
