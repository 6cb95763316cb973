// The quick panel's rows: they follow the session store while the panel is shown, their ages come from the
// clock in both languages, and an answer given on a row reaches the waiting request exactly once.
#include "pet/QuickPanelModel.h"

#include "pet/QuickPanel.h"

#include "sessions/AgentSessionStore.h"
#include "ManualTime.h"
#include "model/NarrationSummarizer.h"
#include "pet/PetViewModel.h"
#include "sessions/NubboNotifications.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace nubbo {
namespace {

class QuickPanelModelTest : public ::testing::Test {
protected:
    AgentEvent event(const char* provider, const char* session, AgentEventType type) {
        AgentEvent e;
        e.id = QUuid::createUuid();
        e.provider = AgentProvider(QString::fromLatin1(provider));
        e.type = type;
        e.sessionId = QString::fromLatin1(session);
        e.cwd = QStringLiteral("/home/dev/src/nubbo/");
        return e;
    }
    AgentEvent approval(const char* provider, const char* session, const QString& command) {
        AgentEvent e = event(provider, session, AgentEventType::approvalRequired);
        e.command = e.message = command;
        return e;
    }
    QVariant at(int row, QuickPanelModel::Role role) const { return panel.data(panel.index(row), role); }

    fakes::MemoryPreferences preferences;
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{QStringLiteral("en-US")}; }};
    fakes::ManualClock clock;
    fakes::ManualScheduler scheduler{clock};
    fakes::SeededRandom random{1};
    NullSummarizer summarizer;
    // The app's wiring: the verdict goes to the waiting agent (recorded here), then to the session.
    std::vector<std::pair<QUuid, bool>> verdicts;
    PetViewModel pet{settings, scheduler, clock, random, [](const QString&) {}, [this](const QUuid& id, bool allow) {
                         verdicts.emplace_back(id, allow);
                         store.resolveApproval(id, allow);
                         return true;
                     }};
    AgentSessionStore store{settings, pet, clock, random, [](AgentEventType, const AgentEvent&) {}, summarizer};
    QuickPanelModel panel{store, settings, clock, scheduler, [this](const QUuid& id, ApprovalAnswer answer) {
                              return pet.answerApproval(id, answer, "from the panel");
                          }};
};

TEST_F(QuickPanelModelTest, RowsFollowTheStoreAndTheirAgesTheClock) {
    panel.setActive(true);
    std::vector<int> inserted;
    QList<int> lastChangedRoles;
    QObject::connect(&panel, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int) {
        inserted.push_back(first);
    });
    QObject::connect(&panel, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex&, const QModelIndex&, const QList<int>& roles) { lastChangedRoles = roles; });

    AgentEvent tool = event("claude", "a", AgentEventType::coding);
    tool.toolName = QStringLiteral("Bash");
    tool.command = QStringLiteral("npm test");
    tool.say = QStringLiteral("  Running the tests first. ");
    store.apply(tool);
    ASSERT_EQ(panel.count(), 1);
    EXPECT_EQ(at(0, QuickPanelModel::TitleRole), "Claude");
    EXPECT_EQ(at(0, QuickPanelModel::AgentSymbolRole), "sparkles");
    EXPECT_EQ(at(0, QuickPanelModel::SymbolRole), "terminal");
    EXPECT_EQ(at(0, QuickPanelModel::StatusRole), "Running npm test");
    EXPECT_EQ(at(0, QuickPanelModel::WordsRole), "Running the tests first.");
    EXPECT_EQ(at(0, QuickPanelModel::FolderRole), "nubbo");
    EXPECT_EQ(at(0, QuickPanelModel::AgoRole), "just now");
    EXPECT_FALSE(at(0, QuickPanelModel::WaitingRole).toBool());

    scheduler.advance(12.2);
    EXPECT_EQ(at(0, QuickPanelModel::AgoRole), "12 s ago");
    EXPECT_EQ(lastChangedRoles, QList<int>{QuickPanelModel::AgoRole}) << "only the age changed";
    scheduler.advance(3 * 60);
    EXPECT_EQ(at(0, QuickPanelModel::AgoRole), "3 min ago");
    settings.setLanguage(AppLanguage::zh);
    EXPECT_EQ(at(0, QuickPanelModel::AgoRole), "3 分钟前");

    // A second session comes in its key's place; the first keeps its row.
    store.apply(approval("codex", "b", QStringLiteral("rm -rf build")));
    ASSERT_EQ(panel.count(), 2);
    EXPECT_EQ(inserted, (std::vector<int>{0, 1}));
    EXPECT_EQ(at(1, QuickPanelModel::AgoRole), "刚刚");
    EXPECT_EQ(at(1, QuickPanelModel::StatusRole), "等待你的授权。");
    EXPECT_TRUE(at(1, QuickPanelModel::WaitingRole).toBool());
    EXPECT_EQ(at(1, QuickPanelModel::CommandRole), "rm -rf build");
    EXPECT_TRUE(at(1, QuickPanelModel::RiskyRole).toBool());

    store.apply(event("claude", "a", AgentEventType::agentStopped));
    ASSERT_EQ(panel.count(), 1);
    EXPECT_EQ(at(0, QuickPanelModel::TitleRole), "Codex");

    // A hidden panel does not follow; shown again it catches up at once.
    panel.setActive(false);
    store.apply(event("gemini", "c", AgentEventType::thinking));
    EXPECT_EQ(panel.count(), 1);
    EXPECT_EQ(scheduler.pending(), 0u) << "no age refresh while hidden";
    panel.setActive(true);
    EXPECT_EQ(panel.count(), 2);
}

