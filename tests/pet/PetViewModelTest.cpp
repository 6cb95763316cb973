// The view model's arbitration between agent renders, drags and reactions, its timers on the manual
// scheduler, petting streaks, the approval answers and the log lines an end-to-end run reads back.
#include "pet/PetViewModel.h"

#include "platform/JsonPreferencesDomain.h"
#include "ManualTime.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <set>
#include <vector>

static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace nubbo {
namespace {

const AgentProvider claude{QStringLiteral("claude")};

QStringList fromUtf16(std::initializer_list<const char16_t*> items) {
    QStringList list;
    for (const char16_t* item : items)
        list.append(QString::fromUtf16(item));
    return list;
}

BubbleMessage message(const char* text) { return BubbleMessage{QString::fromUtf8(text)}; }

ApprovalPrompt prompt(const QString& command) {
    ApprovalPrompt p;
    p.id = QUuid::createUuid();
    p.eventId = QUuid::createUuid();
    p.provider = claude;
    p.title = QStringLiteral("Agent wants to continue");
    p.command = command;
    p.risk = ApprovalRisk::risky;
    return p;
}

struct Verdict {
    QUuid eventId;
    bool allow;
    bool operator==(const Verdict&) const = default;
};

class PetViewModelTest : public ::testing::Test {
protected:
    PetViewModelTest() { rebuild(1); }

    void rebuild(std::uint32_t seed) {
        model.reset();
        random = std::make_unique<fakes::SeededRandom>(seed);
        model = std::make_unique<PetViewModel>(
            settings, scheduler, clock, *random, [this](const QString& line) { log.append(line); },
            [this](const QUuid& id, bool allow) {
                verdicts.push_back({id, allow});
                if (onVerdict) onVerdict();
                return true;
            });
        log.clear();
    }

    // Log lines with the given prefix, in order.
    QStringList logged(const QString& prefix) const {
        QStringList out;
        for (const QString& line : log)
            if (line.startsWith(prefix)) out.append(line);
        return out;
    }

    QTemporaryDir dir;
    JsonPreferencesDomain preferences{dir.filePath(QStringLiteral("preferences.json"))};
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{QStringLiteral("en-US")}; }};
    fakes::ManualClock clock;
    fakes::ManualScheduler scheduler{clock};
    std::unique_ptr<fakes::SeededRandom> random;
    QStringList log;
    std::vector<Verdict> verdicts;
    std::function<void()> onVerdict;
    std::unique_ptr<PetViewModel> model;
};

TEST_F(PetViewModelTest, RenderAppliesAndLogsExactLines) {
    model->render(PetState::thinking, message("Reading main.cpp"), false, claude);
    EXPECT_EQ(model->state(), PetState::thinking);
    EXPECT_EQ(model->activeProviderRaw(), QStringLiteral("claude"));
    EXPECT_TRUE(model->bubbleVisible());
    EXPECT_EQ(log, (QStringList{"state thinking", "bubble Reading main.cpp"}));

    log.clear();
    const ApprovalPrompt card = prompt(QStringLiteral("rm -rf build"));
    model->render(PetState::waitingApproval, BubbleApproval{card}, true, claude);
    model->render(PetState::compactingContext, BubbleNarration{claude, QStringLiteral("Compacting"),
                                                               QStringLiteral("Tidying up\nthe context")},
                  false, std::nullopt);
    model->render(PetState::idle, std::nullopt, false, std::nullopt);
    EXPECT_EQ(log, (QStringList{"state waitingApproval", "bubble Agent wants to continue: rm -rf build",
                                "state compactingContext", "bubble Tidying up the context", "state idle"}));
    // No bubble: hidden, content kept, provider cleared.
    EXPECT_FALSE(model->bubbleVisible());
    ASSERT_TRUE(model->bubble());
    EXPECT_TRUE(std::holds_alternative<BubbleNarration>(*model->bubble()));
    EXPECT_EQ(model->activeProvider(), std::nullopt);
    EXPECT_EQ(scheduler.pending(), 0u);
}

