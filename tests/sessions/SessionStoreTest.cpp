#include "sessions/AgentSessionStore.h"

#include "ManualTime.h"
#include "model/NarrationSummarizer.h"
#include "model/PetRenderer.h"
#include "platform/PreferencesDomain.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace nubbo {
namespace {

using fakes::MemoryPreferences;

struct Shown {
    double at;
    PetState state;
    std::optional<PetBubbleKind> bubble;
    bool persistent;
    std::optional<AgentProvider> provider;
    QString text() const { return bubble ? plainText(*bubble) : QString(); }
};

class RecordingPet final : public PetRenderer {
public:
    explicit RecordingPet(const Clock& clock) : clock_(clock) {}
    void render(PetState state, const std::optional<PetBubbleKind>& bubble, bool persistent,
                const std::optional<AgentProvider>& provider) override {
        shown.push_back({clock_.now(), state, bubble, persistent, provider});
    }
    double facing() const override { return 1.0; }
    void setFacing(double) override {}
    const Shown& last() const { return shown.back(); }
    std::vector<Shown> shown;

private:
    const Clock& clock_;
};

struct RecordingSummarizer final : NarrationSummarizer {
    void summarize(const QString& key, const QString& say, const std::optional<QString>& detail) override {
        calls.push_back({key, say, detail.value_or(QStringLiteral("-"))});
    }
    std::vector<QStringList> calls;
};

const BubbleNarration& narration(const Shown& s) { return std::get<BubbleNarration>(s.bubble.value()); }
const ApprovalPrompt& prompt(const Shown& s) { return std::get<BubbleApproval>(s.bubble.value()).prompt; }

class SessionStoreTest : public ::testing::Test {
protected:
    static constexpr double kStart = 1000.0;

    AgentEvent event(AgentEventType type, const QString& session = QStringLiteral("s1"),
                     const QString& message = QStringLiteral("msg")) {
        return AgentEvent{QUuid::createUuid(), AgentProvider(QStringLiteral("claude")), type, message, {}, {}, {}, {},
                          {}, session, {}, {}};
    }
    AgentEvent tool(const QString& name, const QString& command, const QString& session = QStringLiteral("s1"),
                    std::optional<QString> phase = std::nullopt) {
        AgentEvent e = event(AgentEventType::coding, session);
        e.toolName = name;
        e.command = command;
        e.phase = phase;
        return e;
    }
    void at(double t) { clock.set(kStart + t); }
    void tickAt(double t) { at(t), store.tick(); }
    // Five ticks a second, as the app's timer runs.
    void tickFor(double seconds) {
        for (int i = 0; i < static_cast<int>(seconds / 0.2 + 0.5); ++i)
            clock.set(clock.now() + 0.2), store.tick();
    }
    const AgentSession& s1() const { return *store.session(QStringLiteral("claude:s1")); }
    bool alive(const char* id) const { return store.session(QStringLiteral("claude:") + id); }
    // Each change of the bubble text, with when it happened.
    std::vector<std::pair<double, QString>> changes() const {
        std::vector<std::pair<double, QString>> out;
        for (const Shown& s : pet.shown)
            if (out.empty() || out.back().second != s.text())
                out.emplace_back(s.at - kStart, s.text());
        return out;
    }

    MemoryPreferences preferences;
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{QStringLiteral("en-US")}; }};
    fakes::ManualClock clock;
    fakes::SeededRandom random{7};
    RecordingPet pet{clock};
    RecordingSummarizer summarizer;
    std::vector<AgentEventType> notified;
    QStringList notifiedMessages;
    AgentSessionStore store{settings, pet, clock, random,
                            [this](AgentEventType type, const AgentEvent& e) {
                                notified.push_back(type);
                                notifiedMessages << e.message;
                            },
                            summarizer};
};

