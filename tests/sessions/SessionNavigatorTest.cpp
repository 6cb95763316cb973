// Going to a session: only to the one live session the key or id names, only where its hooks said it runs,
// and the focus's own outcome handed back.
#include "sessions/SessionNavigator.h"

#include "ManualTime.h"
#include "model/NarrationSummarizer.h"
#include "model/PetRenderer.h"
#include "model/TerminalFocus.h"
#include "SettingsFakes.h"
#include "sessions/AgentSessionStore.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace nubbo {
namespace {

using namespace Qt::StringLiterals;

struct NoPet final : PetRenderer {
    void render(PetState, const std::optional<PetBubbleKind>&, bool, const std::optional<AgentProvider>&) override {}
    double facing() const override { return 1.0; }
    void setFacing(double) override {}
};

struct NoSummaries final : NarrationSummarizer {
    void summarize(const QString&, const QString&, const std::optional<QString>&) override {}
};

// Answers by the agent's process id, and remembers every context it was asked to focus.
struct FakeFocus final : TerminalFocus {
    FocusOutcome focus(const TerminalContext& context) override {
        asked.push_back(context);
        return outcomes.at(context.agentPid);
    }
    bool isLookingAt(const TerminalContext&) override { return false; }
    std::map<qint64, FocusOutcome> outcomes;
    std::vector<TerminalContext> asked;
};

TerminalContext runningIn(qint64 pid, const QString& tty) {
    TerminalContext context;
    context.agentPid = pid;
    context.tty = tty;
    return context;
}

TEST(SessionNavigatorTest, GoesOnlyToTheOneLiveSessionThatSaidWhereItRuns) {
    fakes::MemoryPreferences preferences;
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{u"en-US"_s}; }};
    fakes::ManualClock clock;
    fakes::SeededRandom random{7};
    NoPet pet;
    NoSummaries summaries;
    AgentSessionStore store{settings, pet, clock, random, {}, summaries};

    const auto arrive = [&](const char* provider, const QString& id, const TerminalContext& context) {
        AgentEvent event;
        event.id = QUuid::createUuid();
        event.provider = AgentProvider(QString::fromLatin1(provider));
        event.type = AgentEventType::thinking;
        event.sessionId = id;
        event.terminal = context;
        store.apply(event);
    };
    const TerminalContext claude = runningIn(101, u"/dev/pts/1"_s);
    const TerminalContext gemini = runningIn(303, u"/dev/pts/3"_s);
    arrive("claude", u"c1"_s, claude);
    const TerminalContext codex = runningIn(202, u"/dev/pts/2"_s);
    arrive("codex", u"twice"_s, codex);
    arrive("opencode", u"twice"_s, runningIn(204, u"/dev/pts/4"_s));
    arrive("gemini", u"g1"_s, gemini);
    arrive("qwen", u"bare"_s, TerminalContext{});

    FakeFocus focus;
    focus.outcomes = {{101, FocusOutcome::focused}, {202, FocusOutcome::noWindow}, {303, FocusOutcome::severalWindows}};
    int ran = 0;
    QStringList log;
    const SessionNavigator navigator{store, focus,
                                     [&ran](std::function<FocusOutcome()> work, SessionNavigator::Done done) {
                                         ++ran;
                                         done(work());
                                     },
                                     [&log](const QString& line) { log << line; }};

    enum class By { key, id };
    struct Case {
        By by;
        QString target;
        FocusOutcome outcome;
        std::optional<TerminalContext> asked;  // what the focus must be asked, nothing when it must not be
    };
    const Case cases[] = {
        {By::key, u"claude:c1"_s, FocusOutcome::focused, claude},
        {By::id, u"c1"_s, FocusOutcome::focused, claude},
        {By::id, u"g1"_s, FocusOutcome::severalWindows, gemini},
        {By::key, u"gemini:g1"_s, FocusOutcome::severalWindows, gemini},
        {By::id, u"twice"_s, FocusOutcome::unknownSession, std::nullopt},
        // Two agents report this id, but the key names one of them.
        {By::key, u"codex:twice"_s, FocusOutcome::noWindow, codex},
        {By::id, u"gone"_s, FocusOutcome::unknownSession, std::nullopt},
        {By::key, u"claude:gone"_s, FocusOutcome::unknownSession, std::nullopt},
        {By::id, u"bare"_s, FocusOutcome::noContext, std::nullopt},
        {By::key, u"qwen:bare"_s, FocusOutcome::noContext, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        focus.asked.clear();
        ran = 0;
        std::vector<FocusOutcome> outcomes;
        const auto done = [&outcomes](FocusOutcome outcome) { outcomes.push_back(outcome); };
        if (c.by == By::key)
            navigator.goToKey(c.target, done);
        else
            navigator.goToSessionId(c.target, done);

        EXPECT_EQ(outcomes, std::vector<FocusOutcome>{c.outcome});
        EXPECT_EQ(ran, c.asked ? 1 : 0);
        EXPECT_EQ(focus.asked, c.asked ? std::vector<TerminalContext>{*c.asked} : std::vector<TerminalContext>{});
        EXPECT_TRUE(log.last().endsWith(rawValue(c.outcome))) << log.last().toStdString();
    }
}

} // namespace
} // namespace nubbo