TEST_F(PetViewModelTest, BubbleAutoHideTiming) {
    model->render(PetState::thinking, message("one"), false, claude);
    scheduler.advance(2.0);
    // A newer bubble restarts the three seconds.
    model->render(PetState::coding, message("two"), false, claude);
    scheduler.advance(2.9);
    EXPECT_TRUE(model->bubbleVisible());
    scheduler.advance(0.1);
    EXPECT_FALSE(model->bubbleVisible());
    EXPECT_EQ(model->bubbleMap().value("text").toString(), QStringLiteral("two"));

    // A persistent bubble cancels a pending auto-hide and stays.
    model->render(PetState::thinking, message("three"), false, claude);
    scheduler.advance(1.0);
    model->render(PetState::waitingInput, message("Which file?"), true, claude);
    scheduler.advance(60);
    EXPECT_TRUE(model->bubbleVisible());

    // scheduleDismiss replaces the earlier timer.
    model->scheduleDismiss(5);
    model->scheduleDismiss(1);
    EXPECT_EQ(scheduler.pending(), 1u);
    scheduler.advance(1);
    EXPECT_FALSE(model->bubbleVisible());
}

TEST_F(PetViewModelTest, RendersDuringADragWaitForTheReleaseAndTheLastOneWins) {
    model->render(PetState::coding, std::nullopt, false, claude);
    model->beginDragging();
    EXPECT_EQ(model->state(), PetState::dragging);
    EXPECT_TRUE(model->bubbleVisible()); // a drag line
    log.clear();

    model->render(PetState::thinking, message("first"), false, claude);
    model->render(PetState::waitingApproval, message("second"), true, AgentProvider(QStringLiteral("codex")));
    EXPECT_EQ(model->state(), PetState::dragging);
    EXPECT_EQ(model->activeProviderRaw(), QStringLiteral("claude"));
    EXPECT_TRUE(log.isEmpty());

    model->endDragging();
    EXPECT_EQ(model->state(), PetState::waitingApproval);
    EXPECT_EQ(model->activeProviderRaw(), QStringLiteral("codex"));
    EXPECT_FALSE(model->reactionActive()); // no landing wiggle
    EXPECT_FALSE(model->hasPendingRender());
    EXPECT_EQ(log, (QStringList{"state waitingApproval", "bubble second"}));
    scheduler.advance(10);
    EXPECT_TRUE(model->bubbleVisible()); // replayed with its own persistent flag
}

TEST_F(PetViewModelTest, ReleaseWithoutRendersWigglesAndReturns) {
    model->render(PetState::reading, std::nullopt, false, claude);
    model->beginDragging();
    model->endDragging();
    EXPECT_EQ(model->state(), PetState::reactHappy);
    EXPECT_FALSE(model->bubbleVisible()); // the wiggle has no line
    scheduler.advance(0.5);
    EXPECT_EQ(model->state(), PetState::reading);
    EXPECT_FALSE(model->reactionActive());
}

TEST_F(PetViewModelTest, DragDuringAReactionReturnsToThePreReactionState) {
    model->render(PetState::coding, std::nullopt, false, claude);
    model->petReaction();
    ASSERT_TRUE(isReaction(model->state()));
    model->beginDragging();
    EXPECT_FALSE(model->reactionActive());
    EXPECT_EQ(model->restoreAfterDrag(), PetState::coding);
    scheduler.advance(5); // the cancelled reaction end must not fire
    EXPECT_EQ(model->state(), PetState::dragging);
}

TEST_F(PetViewModelTest, ReactionHoldsOrdinaryRendersAndYieldsToPersistentOnes) {
    model->petReaction();
    ASSERT_TRUE(model->reactionActive());
    const PetState reaction = model->state();

    model->render(PetState::thinking, message("held 1"), false, claude);
    model->render(PetState::coding, message("held 2"), false, claude);
    EXPECT_EQ(model->state(), reaction);
    scheduler.advance(1.5);
    EXPECT_FALSE(model->reactionActive());
    EXPECT_EQ(model->state(), PetState::coding);
    EXPECT_EQ(model->bubbleMap().value("text").toString(), QStringLiteral("held 2"));

    // A persistent render breaks the next reaction at once; its end never restores the old pose.
    model->petReaction();
    model->render(PetState::thinking, message("held"), false, claude);
    model->render(PetState::warning, message("Careful"), true, claude);
    EXPECT_EQ(model->state(), PetState::warning);
    EXPECT_FALSE(model->reactionActive());
    scheduler.advance(10);
    EXPECT_EQ(model->state(), PetState::warning);
    EXPECT_TRUE(model->bubbleVisible());
    EXPECT_EQ(model->bubbleMap().value("text").toString(), QStringLiteral("Careful"));
}

