// Going to a session: only to the one live session the key or id names, only where its hooks said it runs.
#include "sessions/SessionNavigator.h"

#include "ManualTime.h"
#include "SettingsFakes.h"
#include "model/NarrationSummarizer.h"
#include "model/PetRenderer.h"
#include "model/TerminalFocus.h"
#include "sessions/AgentSessionStore.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

namespace nubbo {
namespace {

using namespace Qt::StringLiterals;

struct NoPet final : PetRenderer {
    void render(PetState, const std::optional<PetBubbleKind>&, bool, const std::optional<AgentProvider>&) override {}
    double facing() const override { return 1.0; }
    void setFacing(double) override {}
};

// Answers by the agent's process id, so that the answer shows whose context it was given.
struct FakeFocus final : TerminalFocus {
    FocusOutcome focus(const TerminalContext& context) override {
        asked.push_back(context.agentPid);
        return context.agentPid == 1 ? FocusOutcome::focused : FocusOutcome::severalWindows;
    }
    bool isLookingAt(const TerminalContext&) override { return false; }
    std::vector<qint64> asked;
};

TEST(SessionNavigatorTest, GoesOnlyToTheOneLiveSessionThatSaidWhereItRuns) {
    fakes::MemoryPreferences preferences;
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{u"en-US"_s}; }};
    fakes::ManualClock clock;
    fakes::SeededRandom random{7};
    NoPet pet;
    NullSummarizer summaries;
    AgentSessionStore store{settings, pet, clock, random, {}, summaries};
    for (const auto& [provider, id, pid] : {std::tuple{"claude", "c1", 1}, {"codex", "twice", 2}, {"gemini", "twice", 3},
                                            {"qwen", "bare", 0}}) {
        AgentEvent event;
        event.provider = AgentProvider(QString::fromLatin1(provider));
        event.sessionId = QString::fromLatin1(id);
        event.terminal.agentPid = pid;
        store.apply(event);
    }
    FakeFocus focus;
    const SessionNavigator navigator{store, focus, [](auto work, auto done) { done(work()); }, {}};

    struct Case {
        bool byKey;
        QString target;
        FocusOutcome outcome;
        std::vector<qint64> asked;
    };
    const Case cases[] = {
        {true, u"claude:c1"_s, FocusOutcome::focused, {1}},
        {false, u"c1"_s, FocusOutcome::focused, {1}},
        {false, u"twice"_s, FocusOutcome::unknownSession, {}},  // two agents report it: either would be a guess
        {true, u"gemini:twice"_s, FocusOutcome::severalWindows, {3}},
        {false, u"gone"_s, FocusOutcome::unknownSession, {}},
        {true, u"claude:gone"_s, FocusOutcome::unknownSession, {}},
        {false, u"bare"_s, FocusOutcome::noContext, {}},
        {true, u"qwen:bare"_s, FocusOutcome::noContext, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        focus.asked.clear();
        std::vector<FocusOutcome> outcomes;
        const auto done = [&outcomes](FocusOutcome outcome) { outcomes.push_back(outcome); };
        c.byKey ? navigator.goToKey(c.target, done) : navigator.goToSessionId(c.target, done);
        EXPECT_EQ(outcomes, std::vector<FocusOutcome>{c.outcome});
        EXPECT_EQ(focus.asked, c.asked);
    }
}

} // namespace
} // namespace nubbo
