#include "focus/DesktopTerminalFocus.h"

#include "focus/KittyRemote.h"
#include "focus/TmuxServer.h"
#include "focus/XcbDesktop.h"

#include <algorithm>
#include <unistd.h>

namespace nubbo {
namespace {

constexpr int kMaxWindowDepth = 32;

std::optional<ManagedWindow> managed(const std::vector<ManagedWindow>& windows, quint32 id) {
    const auto it = std::find_if(windows.begin(), windows.end(), [id](const ManagedWindow& w) { return w.id == id; });
    return it == windows.end() ? std::nullopt : std::optional(*it);
}

// Owns the real collaborators of the desktop's focus.
class OwnedDesktopFocus : public TerminalFocus {
public:
    OwnedDesktopFocus()
        : focus_(desktop_, runner_, ProcessTree(),
                 {::getuid(), !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")}) {}
    FocusOutcome focus(const TerminalContext& context) override { return focus_.focus(context); }
    bool isLookingAt(const TerminalContext& context) override { return focus_.isLookingAt(context); }

private:
    XcbDesktop desktop_;
    ProcessRunner runner_;
    DesktopTerminalFocus focus_;
};

} // namespace

DesktopTerminalFocus::DesktopTerminalFocus(X11Desktop& desktop, CommandRunner& runner, ProcessTree processes,
                                           Environment environment)
    : desktop_(desktop), runner_(runner), processes_(std::move(processes)), environment_(environment) {}

std::unique_ptr<TerminalFocus> DesktopTerminalFocus::forThisDesktop() { return std::make_unique<OwnedDesktopFocus>(); }

int DesktopTerminalFocus::remaining(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::min<qint64>(kCommandMs, deadline.remainingTime()));
}

DesktopTerminalFocus::Target DesktopTerminalFocus::windowOf(X11Connection& x, qint64 pid,
                                                           const QString& windowId) const {
    const std::vector<ManagedWindow> windows = x.managedWindows();
    // The nearest ancestor that owns a managed window is the terminal (or the terminal server) it runs in.
    for (const qint64 ancestor : processes_.ancestry(pid)) {
        std::vector<ManagedWindow> owned;
        std::copy_if(windows.begin(), windows.end(), std::back_inserter(owned),
                     [ancestor](const ManagedWindow& w) { return w.pid == ancestor; });
        if (owned.size() == 1)
            return owned.front();
        if (owned.size() > 1)
            return FocusOutcome::severalWindows;
    }
    // WINDOWID may name a child of the terminal's top-level window: walk up to the managed one.
    bool ok = false;
    quint32 window = windowId.toUInt(&ok);
    for (int depth = 0; ok && window != 0 && depth < kMaxWindowDepth; ++depth) {
        if (const auto found = managed(windows, window))
            return *found;
        const auto parent = x.parentOf(window);
        if (!parent)
            break;
        window = *parent;
    }
    return environment_.wayland ? FocusOutcome::waylandNative : FocusOutcome::noWindow;
}

DesktopTerminalFocus::Target DesktopTerminalFocus::tmuxTarget(X11Connection* x, const TerminalContext& context,
                                                             const QDeadlineTimer& deadline) {
    const auto server = TmuxServer::of(context);
    if (!server || !server->socketOwnedBy(environment_.uid))
        return FocusOutcome::toolFailed;
    const auto pane = server->where(runner_, remaining(deadline));
    if (!pane) {
        // Gone only when the server says so; a server that does not answer (another tmux version) is a failure.
        const auto exists = server->paneExists(runner_, remaining(deadline));
        return exists && !*exists ? FocusOutcome::processGone : FocusOutcome::toolFailed;
    }
    const auto clients = server->clients(runner_, remaining(deadline));
    if (!clients)
        return FocusOutcome::toolFailed;
    if (clients->empty())
        return FocusOutcome::noTmuxClient;
    const auto client = TmuxServer::chooseClient(*clients, pane->session);
    if (!client)
        return FocusOutcome::severalWindows;
    // The client's terminal window first: with none, tmux is left as it was. A Wayland-native terminal
    // cannot be raised, but its tmux client can still be switched, so the pane is there when the user goes
    // to that window.
    const Target window = x ? windowOf(*x, client->pid, {})
                            : Target{environment_.wayland ? FocusOutcome::waylandNative : FocusOutcome::noDisplay};
    const auto* failed = std::get_if<FocusOutcome>(&window);
    if (failed && *failed != FocusOutcome::waylandNative)
        return window;
    const QString& target = server->pane();
    for (const QStringList& command : {QStringList{QStringLiteral("switch-client"), QStringLiteral("-c"), client->name,
                                                   QStringLiteral("-t"), target},
                                       QStringList{QStringLiteral("select-window"), QStringLiteral("-t"), target},
                                       QStringList{QStringLiteral("select-pane"), QStringLiteral("-t"), target}})
        if (!server->run(runner_, command, remaining(deadline)))
            return FocusOutcome::toolFailed;
    return window;
}

DesktopTerminalFocus::Target DesktopTerminalFocus::kittyTarget(X11Connection& x, const TerminalContext& context,
                                                              const QDeadlineTimer& deadline) {
    const auto kitty = KittyRemote::of(context);
    if (!kitty || !kitty->socketOwnedBy(environment_.uid))
        return FocusOutcome::toolFailed;
    const auto window = kitty->find(runner_, remaining(deadline));
    if (!window)
        return FocusOutcome::toolFailed;
    const auto osWindow = managed(x.managedWindows(), window->platformWindow);
    if (!osWindow)
        return FocusOutcome::noWindow;
    if (!kitty->focus(runner_, remaining(deadline)))
        return FocusOutcome::toolFailed;
    return *osWindow;
}

DesktopTerminalFocus::Target DesktopTerminalFocus::weztermTarget(X11Connection& x, const TerminalContext& context,
                                                                const QDeadlineTimer& deadline) {
    bool ok = false;
    const qint64 pane = context.weztermPane.toLongLong(&ok);
    if (!ok || pane < 0 || context.weztermPane.size() > 9)
        return FocusOutcome::toolFailed;
    const Target window = windowOf(x, context.agentPid, {});
    if (std::holds_alternative<FocusOutcome>(window))
        return window;
    if (!runner_
             .run(QStringLiteral("wezterm"),
                  {QStringLiteral("cli"), QStringLiteral("activate-pane"), QStringLiteral("--pane-id"),
                   QString::number(pane)},
                  remaining(deadline))
             .ok())
        return FocusOutcome::toolFailed;
    return window;
}

FocusOutcome DesktopTerminalFocus::focus(const TerminalContext& context) {
    const QDeadlineTimer deadline(kBudgetMs);
    if (!context.known())
        return FocusOutcome::noContext;
    if (context.agentPid > 0 && !processes_.alive(context.agentPid))
        return FocusOutcome::processGone;
    const auto x = desktop_.connect();
    const bool tmux = !context.tmux.isEmpty() || !context.tmuxPane.isEmpty();
    if (!x && !(tmux && environment_.wayland))
        return FocusOutcome::noDisplay;
    Target target;
    if (tmux)
        target = tmuxTarget(x.get(), context, deadline);
    else if (!context.kittyWindowId.isEmpty() || !context.kittyListenOn.isEmpty())
        target = kittyTarget(*x, context, deadline);
    else if (!context.weztermPane.isEmpty() && runner_.available(QStringLiteral("wezterm")))
        target = weztermTarget(*x, context, deadline);
    else
        target = windowOf(*x, context.agentPid, context.windowId);
    if (const auto* outcome = std::get_if<FocusOutcome>(&target))
        return *outcome;
    const int wait = static_cast<int>(std::max<qint64>(kActivationMs, deadline.remainingTime()));
    return x->activate(std::get<ManagedWindow>(target), wait) ? FocusOutcome::focused : FocusOutcome::toolFailed;
}

bool DesktopTerminalFocus::tmuxLookingAt(X11Connection& x, const TerminalContext& context, quint32 active) {
    const QDeadlineTimer deadline(kBudgetMs);
    const auto server = TmuxServer::of(context);
    if (!server || !server->socketOwnedBy(environment_.uid))
        return false;
    const auto pane = server->where(runner_, remaining(deadline));
    if (!pane || !pane->paneActive || !pane->windowActive)
        return false;
    const auto clients = server->clients(runner_, remaining(deadline));
    if (!clients)
        return false;
    for (const TmuxClient& client : *clients) {
        if (client.session != pane->session)
            continue;
        const Target window = windowOf(x, client.pid, {});
        if (const auto* w = std::get_if<ManagedWindow>(&window); w && w->id == active)
            return true;
    }
    return false;
}

bool DesktopTerminalFocus::isLookingAt(const TerminalContext& context) {
    if (!context.known() || (context.agentPid > 0 && !processes_.alive(context.agentPid)))
        return false;
    const auto x = desktop_.connect();
    if (!x)
        return false;
    const quint32 active = x->activeWindow();
    if (active == 0)
        return false;
    if (!context.tmux.isEmpty() || !context.tmuxPane.isEmpty())
        return tmuxLookingAt(*x, context, active);
    if (!context.kittyWindowId.isEmpty() || !context.kittyListenOn.isEmpty()) {
        auto kitty = KittyRemote::of(context);
        if (kitty && !kitty->socketOwnedBy(environment_.uid))
            kitty.reset();
        const auto window = kitty ? kitty->find(runner_, kCommandMs) : std::nullopt;
        return window && window->focused && window->platformWindow == active;
    }
    const Target window = windowOf(*x, context.agentPid, context.windowId);
    const auto* w = std::get_if<ManagedWindow>(&window);
    return w && w->id == active;
}

} // namespace nubbo