TEST_F(SessionStoreTest, ToolBurstIsPacedAtLeastSixTenthsApart) {
    at(0), store.apply(tool("Read", "/src/a.txt"));
    at(0.05), store.apply(tool("Grep", "needle"));
    at(0.1), store.apply(tool("Bash", "make"));
    EXPECT_EQ(pet.last().state, PetState::reading);
    tickFor(3);

    const auto shown = changes();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].second, "Claude · Reading a.txt");
    EXPECT_EQ(shown[1].second, "Claude · Searching “needle”");
    EXPECT_EQ(shown[2].second, "Claude · Running make");
    for (std::size_t i = 1; i < shown.size(); ++i) {
        EXPECT_GE(shown[i].first - shown[i - 1].first, 0.6 - 1e-9);
        EXPECT_LE(shown[i].first - shown[i - 1].first, 0.8 + 1e-9);
    }
}

TEST_F(SessionStoreTest, BurstKeepsTheTwelveNewestWaitingSteps) {
    at(0);
    for (int i = 1; i <= 15; ++i)
        store.apply(tool("Bash", QStringLiteral("cmd%1").arg(i)));
    EXPECT_EQ(s1().pendingSteps.size(), 12u);
    tickFor(12);

    QStringList order;
    for (const auto& [when, words] : changes())
        order << words.section(' ', -1);
    EXPECT_EQ(order, (QStringList{"cmd1", "cmd4", "cmd5", "cmd6", "cmd7", "cmd8", "cmd9", "cmd10", "cmd11", "cmd12",
                                  "cmd13", "cmd14", "cmd15"}));
}

TEST_F(SessionStoreTest, PrePostPairsShowOneStepThenFallBackToThinking) {
    at(0);
    store.apply(tool("Read", "a.txt", "s1", QStringLiteral("pre")));
    store.apply(tool("Read", "a.txt", "s1", QStringLiteral("post")));
    tickAt(0.4);
    EXPECT_EQ(s1().pose, PetState::reading);
    tickAt(0.6);
    EXPECT_EQ(s1().pose, PetState::thinking);
    EXPECT_EQ(s1().detail, "Reading a.txt");
    EXPECT_EQ(pet.last().text(), "Claude is thinking…");

    // A post event on a session in another state shows the step itself, then thinks.
    store.apply(event(AgentEventType::responding));
    at(1), store.apply(tool("Bash", "npm test", "s1", QStringLiteral("post")));
    EXPECT_EQ(pet.last().state, PetState::running);
    tickAt(1.6);
    EXPECT_EQ(s1().state, PetState::thinking);

    // Thinking while steps wait changes nothing.
    at(2), store.apply(tool("Read", "b.txt")), store.apply(tool("Grep", "x"));
    store.apply(event(AgentEventType::thinking));
    EXPECT_EQ(s1().pose, PetState::reading);
    EXPECT_EQ(s1().pendingSteps.size(), 1u);
}

TEST_F(SessionStoreTest, QuietSessionsExpireByState) {
    at(0);
    for (const auto& [type, id] : {std::pair{AgentEventType::responding, "r"}, {AgentEventType::taskCompleted, "s"},
                                   {AgentEventType::thinking, "t"}, {AgentEventType::contextCompacting, "c"},
                                   {AgentEventType::approvalRequired, "a"}})
        store.apply(event(type, id));
    // Each pair: the last tick a session survives, and the next one.
    for (const auto& [until, id] : {std::pair{3.0, "r"}, {4.0, "s"}, {8.0, "t"}}) {
        tickAt(until); EXPECT_TRUE(alive(id)) << id;
        tickAt(until + 0.2); EXPECT_FALSE(alive(id)) << id;
    }
    tickAt(12); EXPECT_EQ(store.session("claude:c")->state, PetState::compactingContext);
    tickAt(12.2); EXPECT_EQ(store.session("claude:c")->state, PetState::thinking);
    tickAt(20.4); EXPECT_FALSE(alive("c"));

    EXPECT_EQ(pet.last().state, PetState::waitingApproval);
    tickAt(1800); EXPECT_TRUE(alive("a"));
    tickAt(1800.2); EXPECT_TRUE(store.sessions().empty());
    // The card goes with it and idle life takes over at once.
    EXPECT_FALSE(pet.last().bubble || pet.last().provider);
    EXPECT_NE(store.idleLife().phase(), PetState::idle);
}

