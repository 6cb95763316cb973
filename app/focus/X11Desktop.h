// The X11 desktop as going to a terminal needs it: the window manager's managed windows with their process
// and virtual desktop, the active window, a window's parent, and activation. One connection per request
// (XcbDesktop), so a request may run on any thread; tests hand in a fake desktop.
#pragma once

#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

namespace nubbo {

struct ManagedWindow {
    quint32 id = 0;
    qint64 pid = 0;       // _NET_WM_PID; 0 when the window does not say
    qint64 desktop = -1;  // _NET_WM_DESKTOP; -1 unknown, 0xFFFFFFFF on every desktop
};

class X11Connection {
public:
    virtual ~X11Connection() = default;
    // _NET_CLIENT_LIST with each window's pid and desktop; empty when it cannot be read in time.
    virtual std::vector<ManagedWindow> managedWindows() = 0;
    // _NET_ACTIVE_WINDOW; 0 when none or unknown.
    virtual quint32 activeWindow() = 0;
    // The parent window (QueryTree); nullopt at the root or when it cannot be read.
    virtual std::optional<quint32> parentOf(quint32 window) = 0;
    // Switches to the window's desktop when it is on another one, asks the window manager to activate it as
    // a user's request, and waits at most waitMs until it is the active window. False when it did not
    // become so.
    virtual bool activate(const ManagedWindow& window, int waitMs) = 0;
};

class X11Desktop {
public:
    virtual ~X11Desktop() = default;
    // Null when there is no X display to talk to.
    virtual std::unique_ptr<X11Connection> connect() = 0;
};

} // namespace nubbo