TEST_F(PetViewModelTest, ReactionWithoutRendersRestoresAndHidesItsLine) {
    model->render(PetState::waitingInput, std::nullopt, true, claude);
    model->petReaction();
    EXPECT_TRUE(model->bubbleVisible());
    EXPECT_EQ(logged("state "), QStringList({"state waitingInput", "state " + model->stateRaw() + " (reaction)"}));
    scheduler.advance(1.5);
    EXPECT_EQ(model->state(), PetState::waitingInput);
    EXPECT_FALSE(model->bubbleVisible());
    EXPECT_EQ(scheduler.pending(), 0u);
}

TEST_F(PetViewModelTest, PettingStreakLines) {
    const QStringList low = fromUtf16({u"Hehe~", u"Pet me more~", u"So happy!"});
    const QStringList mid = fromUtf16({u"More pets~", u"So happy!", u"Feels nice~"});
    const QStringList high = fromUtf16({u"I love you most! ❤", u"Hehehe~", u"So happy~"});
    const QStringList shy = fromUtf16({u"Oh my…", u"Stop it~", u"So shy…"});
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE(seed);
        rebuild(seed);
        clock.set(1000);
        struct Step {
            double at;
            int streak;
            const QStringList* happyLines; // nullptr: happy or shy
        };
        const Step steps[] = {
            {1000.0, 1, nullptr}, {1002.4, 2, nullptr}, {1004.0, 3, &mid}, {1005.0, 4, &mid},
            {1006.0, 5, &high},   {1007.0, 6, &high},   {1009.5, 1, nullptr},
        };
        for (const Step& step : steps) {
            scheduler.advance(step.at - clock.now());
            model->petReaction();
            EXPECT_EQ(model->petStreak(), step.streak) << step.at;
            const QString line = model->bubbleMap().value("text").toString();
            if (step.happyLines) {
                EXPECT_EQ(model->state(), PetState::reactHappy) << step.at;
                EXPECT_TRUE(step.happyLines->contains(line)) << line.toStdString();
            } else if (model->state() == PetState::reactHappy) {
                EXPECT_TRUE(low.contains(line)) << line.toStdString();
            } else {
                EXPECT_EQ(model->state(), PetState::reactShy);
                EXPECT_TRUE(shy.contains(line)) << line.toStdString();
            }
        }
        scheduler.advance(1.5);
        EXPECT_EQ(model->state(), PetState::idle);
    }
}

TEST_F(PetViewModelTest, PettingDuringAReactionUsesThePreReactionState) {
    std::set<PetState> seen;
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        rebuild(seed);
        model->render(PetState::coding, std::nullopt, false, claude);
        for (int i = 0; i < 4; ++i) { // a streak of 3 or more still cannot pick happy here
            model->petReaction();
            seen.insert(model->state());
            scheduler.advance(0.5);
        }
        EXPECT_EQ(model->petStreak(), 4);
        EXPECT_EQ(model->restoreAfterReaction(), PetState::coding);
        scheduler.advance(1.5);
        EXPECT_EQ(model->state(), PetState::coding);
    }
    EXPECT_EQ(seen, (std::set{PetState::reactShoo, PetState::reactGrumpy}));
}

TEST_F(PetViewModelTest, PauseConfinesAgentStatesButNotReactions) {
    // Switched on during a reaction: its end goes to sleep.
    model->render(PetState::coding, std::nullopt, false, claude);
    model->petReaction();
    settings.setPauseNubbo(true);
    scheduler.advance(1.5);
    EXPECT_EQ(model->state(), PetState::sleeping);
    model->setState(PetState::idle); // not while paused: stays asleep
    EXPECT_EQ(model->state(), PetState::sleeping);
    settings.setPauseNubbo(false);
    model->setState(PetState::idle);
    settings.setPauseNubbo(true);
    log.clear();

    model->render(PetState::thinking, message("Thinking hard"), false, claude);
    EXPECT_EQ(model->state(), PetState::idle);
    EXPECT_EQ(model->activeProviderRaw(), QStringLiteral("claude"));
    EXPECT_TRUE(model->bubbleVisible());
    EXPECT_EQ(log, QStringList{"bubble Thinking hard"});
    EXPECT_FALSE(model->setState(PetState::coding));
    EXPECT_TRUE(model->setState(PetState::sleeping));

    model->petReaction();
    EXPECT_TRUE(isReaction(model->state()));
    scheduler.advance(1.5);
    EXPECT_EQ(model->state(), PetState::sleeping);

    model->render(PetState::idle, std::nullopt, false, std::nullopt);
    model->beginDragging();
    EXPECT_EQ(model->state(), PetState::dragging);
    model->endDragging();
    EXPECT_EQ(model->state(), PetState::sleeping);
    EXPECT_FALSE(model->reactionActive()); // no wiggle while paused
}

