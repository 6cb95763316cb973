// The context menu's items in both languages and what they do.
#include "pet/PetMenuController.h"

#include "ManualTime.h"
#include "PetWorld.h"
#include "pet/PetViewModel.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QMenu>
#include <QUuid>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <utility>

static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace nubbo {
namespace {

class PetMenuTest : public ::testing::Test, protected fakes::PetWorld {
protected:
    std::unique_ptr<QMenu> menu() { return std::unique_ptr<QMenu>(controller.makeMenu()); }
    static QAction* find(QMenu& menu, const QString& title) {
        for (QAction* action : menu.actions())
            if (action->text() == title)
                return action;
        return nullptr;
    }

    PetMenuController controller{model, settings};
};

TEST_F(PetMenuTest, TwentyTwoItemsInOrderWithTitlesInTheDisplayLanguage) {
    const QStringList previews{"Set Idle",      "Set Thinking", "Set Coding",     "Set Reading", "Set Searching",
                               "Set Running",   "Set Browsing", "Set Planning",   "Set Compacting",
                               "Set Responding", "Set Approval", "Set Input",     "Set Success", "Set Warning",
                               "Set Sleeping",  "Set Coffee",   "Set Relaxing",   "Set Walking", "Set Drowsy"};
    const QStringList states{"idle",      "thinking",        "coding",       "reading",  "searching",
                             "running",   "browsing",        "planning",     "compactingContext",
                             "responding", "waitingApproval", "waitingInput", "success", "warning",
                             "sleeping",  "coffee",          "relaxing",     "walking",  "drowsy"};
    const QStringList english{"Reset Nubbo Position", QString::fromUtf16(u"Settings…"), "Quit Nubbo"};
    const QStringList chinese{QString::fromUtf16(u"重置 Nubbo 位置"), QString::fromUtf16(u"设置…"),
                              QString::fromUtf16(u"退出 Nubbo")};
    for (const auto& [language, tail] : {std::pair{AppLanguage::en, english}, std::pair{AppLanguage::zh, chinese}}) {
        settings.setLanguage(language);
        const auto built = menu();
        const QList<QAction*> actions = built->actions();
        ASSERT_EQ(actions.size(), 23);
        for (int i = 0; i < 19; ++i) {
            EXPECT_EQ(actions[i]->text(), previews[i]);
            EXPECT_EQ(actions[i]->data().toString(), states[i]);
            EXPECT_TRUE(actions[i]->shortcut().isEmpty());
        }
        EXPECT_TRUE(actions[19]->isSeparator());
        EXPECT_EQ((QStringList{actions[20]->text(), actions[21]->text(), actions[22]->text()}), tail);
        EXPECT_TRUE(actions[20]->shortcut().isEmpty());
        EXPECT_EQ(actions[21]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        EXPECT_EQ(actions[22]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    }
}

TEST_F(PetMenuTest, PreviewShowsThePoseAndItsLineForThreeSeconds) {
    const auto built = menu();
    find(*built, "Set Warning")->trigger();
    EXPECT_EQ(model.state(), PetState::warning);
    EXPECT_EQ(model.bubbleMap().value("text").toString(), QString::fromUtf16(u"Careful — risky action."));
    scheduler.advance(2.9);
    EXPECT_TRUE(model.bubbleVisible());
    scheduler.advance(0.1);
    EXPECT_FALSE(model.bubbleVisible());

    // Paused, only sleeping takes; the line changes anyway.
    settings.setPauseNubbo(true);
    find(*built, "Set Coding")->trigger();
    EXPECT_EQ(model.state(), PetState::warning);
    EXPECT_EQ(model.bubbleMap().value("text").toString(), bubbleText(PetState::coding, Language::en));
    find(*built, "Set Sleeping")->trigger();
    EXPECT_EQ(model.state(), PetState::sleeping);
}

// Allow All and Ignore Risk each get their item at the top, so the tray is one click back as well.
TEST_F(PetMenuTest, WhileCommandsAreApprovedWithoutAskingTheMenuLeadsWithTheWayBack) {
    struct Row {
        ApprovalMode mode;
        bool bypass;
        AppLanguage language;
        QStringList lead;
    };
    const Row rows[] = {
        {ApprovalMode::fullAuto, false, AppLanguage::en, {}},
        {ApprovalMode::allowAll, false, AppLanguage::en, {"Turn Off Allow All (Back to Smart)"}},
        {ApprovalMode::allowAll, true, AppLanguage::zh,
         {QString::fromUtf16(u"关闭无视风险"), QString::fromUtf16(u"关闭全部允许（回到 Smart 保守）")}},
    };
    for (const Row& row : rows) {
        settings.setApprovalMode(ApprovalMode::smart);
        settings.setApprovalMode(row.mode);
        settings.setBypassRiskCheck(row.bypass);
        settings.setLanguage(row.language);
        const auto built = menu();
        const QList<QAction*> actions = built->actions();
        const qsizetype lead = row.lead.size();
        ASSERT_EQ(actions.size(), 23 + lead + (lead > 0 ? 1 : 0));
        for (qsizetype i = 0; i < lead; ++i) {
            EXPECT_EQ(actions[i]->text(), row.lead[i]);
            actions[i]->trigger();
        }
        EXPECT_FALSE(settings.bypassRiskCheck());
        EXPECT_EQ(settings.approvalMode(), row.mode == ApprovalMode::allowAll ? ApprovalMode::smart : row.mode);
    }
}

} // namespace
} // namespace nubbo
