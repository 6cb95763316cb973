// The decisions of going to a terminal, over a fake X server, a fake /proc and a runner that answers the
// terminals' tools from a table: which window, which tmux client, which commands, and every refusal.
#include "focus/DesktopTerminalFocus.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace nubbo;

namespace {

struct FakeX {
    std::vector<ManagedWindow> windows;
    std::map<quint32, quint32> parents;
    quint32 active = 0;
};

class FakeConnection : public X11Connection {
public:
    explicit FakeConnection(FakeX& x) : x_(x) {}
    std::vector<ManagedWindow> managedWindows() override { return x_.windows; }
    quint32 activeWindow() override { return x_.active; }
    std::optional<quint32> parentOf(quint32 w) override {
        const auto it = x_.parents.find(w);
        return it == x_.parents.end() ? std::nullopt : std::optional(it->second);
    }
    bool activate(const ManagedWindow& w, int waitMs) override {
        EXPECT_GT(waitMs, 0);
        x_.active = w.id;
        return true;
    }

private:
    FakeX& x_;
};

class FakeDesktop : public X11Desktop {
public:
    FakeX x;
    bool display = true;
    std::unique_ptr<X11Connection> connect() override {
        return display ? std::make_unique<FakeConnection>(x) : nullptr;
    }
};

class FakeRunner : public CommandRunner {
public:
    std::map<QString, QByteArray> answers;  // command line → output; anything else fails
    QStringList ran;
    bool available(const QString&) override { return true; }
    CommandResult run(const QString& program, const QStringList& arguments, int timeoutMs) override {
        EXPECT_GT(timeoutMs, 0);
        const QString line = (QStringList{program} + arguments).join(QLatin1Char(' '));
        ran << line;
        const auto it = answers.find(line);
        return it == answers.end() ? CommandResult{true, 1, {}} : CommandResult{true, 0, it->second};
    }
};

// pid → parent; every process runs.
void writeProc(const QString& root, const std::map<qint64, qint64>& parents) {
    for (const auto& [pid, parent] : parents) {
        QDir().mkpath(root + QStringLiteral("/%1").arg(pid));
        QFile stat(root + QStringLiteral("/%1/stat").arg(pid));
        ASSERT_TRUE(stat.open(QIODevice::WriteOnly));
        stat.write(QStringLiteral("%1 (a (b) c) S %2 1 1 0").arg(pid).arg(parent).toUtf8());
    }
}

QString listeningSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path) - 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    return path;
}

TerminalContext ofPid(qint64 pid) {
    TerminalContext context;
    context.agentPid = pid;
    return context;
}

const char* kKittyListing = R"([{"id":1,"platform_window_id":1280,"is_focused":true,"tabs":[
  {"is_focused":true,"windows":[{"id":7,"is_focused":true}]}]}])";

} // namespace

