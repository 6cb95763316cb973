#include "pet/PetMenuController.h"

#include "approvals/ApprovalModeTexts.h"
#include "model/PetBubbleKind.h"
#include "model/PetState.h"
#include "pet/PetViewModel.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMenu>

#include <array>
#include <utility>

namespace nubbo {

namespace {

struct Preview {
    PetState state;
    const char* title;
};

// Every pose but dragging and the reactions, in declaration order. A developer's preview: English only.
constexpr std::array kPreviews{
    Preview{PetState::idle, "Set Idle"},
    Preview{PetState::thinking, "Set Thinking"},
    Preview{PetState::coding, "Set Coding"},
    Preview{PetState::reading, "Set Reading"},
    Preview{PetState::searching, "Set Searching"},
    Preview{PetState::running, "Set Running"},
    Preview{PetState::browsing, "Set Browsing"},
    Preview{PetState::planning, "Set Planning"},
    Preview{PetState::compactingContext, "Set Compacting"},
    Preview{PetState::responding, "Set Responding"},
    Preview{PetState::waitingApproval, "Set Approval"},
    Preview{PetState::waitingInput, "Set Input"},
    Preview{PetState::success, "Set Success"},
    Preview{PetState::warning, "Set Warning"},
    Preview{PetState::sleeping, "Set Sleeping"},
    Preview{PetState::coffee, "Set Coffee"},
    Preview{PetState::relaxing, "Set Relaxing"},
    Preview{PetState::walking, "Set Walking"},
    Preview{PetState::drowsy, "Set Drowsy"},
};

} // namespace

PetMenuController::PetMenuController(PetViewModel& viewModel, SettingsStore& settings, QObject* parent)
    : QObject(parent), viewModel_(viewModel), settings_(settings), quit_([] { QCoreApplication::quit(); }) {}

QMenu* PetMenuController::makeMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    populate(*menu);
    return menu;
}

void PetMenuController::populate(QMenu& target) {
    QMenu* menu = &target;
    // First, so the way back is one click away from the tray as from the quick panel; Ignore Risk, the
    // stronger switch, before Allow All.
    const TrustSettings trust = settings_.trustSettings();
    const Language language = settings_.effectiveLanguage();
    const ApprovalMode previous = settings_.modeBeforeAllowAll();
    if (trust.bypass) {
        QAction* off = menu->addAction(approvalNotice(ApprovalOverride::ignoreRisk, trust, previous, language).menuItem);
        connect(off, &QAction::triggered, &settings_, &SettingsStore::turnOffIgnoreRisk);
    }
    if (trust.mode == ApprovalMode::allowAll) {
        QAction* back = menu->addAction(approvalNotice(ApprovalOverride::allowAll, trust, previous, language).menuItem);
        connect(back, &QAction::triggered, &settings_, &SettingsStore::leaveAllowAll);
    }
    if (trust.bypass || trust.mode == ApprovalMode::allowAll)
        menu->addSeparator();

    for (const Preview& preview : kPreviews) {
        QAction* action = menu->addAction(QString::fromLatin1(preview.title));
        action->setData(rawValue(preview.state));
        connect(action, &QAction::triggered, this, [this, action] { setStateAction(action); });
    }
    menu->addSeparator();

    const bool zh = language == Language::zh;
    QAction* reset =
        menu->addAction(zh ? QString::fromUtf16(u"重置 Nubbo 位置") : QStringLiteral("Reset Nubbo Position"));
    connect(reset, &QAction::triggered, this, &PetMenuController::resetPositionAction);
    QAction* settings = menu->addAction(zh ? QString::fromUtf16(u"设置…") : QString::fromUtf16(u"Settings…"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, &PetMenuController::openSettingsAction);
    QAction* quit = menu->addAction(zh ? QString::fromUtf16(u"退出 Nubbo") : QStringLiteral("Quit Nubbo"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &PetMenuController::quitAction);
}

QMenu* PetMenuController::popup(const QPoint& globalPosition) {
    QMenu* menu = makeMenu();
    // Deferred: the chosen item's action runs after the menu hides.
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    menu->popup(globalPosition);
    return menu;
}

void PetMenuController::setStateAction(const QAction* action) {
    if (!action)
        return;
    const std::optional<PetState> state = petStateFromRaw(action->data().toString());
    if (!state)
        return;
    // Through setState, so the pause switch lets only sleeping through; the line changes regardless.
    viewModel_.setState(*state);
    viewModel_.showBubble(BubbleMessage{bubbleText(*state, settings_.effectiveLanguage())}, false);
}

void PetMenuController::resetPositionAction() {
    if (resetPositionHandler_)
        resetPositionHandler_();
}

void PetMenuController::openSettingsAction() {
    if (openSettingsHandler_)
        openSettingsHandler_();
}

void PetMenuController::quitAction() {
    if (quit_)
        quit_();
}

} // namespace nubbo