TEST_F(SessionStoreTest, MostUrgentSessionWinsAndStoppingItHandsOver) {
    // Created most urgent first, so the latest update never decides.
    const std::vector<std::pair<AgentEventType, PetState>> byPriority{
        {AgentEventType::approvalRequired, PetState::waitingApproval}, {AgentEventType::inputRequired, PetState::waitingInput},
        {AgentEventType::taskFailed, PetState::warning},   {AgentEventType::contextCompacting, PetState::compactingContext},
        {AgentEventType::coding, PetState::coding},         {AgentEventType::thinking, PetState::thinking},
        {AgentEventType::responding, PetState::responding}, {AgentEventType::taskCompleted, PetState::success}};
    for (std::size_t i = 0; i < byPriority.size(); ++i)
        at(double(i)), store.apply(event(byPriority[i].first, QString::number(i)));
    for (std::size_t i = 0; i < byPriority.size(); ++i) {
        EXPECT_EQ(pet.last().state, byPriority[i].second) << i;
        EXPECT_EQ(pet.last().persistent, i < 3) << i;
        store.apply(event(AgentEventType::agentStopped, QString::number(i)));
    }
    EXPECT_EQ(pet.last().state, PetState::idle);
}

TEST_F(SessionStoreTest, EqualStatesGoToTheLatestUpdateAndKeysSeparateSessions) {
    at(0), store.apply(tool("Read", "a", "x"));
    AgentEvent codex = tool("Read", "b", "x");
    codex.provider = AgentProvider(QStringLiteral("codex"));
    at(1), store.apply(codex);
    EXPECT_EQ(pet.last().provider, codex.provider);
    at(2), store.apply(tool("Grep", "c", "x"));
    EXPECT_EQ(pet.last().provider, AgentProvider(QStringLiteral("claude")));

    AgentEvent noId = event(AgentEventType::thinking);
    noId.sessionId.reset();
    store.apply(noId), store.apply(event(AgentEventType::thinking, ""));
    EXPECT_TRUE(alive("default") && alive("") && alive("x") && store.session("codex:x"));
}

TEST_F(SessionStoreTest, NarrationShowsUntilASummaryOfThatSameNarrationArrives) {
    AgentEvent first = tool("Read", "parser.cpp");
    first.say = QStringLiteral("  Checking the parser.\n");
    at(0), store.apply(first);
    EXPECT_EQ(summarizer.calls.back(), (QStringList{"claude:s1", *first.say, "Reading parser.cpp"}));
    EXPECT_EQ(narration(pet.last()).activity, "Reading parser.cpp");
    EXPECT_EQ(narration(pet.last()).agentWords, "Checking the parser.");

    const std::size_t renders = pet.shown.size();
    at(1), store.setSummary("claude:s1", "Stale", "said earlier"), store.setSummary("claude:x", "Stale", *first.say);
    EXPECT_EQ(pet.shown.size(), renders);
    store.setSummary("claude:s1", "Parser check", *first.say);
    EXPECT_EQ(narration(pet.last()).agentWords, "Parser check");
    EXPECT_EQ(s1().lastUpdate, kStart);

    // The same narration keeps its summary; a new one is shown as said, not under the old summary.
    at(2), store.apply(first);
    EXPECT_EQ(s1().summary, "Parser check");
    AgentEvent second = tool("Read", "lexer.cpp");
    second.say = QStringLiteral("Now the lexer.");
    store.apply(second), tickAt(2.6);
    EXPECT_EQ(narration(pet.last()).agentWords, "Now the lexer.");

    AgentEvent silent = event(AgentEventType::responding);
    silent.say = QString();
    store.apply(silent);
    EXPECT_EQ(pet.last().text(), "Claude responded.");
    EXPECT_EQ(summarizer.calls.size(), 3u);
}