TEST(DesktopTerminalFocusTest, GoesOnlyWhereItIsCertain) {
    QTemporaryDir dir;
    const QString proc = dir.filePath(QStringLiteral("proc"));
    // 30 runs in xterm 20; 31 in a terminal server 22 with two windows; 32 in 23, which has no window of its
    // own; 40 and 41 are tmux clients in xterms 24 and 25.
    writeProc(proc, {{20, 1}, {21, 1}, {22, 1}, {23, 1}, {24, 1}, {25, 1}, {26, 1},
                     {30, 20}, {31, 22}, {32, 23}, {40, 24}, {41, 25}, {50, 26}});
    const QString socket = listeningSocket(dir.filePath(QStringLiteral("tmux")));
    const QString tmux = socket + QStringLiteral(",600,0");
    const QString tmuxPrefix = QStringLiteral("tmux -S ") + socket + QLatin1Char(' ');
    const QString where = tmuxPrefix + QStringLiteral("display-message -p -t %3 #{session_id} #{window_id} #{pane_active} #{window_active}");
    const QString clients = tmuxPrefix + QStringLiteral("list-clients -F #{client_name} #{client_pid} #{client_activity} #{session_id}");
    const QStringList switchTo = {tmuxPrefix + QStringLiteral("switch-client -c /dev/pts/2 -t %3"),
                                  tmuxPrefix + QStringLiteral("select-window -t %3"),
                                  tmuxPrefix + QStringLiteral("select-pane -t %3")};
    const QString panes = tmuxPrefix + QStringLiteral("list-panes -a -F #{pane_id}");
    const QString kittyAddress = QStringLiteral("unix:") + listeningSocket(dir.filePath(QStringLiteral("kitty")));
    const QString kittyLs = QStringLiteral("kitty @ --to %1 ls").arg(kittyAddress);
    const QString kittyFocus = QStringLiteral("kitty @ --to %1 focus-window --match id:7").arg(kittyAddress);

    struct Row {
        const char* name;
        TerminalContext context;
        std::map<QString, QByteArray> answers;
        FocusOutcome outcome;
        quint32 activeAfter;  // starts at 0x999
        QStringList commands;
        bool looking = false;  // isLookingAt, asked after going there
        bool display = true;
        bool wayland = false;
        bool othersSocket = false;
    };
    TerminalContext plain = ofPid(30);
    TerminalContext several = ofPid(31);
    TerminalContext windowIdChild = ofPid(32);
    windowIdChild.windowId = QStringLiteral("769");  // 0x301, a child of managed 0x300
    TerminalContext noWindow = ofPid(32);
    TerminalContext underTmux = ofPid(50);
    underTmux.tmux = tmux;
    underTmux.tmuxPane = QStringLiteral("%3");
    TerminalContext kitty = ofPid(50);
    kitty.kittyListenOn = kittyAddress;
    kitty.kittyWindowId = QStringLiteral("7");
    TerminalContext kittyTcp = kitty;
    kittyTcp.kittyListenOn = QStringLiteral("tcp:localhost:5000");
    TerminalContext wezterm = ofPid(30);
    wezterm.weztermPane = QStringLiteral("4");
    const std::map<QString, QByteArray> tmuxOnSecondClient{
        {where, "$1 @2 1 1\n"}, {clients, "/dev/pts/1 40 100 $0\n/dev/pts/2 41 200 $1\n"},
        {switchTo[0], {}}, {switchTo[1], {}}, {switchTo[2], {}}};
    auto tiedClients = tmuxOnSecondClient;
    tiedClients[clients] = "/dev/pts/1 40 200 $0\n/dev/pts/2 41 200 $1\n";
    auto clientOnWayland = tmuxOnSecondClient;  // its terminal (under 23) has no X window
    clientOnWayland[clients] = "/dev/pts/2 32 200 $1\n";
    auto twoOtherTied = tmuxOnSecondClient;
    twoOtherTied[clients] = "/dev/pts/1 40 200 $0\n/dev/pts/2 41 200 $0\n";

    const std::vector<Row> rows = {
        {"nearest ancestor's window", plain, {}, FocusOutcome::focused, 0x100, {}, true},
        {"two windows for one process", several, {}, FocusOutcome::severalWindows, 0x999, {}},
        {"WINDOWID names a child", windowIdChild, {}, FocusOutcome::focused, 0x300, {}, true},
        {"no window", noWindow, {}, FocusOutcome::noWindow, 0x999, {}},
        {"no window under Wayland", noWindow, {}, FocusOutcome::waylandNative, 0x999, {}, false, true, true},
        {"agent gone", ofPid(77), {}, FocusOutcome::processGone, 0x999, {}},
        {"no display", plain, {}, FocusOutcome::noDisplay, 0x999, {}, false, false},
        {"tmux: the latest client", underTmux, tmuxOnSecondClient, FocusOutcome::focused, 0x250,
         QStringList{where, clients} + switchTo, true},
        {"tmux: a tie goes to the client on the pane's session", underTmux, tiedClients, FocusOutcome::focused, 0x250,
         QStringList{where, clients} + switchTo, true},
        {"tmux under Wayland: the pane switched, the window not raised", underTmux, clientOnWayland,
         FocusOutcome::waylandNative, 0x999, QStringList{where, clients} + switchTo, false, true, true},
        {"tmux under Wayland without X at all", underTmux, clientOnWayland, FocusOutcome::waylandNative, 0x999,
         QStringList{where, clients} + switchTo, false, false, true},
        {"tmux: a tie elsewhere", underTmux, twoOtherTied, FocusOutcome::severalWindows, 0x999, {where, clients}},
        {"tmux: pane gone", underTmux, {{panes, "%1\n%30\n"}}, FocusOutcome::processGone, 0x999, {where, panes}},
        {"tmux: the server does not answer", underTmux, {}, FocusOutcome::toolFailed, 0x999, {where, panes}},
        {"tmux: no client", underTmux, {{where, "$1 @2 1 1\n"}, {clients, ""}}, FocusOutcome::noTmuxClient, 0x999,
         {where, clients}},
        {"tmux: another user's socket", underTmux, tmuxOnSecondClient, FocusOutcome::toolFailed, 0x999, {}, false,
         true, false, true},
        {"kitty", kitty, {{kittyLs, kKittyListing}, {kittyFocus, {}}}, FocusOutcome::focused, 0x500,
         {kittyLs, kittyFocus}, true},
        {"kitty: not a unix: address", kittyTcp, {{kittyLs, kKittyListing}}, FocusOutcome::toolFailed, 0x999, {}},
        {"kitty: another user's socket", kitty, {{kittyLs, kKittyListing}}, FocusOutcome::toolFailed, 0x999, {},
         false, true, false, true},
        {"wezterm", wezterm, {{QStringLiteral("wezterm cli activate-pane --pane-id 4"), {}}}, FocusOutcome::focused,
         0x100, {QStringLiteral("wezterm cli activate-pane --pane-id 4")}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeDesktop desktop;
        desktop.display = row.display;
        desktop.x.windows = {{0x100, 20, 0}, {0x200, 21, 0}, {0x220, 22, 0}, {0x221, 22, 1},
                             {0x300, 0, 0},  {0x240, 24, 0}, {0x250, 25, 1}, {0x500, 26, 0}};
        desktop.x.parents = {{0x301, 0x300}, {0x300, 0x1}};
        desktop.x.active = 0x999;
        FakeRunner runner;
        runner.answers = row.answers;
        DesktopTerminalFocus focus(desktop, runner, ProcessTree(proc),
                                   {::getuid() + (row.othersSocket ? 1u : 0u), row.wayland});
        EXPECT_EQ(rawValue(focus.focus(row.context)), rawValue(row.outcome));
        EXPECT_EQ(desktop.x.active, row.activeAfter);
        EXPECT_EQ(runner.ran, row.commands);
        EXPECT_EQ(focus.isLookingAt(row.context), row.looking);
    }
}