TEST_F(PetViewModelTest, ToggleBubble) {
    // Nothing shown yet, in a persistent state: the neutral status line, and it stays.
    model->render(PetState::waitingInput, std::nullopt, true, claude);
    model->toggleBubble();
    EXPECT_TRUE(model->bubbleVisible());
    const QString expected = claude.displayTitle() + QStringLiteral(": Waiting for your input.");
    EXPECT_EQ(model->bubbleMap().value("text").toString(), expected);
    EXPECT_EQ(log.last(), "bubble " + expected);
    scheduler.advance(30);
    EXPECT_TRUE(model->bubbleVisible());
    model->toggleBubble();
    EXPECT_FALSE(model->bubbleVisible());

    // A held bubble is shown again; outside a persistent state it hides itself.
    model->render(PetState::coding, message("npm test"), false, std::nullopt);
    scheduler.advance(3);
    EXPECT_FALSE(model->bubbleVisible());
    model->toggleBubble();
    EXPECT_EQ(model->bubbleMap().value("text").toString(), QStringLiteral("npm test"));
    scheduler.advance(2.9);
    model->toggleBubble(); // hiding cancels the auto-hide
    EXPECT_EQ(scheduler.pending(), 0u);
}

TEST_F(PetViewModelTest, ApprovalAnswers) {
    struct Row {
        const char* name;
        ApprovalAnswer answer;
        bool allow;
        ApprovalMode mode;
    };
    const Row rows[] = {
        {"allow", ApprovalAnswer::allow, true, ApprovalMode::manual},
        {"deny", ApprovalAnswer::deny, false, ApprovalMode::manual},
        {"allow all", ApprovalAnswer::allowAll, true, ApprovalMode::allowAll},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        settings.setApprovalMode(ApprovalMode::manual);
        verdicts.clear();
        const ApprovalPrompt card = prompt(QStringLiteral("sudo make install"));
        model->render(PetState::waitingApproval, BubbleApproval{card}, true, claude);
        model->cardAtRest(card.id.toString());
        scheduler.advance(AnswerArming::kSeconds);
        model->scheduleDismiss(10); // the answer cancels any pending auto-hide
        EXPECT_TRUE(model->answerCard(card.eventId.toString(), rawValue(r.answer)));
        EXPECT_EQ(verdicts, (std::vector<Verdict>{{card.eventId, r.allow}}));
        EXPECT_FALSE(model->bubbleVisible());
        EXPECT_EQ(scheduler.pending(), 0u);
        EXPECT_EQ(settings.approvalMode(), r.mode);
    }
}

