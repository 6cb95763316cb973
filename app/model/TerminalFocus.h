// Going to the terminal an agent runs in, and telling whether the user is looking at it. The desktop's
// implementation lives in focus/; tests hand in fakes.
#pragma once

#include "model/FocusOutcome.h"
#include "model/TerminalContext.h"

namespace nubbo {

class TerminalFocus {
public:
    virtual ~TerminalFocus() = default;
    // Brings the agent's terminal to the front and focuses it: its window (on its own virtual desktop), its
    // tab, its tmux window and pane. Never a guess: when the target is not certain nothing is raised and
    // the outcome says why. Blocking but bounded (about two seconds at most); safe off the GUI thread.
    virtual FocusOutcome focus(const TerminalContext& context) = 0;
    // The user looks at this terminal now: its window is the active window and, under tmux, its pane is the
    // active pane of an attached client. False whenever that is not certain.
    virtual bool isLookingAt(const TerminalContext& context) = 0;
};

} // namespace nubbo
