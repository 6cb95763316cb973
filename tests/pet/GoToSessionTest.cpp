// Going to a session from the pet's surfaces: the bubble, the card, a quick-panel row and a notification's
// body each name the session they are about, and what went wrong is said in the bubble in one line.
#include "pet/PetViewModel.h"

#include "ManualTime.h"
#include "SettingsFakes.h"
#include "model/NarrationSummarizer.h"
#include "pet/QuickPanelModel.h"
#include "platform/NotificationPoster.h"
#include "sessions/AgentSessionStore.h"
#include "sessions/NubboNotifications.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QSet>

#include <vector>

namespace nubbo {
namespace {

using namespace Qt::StringLiterals;

struct RecordingPoster final : NotificationPoster {
    void post(const QString&, const QString&, const QString&, const NotificationActions& actions) override {
        posted.push_back(actions);
    }
    void withdraw(const QString&) override {}
    void requestAuthorization() override {}
    std::vector<NotificationActions> posted;
};

class GoToSessionTest : public ::testing::Test {
protected:
    GoToSessionTest() {
        // The app's wiring: the pet goes there (the navigator answers at once here), the others through it.
        pet.setGoToSessionHandler([this](const QString& key, std::function<void(FocusOutcome)> done) {
            wentTo << key;
            done(outcome);
        });
        panel.setGoToSessionHandler([this](const QString& key) { pet.goToSession(key); });
        notifications.setGoToSessionHandler([this](const QString& key) { pet.goToSession(key); });
    }

    void arrive(const char* provider, const char* session, AgentEventType type, const QString& text) {
        AgentEvent e;
        e.id = QUuid::createUuid();
        e.provider = AgentProvider(QString::fromLatin1(provider));
        e.type = type;
        e.sessionId = QString::fromLatin1(session);
        e.message = text;
        if (type == AgentEventType::approvalRequired)
            e.command = text;
        else
            e.say = text;
        store.apply(e);
        if (type != AgentEventType::thinking)
            notifications.notify(type, e);
    }

    fakes::MemoryPreferences preferences;
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{u"en-US"_s}; }};
    fakes::ManualClock clock;
    fakes::ManualScheduler scheduler{clock};
    fakes::SeededRandom random{1};
    NullSummarizer summarizer;
    PetViewModel pet{settings, scheduler, clock, random, [](const QString&) {}, [](const QUuid&, bool) { return true; }};
    AgentSessionStore store{settings, pet, clock, random, {}, summarizer};
    QuickPanelModel panel{store, settings, clock, scheduler, [](const QUuid&, ApprovalAnswer) { return true; }};
    RecordingPoster poster;
    NubboNotifications notifications{settings, poster, clock};
    FocusOutcome outcome = FocusOutcome::focused;
    QStringList wentTo;
};

TEST_F(GoToSessionTest, EachSurfaceGoesToTheSessionItIsAbout) {
    panel.setActive(true);
    arrive("claude", "c1", AgentEventType::thinking, u"Reading the tests"_s);
    EXPECT_EQ(pet.bubbleMap().value(u"sessionKey"_s), u"claude:c1"_s);
    pet.goToSession();  // the narration's title line

    arrive("codex", "x1", AgentEventType::taskCompleted, u"Built"_s);
    arrive("gemini", "g1", AgentEventType::approvalRequired, u"rm -rf build"_s);
    arrive("claude", "c1", AgentEventType::approvalRequired, u"make"_s);
    pet.goToSession();  // the card shows the oldest request, Gemini's

    panel.goToSession(panel.data(panel.index(0), QuickPanelModel::KeyRole).toString());
    for (const NotificationActions& actions : poster.posted)
        actions.invoked(NubboNotifications::kDefaultKey);
    EXPECT_EQ(wentTo, (QStringList{u"claude:c1"_s, u"gemini:g1"_s, u"claude:c1"_s, u"codex:x1"_s, u"gemini:g1"_s,
                                   u"claude:c1"_s}));

    // The pet's own words speak for no session; a hidden bubble is not clicked.
    wentTo.clear();
    pet.toggleBubble();
    pet.goToSession();
    pet.showBubble(BubbleMessage{u"Hehe~"_s}, false);
    pet.goToSession();
    EXPECT_TRUE(wentTo.isEmpty());
}

TEST_F(GoToSessionTest, WhatWentWrongIsOneLineInTheBubbleThenTheCardComesBack) {
    struct Case {
        FocusOutcome outcome;
        AppLanguage language;
        QString line;  // empty: the card stays
    };
    const Case cases[] = {
        {FocusOutcome::focused, AppLanguage::en, {}},
        {FocusOutcome::waylandNative, AppLanguage::en, u"Can't raise Claude's terminal: it is a Wayland window"_s},
        {FocusOutcome::waylandNative, AppLanguage::zh, u"无法切换到 Claude 的终端：它是 Wayland 窗口"_s},
        {FocusOutcome::noTmuxClient, AppLanguage::en, u"Claude's tmux session has no terminal attached"_s},
        {FocusOutcome::noTmuxClient, AppLanguage::zh, u"Claude 的 tmux 会话没有连接任何终端"_s},
        {FocusOutcome::unknownSession, AppLanguage::en,
         u"Claude's session has ended, so there is no terminal to go to"_s},
    };
    arrive("claude", "c1", AgentEventType::approvalRequired, u"make"_s);
    for (const Case& c : cases) {
        SCOPED_TRACE(rawValue(c.outcome).toStdString());
        settings.setLanguage(c.language);
        outcome = c.outcome;
        const QVariantMap card = pet.bubbleMap();
        pet.goToSession();
        EXPECT_TRUE(pet.bubbleVisible());
        EXPECT_EQ(pet.bubbleMap().value(u"text"_s).toString(), c.line.isEmpty() ? card.value(u"text"_s) : c.line);
        scheduler.advance(5);
        EXPECT_TRUE(pet.bubbleVisible());
        EXPECT_EQ(pet.bubbleMap(), card);
    }
    // Every outcome but focused has a line of its own in each language, naming the agent.
    QSet<QString> lines;
    for (const FocusOutcome other : {FocusOutcome::unknownSession, FocusOutcome::noContext, FocusOutcome::processGone,
                                     FocusOutcome::noWindow, FocusOutcome::severalWindows, FocusOutcome::waylandNative,
                                     FocusOutcome::noDisplay, FocusOutcome::noTmuxClient, FocusOutcome::toolFailed})
        for (const AppLanguage language : {AppLanguage::en, AppLanguage::zh}) {
            settings.setLanguage(language);
            outcome = other;
            pet.goToSession(u"claude:c1"_s);
            const QString line = pet.bubbleMap().value(u"text"_s).toString();
            EXPECT_TRUE(line.contains(u"Claude"_s) && !line.contains(u'\n')) << line.toStdString();
            lines.insert(line);
            scheduler.advance(5);
        }
    EXPECT_EQ(lines.size(), 18);
}

} // namespace
} // namespace nubbo