TEST_F(SessionStoreTest, ApprovalCardCarriesTheRequestAndVerdictsReplaceIt) {
    AgentEvent request = event(AgentEventType::approvalRequired, "s1", "Claude wants to run a command");
    request.command = QStringLiteral("sudo make install");
    at(0), store.apply(request);
    EXPECT_EQ(notified, std::vector{AgentEventType::approvalRequired});
    EXPECT_TRUE(pet.last().persistent);
    const ApprovalPrompt card = prompt(pet.last());
    EXPECT_EQ(card.eventId, request.id);
    EXPECT_EQ(card.title, "Claude wants to continue");
    EXPECT_EQ(card.command, "sudo make install");
    EXPECT_EQ(card.risk, ApprovalRisk::risky);

    // Re-renders for the same request (another session's event, an unknown verdict) keep the card, so it
    // does not replay its entrance; a new request is a new card.
    store.apply(event(AgentEventType::thinking, "s2"));
    store.resolveApproval(QUuid::createUuid(), true);
    EXPECT_EQ(prompt(pet.last()).id, card.id);
    EXPECT_EQ(prompt(pet.last()).eventId, request.id);

    at(1), store.resolveApproval(request.id, true);
    EXPECT_EQ(s1().state, PetState::coding);
    EXPECT_TRUE(s1().waiting.empty());
    EXPECT_EQ(pet.last().text(), "Claude · Allowed.");

    settings.setLanguage(AppLanguage::zh);
    AgentEvent second = event(AgentEventType::approvalRequired, "s1", "rm old build");
    store.apply(second);
    EXPECT_NE(prompt(pet.last()).id, card.id);
    EXPECT_EQ(prompt(pet.last()).command, "rm old build");
    EXPECT_EQ(prompt(pet.last()).risk, ApprovalRisk::normal);
    EXPECT_EQ(prompt(pet.last()).title, "Claude 想要继续");
    store.resolveApproval(second.id, false);
    EXPECT_EQ(pet.last().state, PetState::warning);
    EXPECT_TRUE(pet.last().persistent);
    EXPECT_EQ(pet.last().text(), "已拒绝。");
}

TEST_F(SessionStoreTest, ACardLivesAsLongAsItsRequestAndTheAgentsOwnInputNoticeLeavesIt) {
    at(0), store.apply(tool("Bash", "npm test"));
    tickAt(0.7);
    ASSERT_EQ(s1().pose, PetState::running);
    AgentEvent request = event(AgentEventType::approvalRequired, "s1", "rm -rf build");
    at(1), store.apply(request);
    ASSERT_EQ(pet.last().state, PetState::waitingApproval);

    // The agent's notice of its own permission dialog keeps the card up.
    at(7), store.apply(event(AgentEventType::inputRequired, "s1", "Claude needs your permission"));
    EXPECT_EQ(pet.last().state, PetState::waitingApproval);
    EXPECT_EQ(prompt(pet.last()).eventId, request.id);

    // Answered in the terminal (its producer hung up): the card goes and the session shows its tool again.
    store.withdrawApproval(QUuid::createUuid());
    EXPECT_EQ(pet.last().state, PetState::waitingApproval);
    store.withdrawApproval(request.id);
    EXPECT_EQ(s1().state, PetState::coding);
    EXPECT_EQ(pet.last().state, PetState::running);
    EXPECT_FALSE(std::holds_alternative<BubbleApproval>(pet.last().bubble.value()));
    EXPECT_TRUE(s1().waiting.empty());

    // Without a request on show, the notice is the agent waiting for the user.
    store.apply(event(AgentEventType::inputRequired, "s1"));
    EXPECT_EQ(pet.last().state, PetState::waitingInput);
}