TEST_F(QuickPanelModelTest, AnAnswerOnARowResolvesTheRequestItWasDrawnForOnce) {
    panel.setActive(true);
    const AgentEvent push = approval("codex", "b", QStringLiteral("git push origin main"));
    store.apply(push);
    const QString id = push.id.toString();

    // A row that just appeared under the pointer answers nothing until it has been on show a moment.
    EXPECT_FALSE(panel.answer(id, QStringLiteral("allow")));
    scheduler.advance(AnswerArming::kSeconds);
    // A row arriving above it moves its buttons: they wait again.
    store.apply(event("aider", "z", AgentEventType::thinking));
    EXPECT_FALSE(panel.answer(id, QStringLiteral("allow")));
    scheduler.advance(AnswerArming::kSeconds);
    EXPECT_TRUE(panel.answer(id, QStringLiteral("allow")));
    ASSERT_EQ(verdicts.size(), 1u);
    EXPECT_EQ(verdicts[0], std::make_pair(push.id, true));
    EXPECT_FALSE(at(1, QuickPanelModel::WaitingRole).toBool());
    EXPECT_EQ(at(1, QuickPanelModel::StatusRole), "Allowed.");
    // A second press (or one for a request that ended, or never was) answers nothing.
    EXPECT_FALSE(panel.answer(id, QStringLiteral("allow")));
    EXPECT_FALSE(panel.answer(id, QStringLiteral("deny")));
    EXPECT_FALSE(panel.answer(QUuid::createUuid().toString(), QStringLiteral("deny")));
    EXPECT_EQ(verdicts.size(), 1u);

    // Two requests of one session are listed each with its own answers; answering the second leaves the
    // first waiting. Allow All from the panel is the card's Allow All: the request, then the mode.
    const AgentEvent read = approval("claude", "a", QStringLiteral("cat notes.txt"));
    const AgentEvent write = approval("claude", "a", QStringLiteral("tee notes.txt"));
    store.apply(read);
    store.apply(write);
    const QVariantList requests = at(1, QuickPanelModel::RequestsRole).toList();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[1].toMap().value("command"), "tee notes.txt");
    scheduler.advance(AnswerArming::kSeconds);
    EXPECT_TRUE(panel.answer(requests[1].toMap().value("eventId").toString(), QStringLiteral("allowAll")));
    ASSERT_EQ(verdicts.size(), 2u);
    EXPECT_EQ(verdicts[1], std::make_pair(write.id, true));
    EXPECT_EQ(settings.approvalMode(), ApprovalMode::allowAll);
    EXPECT_EQ(at(1, QuickPanelModel::CommandRole), "cat notes.txt");
    // A panel hidden and shown again arms its rows afresh.
    panel.setActive(false);
    panel.setActive(true);
    EXPECT_FALSE(panel.answer(read.id, ApprovalAnswer::deny));
}

