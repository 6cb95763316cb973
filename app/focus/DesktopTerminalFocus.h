// Going to an agent's terminal on an X11 desktop: the window found from the agent's process ancestry (or the
// tmux client's, or WINDOWID), activated on its own virtual desktop; tmux, kitty and WezTerm switched to the
// pane or window with their own command lines. Never a guess: when the target is not certain nothing is
// raised and the outcome says why. Each call opens its own X connection, so calls may run on any thread.
#pragma once

#include "focus/CommandRunner.h"
#include "focus/ProcessTree.h"
#include "focus/X11Desktop.h"
#include "model/TerminalFocus.h"

#include <QDeadlineTimer>

#include <memory>
#include <sys/types.h>
#include <variant>

namespace nubbo {

class DesktopTerminalFocus : public TerminalFocus {
public:
    static constexpr int kBudgetMs = 2000;
    // kitty's remote control is a Python program: each call takes about half a second to start.
    static constexpr int kCommandMs = 1200;
    // The window manager gets at least this long to bring the window in front, even late in the budget.
    static constexpr int kActivationMs = 400;

    struct Environment {
        uid_t uid = 0;
        bool wayland = false;  // WAYLAND_DISPLAY is set: a terminal with no X window is a Wayland-native one
    };

    DesktopTerminalFocus(X11Desktop& desktop, CommandRunner& runner, ProcessTree processes, Environment environment);

    // The real desktop, commands and /proc of this session.
    static std::unique_ptr<TerminalFocus> forThisDesktop();

    FocusOutcome focus(const TerminalContext& context) override;
    bool isLookingAt(const TerminalContext& context) override;

private:
    using Target = std::variant<ManagedWindow, FocusOutcome>;

    // The managed window holding the terminal of process `pid` (or, failing that, X window `windowId`).
    Target windowOf(X11Connection& x, qint64 pid, const QString& windowId) const;
    Target tmuxTarget(X11Connection* x, const TerminalContext& context, const QDeadlineTimer& deadline);
    Target kittyTarget(X11Connection& x, const TerminalContext& context, const QDeadlineTimer& deadline);
    Target weztermTarget(X11Connection& x, const TerminalContext& context, const QDeadlineTimer& deadline);
    bool tmuxLookingAt(X11Connection& x, const TerminalContext& context, quint32 active);
    static int remaining(const QDeadlineTimer& deadline);

    X11Desktop& desktop_;
    CommandRunner& runner_;
    ProcessTree processes_;
    Environment environment_;
};

} // namespace nubbo