TEST_F(SessionStoreTest, EveryWayAWaitingRequestLeavesEndsItOnce) {
    std::vector<QUuid> ended;
    store.setApprovalEndedHandler([&](const QUuid& eventId) { ended.push_back(eventId); });
    const auto ask = [&](const char* session) {
        const AgentEvent request = event(AgentEventType::approvalRequired, session, "rm -rf build");
        store.apply(request);
        return request.id;
    };
    at(0);
    const QUuid replaced = ask("s1"), stopped = ask("s3"), expired = ask("s4"), answered = ask("s5");
    const QUuid queued = ask("s2"), behind = ask("s2");
    AgentEvent bash = event(AgentEventType::approvalRequired, "s6", "Claude needs to run a command");
    bash.toolName = QStringLiteral("Bash");
    bash.command = QStringLiteral("touch marker");
    store.apply(bash);
    // The agent's own permission notice is the same request, its tool steps run beside it, and a second
    // request of a session waits behind the first: none of them ends a request.
    store.apply(event(AgentEventType::inputRequired, "s1"));
    store.apply(tool("Read", "/src/a.txt", QStringLiteral("s1")));
    store.apply(tool("Bash", "touch other", QStringLiteral("s6"), QStringLiteral("post")));
    EXPECT_TRUE(ended.empty());
    // The very call it asked about ran: it was answered in the terminal.
    store.apply(tool("bash", "touch marker", QStringLiteral("s6"), QStringLiteral("post")));
    EXPECT_EQ(ended, std::vector<QUuid>{bash.id});
    ended.clear();

    store.apply(event(AgentEventType::responding, "s1"));
    store.apply(event(AgentEventType::agentStopped, "s3"));
    store.resolveApproval(answered, true);
    store.resolveApproval(answered, true);
    at(1000), store.apply(event(AgentEventType::taskCompleted, "s2"));
    tickAt(1801);
    EXPECT_EQ(ended, (std::vector<QUuid>{replaced, stopped, answered, queued, behind, expired}));
}