// A click answers the request its card was drawn for, and only once that card has rested on screen: never a
// card that just slid in under the pointer, one that replaced it, or one that has gone.
TEST_F(PetViewModelTest, ACardAnswersOnlyItsOwnRequestOnceAtRest) {
    struct Row {
        const char* situation;
        std::function<QUuid(const ApprovalPrompt& shown)> setUp;  // the request the click names
    };
    const auto rest = [this](const ApprovalPrompt& p, double seconds) {
        model->cardAtRest(p.id.toString());
        scheduler.advance(seconds);
    };
    const Row rows[] = {
        {"still sliding in", [](const ApprovalPrompt& p) { return p.eventId; }},
        {"at rest for less than the moment", [&](const ApprovalPrompt& p) { rest(p, 0.3); return p.eventId; }},
        {"at rest, but the click names another request",
         [&](const ApprovalPrompt& p) { rest(p, 1); return QUuid::createUuid(); }},
        {"replaced by the next request's card just now",
         [&](const ApprovalPrompt& p) {
             rest(p, 1);
             const ApprovalPrompt next = prompt(QStringLiteral("rm -rf /"));
             model->render(PetState::waitingApproval, BubbleApproval{next}, true, claude);
             return next.eventId;
         }},
        {"hidden and shown again, not yet at rest",
         [&](const ApprovalPrompt& p) {
             rest(p, 1);
             model->toggleBubble();
             model->toggleBubble();
             return p.eventId;
         }},
        {"at rest, then the card went", [&](const ApprovalPrompt& p) {
             rest(p, 1);
             model->render(PetState::thinking, message("Thinking"), false, claude);
             return p.eventId;
         }},
        {"at rest for another prompt id", [&](const ApprovalPrompt& p) {
             model->cardAtRest(QUuid::createUuid().toString());
             scheduler.advance(1);
             return p.eventId;
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.situation);
        verdicts.clear();
        const ApprovalPrompt card = prompt(QStringLiteral("sudo make install"));
        model->render(PetState::waitingApproval, BubbleApproval{card}, true, claude);
        const QUuid named = r.setUp(card);
        EXPECT_FALSE(model->answerCard(named, ApprovalAnswer::allow));
        EXPECT_FALSE(model->answerCard(named.toString(), QStringLiteral("allowAll")));
        EXPECT_TRUE(verdicts.empty());
        EXPECT_EQ(settings.approvalMode(), ApprovalMode::manual);
    }

    // Answered: the store puts the next waiting request's card in its place, which stays up and waits to
    // rest in turn, so a double click never answers it.
    const ApprovalPrompt first = prompt(QStringLiteral("npm publish"));
    const ApprovalPrompt second = prompt(QStringLiteral("git push --force"));
    model->render(PetState::waitingApproval, BubbleApproval{first}, true, claude);
    rest(first, AnswerArming::kSeconds);
    onVerdict = [&] { model->render(PetState::waitingApproval, BubbleApproval{second}, true, claude); };
    EXPECT_TRUE(model->answerCard(first.eventId, ApprovalAnswer::deny));
    onVerdict = nullptr;
    EXPECT_TRUE(model->bubbleVisible());
    EXPECT_FALSE(model->answerCard(second.eventId, ApprovalAnswer::allow));
    rest(second, AnswerArming::kSeconds);
    EXPECT_TRUE(model->answerCard(second.eventId, ApprovalAnswer::allow));
    EXPECT_EQ(verdicts, (std::vector<Verdict>{{first.eventId, false}, {second.eventId, true}}));
}

TEST_F(PetViewModelTest, VerdictThatReRendersLeavesTheNewBubbleHidden) {
    const ApprovalPrompt card = prompt(QStringLiteral("rm -rf build"));
    model->render(PetState::waitingApproval, BubbleApproval{card}, true, claude);
    model->cardAtRest(card.id.toString());
    scheduler.advance(1);
    // The session store re-renders from inside the resolver, as the app wires it.
    onVerdict = [this] { model->render(PetState::warning, message("Denied."), true, claude); };
    EXPECT_TRUE(model->answerCard(card.eventId, ApprovalAnswer::deny));
    EXPECT_EQ(verdicts, (std::vector<Verdict>{{card.eventId, false}}));
    EXPECT_EQ(model->state(), PetState::warning);
    EXPECT_FALSE(model->bubbleVisible());
    EXPECT_EQ(model->bubbleMap().value("text").toString(), QStringLiteral("Denied."));
}

TEST_F(PetViewModelTest, BumpCue) {
    model->bump(BumpDirection::left);
    EXPECT_EQ(model->bumpTrigger(), 1);
    EXPECT_EQ(model->bumpDirectionRaw(), QStringLiteral("left"));
    scheduler.advance(0.2);
    model->bump(BumpDirection::right);
    scheduler.advance(0.3);
    EXPECT_EQ(model->bumpDirection(), BumpDirection::right); // the first reset leaves the newer edge alone
    scheduler.advance(0.1);
    EXPECT_EQ(model->bumpDirection(), std::nullopt);

    // Twice against the same edge: the cue lasts 0.4 s after the latest bump.
    model->bump(BumpDirection::top);
    scheduler.advance(0.3);
    model->bump(BumpDirection::top);
    scheduler.advance(0.3);
    EXPECT_EQ(model->bumpDirection(), BumpDirection::top);
    scheduler.advance(0.1);
    EXPECT_EQ(model->bumpDirection(), std::nullopt);
    EXPECT_EQ(model->bumpTrigger(), 4);
}

TEST_F(PetViewModelTest, ObserversHearEveryAssignmentEvenOfAnEqualValue) {
    int state = 0, visible = 0, bubble = 0, provider = 0, facing = 0;
    QObject::connect(model.get(), &PetViewModel::stateChanged, [&] { ++state; });
    QObject::connect(model.get(), &PetViewModel::bubbleVisibleChanged, [&] { ++visible; });
    QObject::connect(model.get(), &PetViewModel::bubbleChanged, [&] { ++bubble; });
    QObject::connect(model.get(), &PetViewModel::activeProviderChanged, [&] { ++provider; });
    QObject::connect(model.get(), &PetViewModel::facingChanged, [&] { ++facing; });
    for (int i = 0; i < 2; ++i) {
        model->render(PetState::thinking, message("same"), false, claude);
        model->setFacing(-1);
    }
    EXPECT_EQ(state, 2);
    EXPECT_EQ(visible, 2);
    EXPECT_EQ(bubble, 2);
    EXPECT_EQ(provider, 2);
    EXPECT_EQ(facing, 2);
    EXPECT_EQ(model->property("facing").toDouble(), -1.0);
    EXPECT_EQ(model->property("state").toString(), QStringLiteral("thinking"));
}

TEST_F(PetViewModelTest, PublishedBubbleFields) {
    EXPECT_TRUE(model->bubbleMap().isEmpty());
    const ApprovalPrompt card = prompt(QStringLiteral("sudo rm x"));
    model->render(PetState::waitingApproval, BubbleApproval{card}, true, claude);
    const QVariantMap map = model->property("bubble").toMap();
    EXPECT_EQ(map.value("kind").toString(), QStringLiteral("approval"));
    EXPECT_EQ(map.value("eventId").toString(), card.eventId.toString(QUuid::WithoutBraces));
    EXPECT_EQ(map.value("command").toString(), QStringLiteral("sudo rm x"));
    EXPECT_EQ(map.value("risk").toString(), QStringLiteral("risky"));
    EXPECT_EQ(map.value("riskTitle").toString(), QStringLiteral("Risky"));

    model->render(PetState::coding, BubbleNarration{std::nullopt, QStringLiteral("Editing"), QStringLiteral("ok")},
                  false, claude);
    const QVariantMap narration = model->property("bubble").toMap();
    EXPECT_EQ(narration.value("kind").toString(), QStringLiteral("narration"));
    EXPECT_EQ(narration.value("activity").toString(), QStringLiteral("Editing"));
    EXPECT_EQ(narration.value("provider").toString(), QString());
    EXPECT_EQ(model->property("activityIcon").toString(), QStringLiteral("pencil"));
}

TEST_F(PetViewModelTest, ChineseLinesAndStatus) {
    settings.setLanguage(AppLanguage::zh);
    model->render(PetState::thinking, std::nullopt, false, std::nullopt);
    EXPECT_EQ(model->statusText(), QString::fromUtf16(u"思考中…"));
    model->render(PetState::idle, std::nullopt, false, std::nullopt);
    model->beginDragging();
    EXPECT_TRUE(fromUtf16({u"哎呀！", u"哇——", u"放我下来啦～", u"嘿嘿，飞起来啦"})
                    .contains(model->bubbleMap().value("text").toString()));
    model->endDragging();
    scheduler.advance(1);
    model->render(PetState::sleeping, std::nullopt, false, std::nullopt);
    model->petReaction();
    const QStringList sleepyLines =
        fromUtf16({u"！", u"哇！", u"吓我一跳！", u"别吵我…", u"走开啦", u"哼！"});
    EXPECT_TRUE(sleepyLines.contains(model->bubbleMap().value("text").toString()));
    // Any non-reaction state gives its own status line; an empty list gives the current one.
    EXPECT_EQ(model->reactionLine(PetState::coding, 9), QString::fromUtf16(u"工作中…"));
    EXPECT_EQ(model->pick({QStringLiteral("x")}, {}), model->statusText());
}

TEST_F(PetViewModelTest, SharedInstanceIsInstalledByStartUp) {
    EXPECT_FALSE(PetViewModel::hasShared());
    PetViewModel::setShared(model.get());
    EXPECT_EQ(&PetViewModel::shared(), model.get());
    model.reset(); // a destroyed model uninstalls itself
    EXPECT_FALSE(PetViewModel::hasShared());
}

} // namespace
} // namespace nubbo
