// Going to the terminal a session runs in, from the pet, the quick panel, a notification or the command
// line. Looks up where the session runs, asks the TerminalFocus away from the caller's thread (it may wait
// on tmux or the X server) and hands the outcome back on the caller's thread.
#pragma once

#include "model/FocusOutcome.h"
#include "model/TerminalContext.h"

#include <QString>

#include <functional>
#include <optional>

namespace nubbo {

class AgentSessionStore;
class TerminalFocus;

class SessionNavigator {
public:
    using Done = std::function<void(FocusOutcome)>;
    // Runs `work` elsewhere and `done` with its result back on the calling thread; tests run both inline.
    using Runner = std::function<void(std::function<FocusOutcome()> work, Done done)>;
    using Log = std::function<void(const QString& line)>;

    SessionNavigator(const AgentSessionStore& store, TerminalFocus& focus, Runner runner, Log log);

    // By the store's key ("claude:abc").
    void goToKey(const QString& key, Done done) const;
    // By the id the agent reported, whichever agent it is; unknownSession when no live session, or more than
    // one, has it.
    void goToSessionId(const QString& sessionId, Done done) const;

    // The store's key of the live session with this reported id; empty when none or several have it.
    std::optional<QString> keyOf(const QString& sessionId) const;

    // A runner on QtConcurrent's pool, delivering back through the calling thread's event loop.
    static Runner threadPoolRunner();

private:
    void go(const std::optional<QString>& key, Done done) const;

    const AgentSessionStore& store_;
    TerminalFocus& focus_;
    Runner runner_;
    Log log_;
};

} // namespace nubbo
