// A kitty instance reached through its remote control (`kitty @ --to <address>`): which OS window holds a
// kitty window, and focusing that window. Only unix: addresses are used; the window id is a number.
#pragma once

#include "focus/CommandRunner.h"
#include "model/TerminalContext.h"

#include <QString>

#include <optional>
#include <sys/types.h>

namespace nubbo {

struct KittyWindow {
    quint32 platformWindow = 0;  // the X window of its OS window
    bool focused = false;        // the window, its tab and its OS window have the focus
};

class KittyRemote {
public:
    // Null when KITTY_LISTEN_ON is not a unix: address or KITTY_WINDOW_ID is not a window id.
    static std::optional<KittyRemote> of(const TerminalContext& context);

    // The address is a socket file of `uid`, or an abstract one (which no file stands for).
    bool socketOwnedBy(uid_t uid) const;
    // Where the window is; null when kitty did not answer or does not know the window.
    std::optional<KittyWindow> find(CommandRunner& runner, int timeoutMs) const;
    bool focus(CommandRunner& runner, int timeoutMs) const;

    // From `kitty @ ls` output.
    static std::optional<KittyWindow> findIn(const QByteArray& listing, qint64 windowId);

private:
    KittyRemote(QString address, qint64 window) : address_(std::move(address)), window_(window) {}

    QString address_;
    qint64 window_;
};

} // namespace nubbo
