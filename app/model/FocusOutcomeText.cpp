#include "model/FocusOutcomeText.h"

namespace nubbo {

QString focusOutcomeLine(FocusOutcome outcome, const QString& agent, Language language) {
    const auto line = [&](const char16_t* en, const char16_t* zh) { return bilingual(language, en, zh).arg(agent); };
    switch (outcome) {
    case FocusOutcome::focused:
        return {};
    case FocusOutcome::unknownSession:
        return line(u"%1's session has ended, so there is no terminal to go to", u"%1 的会话已经结束，没有可前往的终端");
    case FocusOutcome::noContext:
        return line(u"%1 didn't say which terminal it runs in: reinstall the hook bridge",
                    u"%1 没有告知它运行在哪个终端：请重新安装钩子桥接");
    case FocusOutcome::processGone:
        return line(u"%1 is no longer running", u"%1 已不在运行");
    case FocusOutcome::noWindow:
        return line(u"Can't find %1's terminal window: it may be a Wayland window",
                    u"找不到 %1 的终端窗口：它可能是 Wayland 窗口");
    case FocusOutcome::severalWindows:
        return line(u"Several windows could be %1's terminal, so none was raised",
                    u"有多个窗口可能是 %1 的终端，所以没有切换");
    case FocusOutcome::waylandNative:
        return line(u"Can't raise %1's terminal: it is a Wayland window", u"无法切换到 %1 的终端：它是 Wayland 窗口");
    case FocusOutcome::noDisplay:
        return line(u"Can't raise %1's terminal without an X11 display", u"没有 X11 显示，无法切换到 %1 的终端");
    case FocusOutcome::noTmuxClient:
        return line(u"%1's tmux session has no terminal attached", u"%1 的 tmux 会话没有连接任何终端");
    case FocusOutcome::toolFailed:
        return line(u"tmux, kitty or WezTerm refused to switch to %1", u"tmux、kitty 或 WezTerm 拒绝切换到 %1");
    }
    return {};
}

} // namespace nubbo