// Requests from several sessions, and several from one, wait side by side: the card shows the oldest with
// how many wait, answering or withdrawing one shows the next, and none is ever dropped for another.
TEST_F(SessionStoreTest, WaitingRequestsShowOneAtATimeOldestFirst) {
    const auto ask = [&](const char* session, const char* command) {
        AgentEvent request = event(AgentEventType::approvalRequired, session, "Claude wants to run a command");
        request.command = QString::fromLatin1(command);
        store.apply(request);
        return request.id;
    };
    at(0);
    const QUuid a = ask("s1", "npm publish");
    at(1);
    const QUuid b = ask("s2", "git push --force");
    at(2);
    const QUuid c = ask("s1", "rm -rf dist");
    EXPECT_EQ(store.waitingCount(), 3u);
    EXPECT_EQ(prompt(pet.last()).eventId, a);
    EXPECT_EQ(prompt(pet.last()).waitingCount, 3);
    // Newer requests and the agent's own tool steps keep the card it shows.
    const QUuid shownCard = prompt(pet.last()).id;
    at(3), store.apply(tool("Bash", "ls", QStringLiteral("s2")));
    EXPECT_EQ(prompt(pet.last()).id, shownCard);

    struct Step {
        const char* what;
        std::function<void()> act;
        std::optional<QUuid> next;  // the card then shown, none for no card
        std::size_t waiting;
    };
    const Step steps[] = {
        {"the oldest is answered", [&] { store.resolveApproval(a, true); }, b, 2},
        {"the next one's producer hangs up", [&] { store.withdrawApproval(b); }, c, 1},
        {"an unknown id changes nothing", [&] { store.resolveApproval(QUuid::createUuid(), true); }, c, 1},
        {"the last one is denied", [&] { store.resolveApproval(c, false); }, std::nullopt, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(store.waitingCount(), step.waiting);
        if (step.next) {
            EXPECT_EQ(prompt(pet.last()).eventId, *step.next);
            EXPECT_EQ(prompt(pet.last()).waitingCount, int(step.waiting));
        } else {
            EXPECT_FALSE(std::holds_alternative<BubbleApproval>(pet.last().bubble.value()));
        }
    }
    // Each session shows its last verdict once nothing of it waits.
    EXPECT_EQ(s1().state, PetState::warning);
    EXPECT_EQ(s1().detail, "Denied.");
    EXPECT_EQ(store.session(QStringLiteral("claude:s2"))->shownPose(), PetState::running);
}

TEST_F(SessionStoreTest, FixedTextsFollowTheLanguageAndOnlyThreeKindsNotify) {
    settings.setLanguage(AppLanguage::zh);
    store.apply(event(AgentEventType::thinking, "s1", ""));
    EXPECT_EQ(pet.last().text(), "Claude 思考中…");
    store.apply(event(AgentEventType::contextCompacting));
    EXPECT_EQ(pet.last().text(), "Claude · 正在压缩上下文…");
    settings.setLanguage(AppLanguage::en);
    store.apply(event(AgentEventType::inputRequired));
    EXPECT_EQ(pet.last().text(), "Claude needs your input in the terminal.");

    for (const AgentEventType type : kAllAgentEventTypes)
        store.apply(event(type, "n"));
    EXPECT_EQ(notified, (std::vector{AgentEventType::approvalRequired, AgentEventType::taskCompleted,
                                     AgentEventType::riskyActionDetected}));
}

TEST_F(SessionStoreTest, ACompletedTaskShowsAndNotifiesTheClosingWordsOverABareEventName) {
    // Gemini's end of turn: the message is only the event's name, the words come as narration.
    AgentEvent done = event(AgentEventType::taskCompleted, "g", "AfterAgent");
    done.say = QStringLiteral("  All done: the marker exists.  ");
    at(0), store.apply(done);
    EXPECT_EQ(pet.last().state, PetState::success);
    EXPECT_EQ(pet.last().text(), "All done: the marker exists.");
    EXPECT_EQ(notifiedMessages.last(), "All done: the marker exists.");

    // Without words the message stays, blank narration included.
    AgentEvent plain = event(AgentEventType::taskCompleted, "h", "Build finished");
    plain.say = QStringLiteral(" ");
    at(1), store.apply(plain);
    EXPECT_EQ(pet.last().text(), "Build finished");
    EXPECT_EQ(notifiedMessages.last(), "Build finished");
}

TEST_F(SessionStoreTest, EachSessionKeepsWhereItsAgentLastSaidItRuns) {
    TerminalContext first;
    first.agentPid = 4711;
    first.tty = QStringLiteral("/dev/pts/3");
    TerminalContext moved = first;
    moved.tmux = QStringLiteral("/tmp/tmux-1000/default,42,0");
    moved.tmuxPane = QStringLiteral("%1");
    const TerminalContext none;
    struct Step {
        AgentEvent event;
        TerminalContext said;
        TerminalContext kept;  // s1's afterwards
    };
    const Step steps[] = {
        {tool("Read", "/src/a.txt"), first, first},
        {tool("Bash", "make"), none, first},  // queued behind the first step
        {event(AgentEventType::thinking), none, first},
        {event(AgentEventType::approvalRequired), moved, moved},
        {event(AgentEventType::inputRequired), none, moved},  // the card stays
        {event(AgentEventType::thinking, "s2"), first, moved},
        {tool("Bash", "make", "s1", QStringLiteral("post")), none, moved},
        {event(AgentEventType::taskCompleted), none, moved},
        {event(AgentEventType::agentStarted), first, first},
        {event(AgentEventType::agentStopped), moved, none},
        {event(AgentEventType::thinking), none, none},  // a new session knows nothing yet
    };
    double t = 0;
    for (Step step : steps) {
        step.event.terminal = step.said;
        at(t += 0.1), store.apply(step.event);
        const AgentSession* s = store.session(QStringLiteral("claude:s1"));
        EXPECT_EQ(s ? s->terminal : none, step.kept) << "after " << rawValue(step.event.type).toStdString() << " at " << t;
    }
    EXPECT_EQ(store.session(QStringLiteral("claude:s2"))->terminal, first);
}

} // namespace
} // namespace nubbo
