// The pet's context menu: the way back from Allow All and Ignore Risk while either is on, a preview of every
// pose, and the reset, settings and quit commands.
#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace nubbo {

class PetViewModel;
class SettingsStore;

// Main thread only.
class PetMenuController : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void()>;

    PetMenuController(PetViewModel& viewModel, SettingsStore& settings, QObject* parent = nullptr);

    // Installed by the application's start-up; an item whose handler is missing does nothing.
    void setOpenSettingsHandler(Handler handler) { openSettingsHandler_ = std::move(handler); }
    void setResetPositionHandler(Handler handler) { resetPositionHandler_ = std::move(handler); }
    // Ends the application; QCoreApplication::quit unless replaced.
    void setQuitFunction(Handler quit) { quit_ = std::move(quit); }

    // A new menu on every call, so the titles follow the language of the moment. The caller owns it.
    QMenu* makeMenu(QWidget* parent = nullptr);
    // Appends the items to a menu that lives on (the status item's, emptied before each showing).
    void populate(QMenu& menu);
    // Pops a fresh menu up at the global position; it deletes itself once closed.
    QMenu* popup(const QPoint& globalPosition);

    // The items' actions. A preview item carries its state's raw value as the action's data.
    void setStateAction(const QAction* action);
    void resetPositionAction();
    void openSettingsAction();
    void quitAction();

private:
    PetViewModel& viewModel_;
    SettingsStore& settings_;
    Handler openSettingsHandler_;
    Handler resetPositionHandler_;
    Handler quit_;
};

} // namespace nubbo