TEST(QuickPanelPlacement, BesideThePetLevelWithItsBottomAndAlwaysOnScreen) {
    const QRect screen(0, 0, 1280, 800);
    const QSize card(324, 300);
    // The pet in its corner: the panel to its left, bottoms level.
    EXPECT_EQ(QuickPanel::cardPlacement(QRect(990, 560, 260, 215), card, screen), QPoint(656, 475));
    // Against the left edge there is no room on that side: it goes right of the pet.
    EXPECT_EQ(QuickPanel::cardPlacement(QRect(12, 400, 150, 150), card, screen), QPoint(172, 250));
    // Near the top it moves down rather than leave the screen.
    EXPECT_EQ(QuickPanel::cardPlacement(QRect(990, 20, 150, 150), card, screen).y(), 6);
}

struct RecordingPoster final : NotificationPoster {
    void post(const QString&, const QString&, const QString&, const NotificationActions& actions) override {
        posted.push_back(actions);
    }
    void withdraw(const QString&) override {}
    void requestAuthorization() override {}
    std::vector<NotificationActions> posted;
};

// The bubble, the card, a row and a notification's body each go to the session they are about (wired as the
// app wires them, through the pet), and what went wrong is one line in the bubble before the card comes back.
TEST_F(QuickPanelModelTest, EachSurfaceGoesToItsSessionAndTheBubbleSaysWhyItCouldNot) {
    RecordingPoster poster;
    NubboNotifications notifications{settings, poster, clock};
    QStringList wentTo;
    FocusOutcome outcome = FocusOutcome::focused;
    pet.setGoToSessionHandler([&](const QString& key, std::function<void(FocusOutcome)> done) {
        wentTo << key;
        done(outcome);
    });
    panel.setGoToSessionHandler([this](const QString& key) { pet.goToSession(key); });
    notifications.setGoToSessionHandler([this](const QString& key) { pet.goToSession(key); });
    const auto arrive = [&](AgentEvent e) {
        store.apply(e);
        notifications.notify(e.type, e);
    };
    panel.setActive(true);
    arrive(event("claude", "c1", AgentEventType::thinking));
    pet.goToSession();  // the narration's title line
    arrive(event("codex", "x1", AgentEventType::taskCompleted));
    arrive(approval("gemini", "g1", QStringLiteral("rm -rf build")));
    arrive(approval("claude", "c1", QStringLiteral("make")));
    pet.goToSession();  // the card shows the oldest request, Gemini's
    panel.goToSession(at(1, QuickPanelModel::KeyRole).toString());
    for (const NotificationActions& actions : poster.posted)
        actions.invoked(NubboNotifications::kDefaultKey);
    EXPECT_EQ(wentTo, (QStringList{"claude:c1", "gemini:g1", "codex:x1", "codex:x1", "gemini:g1", "claude:c1"}));

    const struct {
        FocusOutcome outcome;
        AppLanguage language;
        QString line;  // empty: the card stays
    } cases[] = {
        {FocusOutcome::focused, AppLanguage::en, {}},
        {FocusOutcome::waylandNative, AppLanguage::en, QStringLiteral("Can't raise Gemini's terminal: it is a Wayland window")},
        {FocusOutcome::waylandNative, AppLanguage::zh, QStringLiteral("无法切换到 Gemini 的终端：它是 Wayland 窗口")},
        {FocusOutcome::noTmuxClient, AppLanguage::en, QStringLiteral("Gemini's tmux session has no terminal attached")},
        {FocusOutcome::noTmuxClient, AppLanguage::zh, QStringLiteral("Gemini 的 tmux 会话没有连接任何终端")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(rawValue(c.outcome).toStdString());
        settings.setLanguage(c.language);
        outcome = c.outcome;
        const QVariantMap card = pet.bubbleMap();
        pet.goToSession();
        EXPECT_EQ(pet.bubbleMap().value(QStringLiteral("text")), c.line.isEmpty() ? card.value(QStringLiteral("text")) : c.line);
        scheduler.advance(5);
        EXPECT_TRUE(pet.bubbleVisible());
        EXPECT_EQ(pet.bubbleMap(), card);
    }

    // The pet's own words speak for no session; a hidden bubble is not clicked.
    wentTo.clear();
    pet.showBubble(BubbleMessage{QStringLiteral("Hehe~")}, false);
    pet.goToSession();
    pet.toggleBubble();
    pet.goToSession();
    EXPECT_TRUE(wentTo.isEmpty());
}

} // namespace
} // namespace nubbo
