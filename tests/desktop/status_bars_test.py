"""`nubbo status --format` in the status bars people run it from: a real Polybar (polling it, and following
`nubbo watch --format` in its tail mode) and a tmux status line (attached in an xterm), beside the real app on a
real X server.

Two agents fire hooks through the real bridge; one waits on a permission request in manual mode. At each step
(no session yet, two sessions with one waiting, the request approved with `nubbo approve`) each bar must come
to show exactly the expected counts: it is compared pixel for pixel with its twin, the same bar printing the
expected text from a file. Screenshots go to NUBBO_SHOTS_DIR.

Run inside desktop-session.sh; NUBBO_APP is the app executable (its bundle carries `nubbo` and the bridge).
"""
import os
import shlex
import shutil
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from bar_sessions import bar_app, blank, cli, follow_an_approval, pixels, write_whole  # noqa: E402
from desktop_app import geometry, sh, stop, wait_for  # noqa: E402

APP = os.environ["NUBBO_APP"]
SHOTS = os.environ.get("NUBBO_SHOTS_DIR", "/tmp")
TEMPLATE = "{agent}: {sessions} sessions, {waiting} waiting"

POLYBAR = """\
[bar/live]
width = 600
height = 32
offset-x = 20
offset-y = 300
override-redirect = true
background = #202020
foreground = #f0f0f0
font-0 = DejaVu Sans Mono:size=13;3
padding-left = 1
modules-left = nubbo

[bar/twin]
inherit = bar/live
offset-y = 360
modules-left = twin

[bar/tail]
inherit = bar/live
offset-y = 420
modules-left = tail

[module/nubbo]
type = custom/script
exec = {cli} status --format '{template}'
interval = 1

[module/tail]
type = custom/script
exec = {cli} watch --format '{template}'
tail = true

[module/twin]
type = custom/script
exec = cat {expected}
interval = 1
"""

TMUX = """\
set -g status-interval 1
set -g status-style bg=colour236,fg=colour255
set -g status-left ''
set -g window-status-format ''
set -g window-status-current-format ''
set -g status-right-length 80
"""


class StatusBarsOnTheDesktop(unittest.TestCase):
    def setUp(self):
        self.home, self.env, self.app = bar_app(APP, "nubbo-bars-")
        self.expected = os.path.join(self.home, "expected")
        self.write_expected("")
        self.processes = []
        self.tmux = ["tmux", "-S", os.path.join(self.home, "tmux.sock")]

    def tearDown(self):
        subprocess.run(self.tmux + ["kill-server"], capture_output=True, timeout=10)
        for process in self.processes:
            stop(process)
        self.app.quit()
        shutil.rmtree(self.home, ignore_errors=True)

    def write_expected(self, text):
        write_whole(self.expected, text + "\n")

    def start(self, args, log):
        with open(os.path.join(self.home, log), "w") as errors:
            process = subprocess.Popen(args, env=self.env, stdout=subprocess.DEVNULL, stderr=errors)
        self.processes.append(process)
        return process

    def window(self, name):
        found = wait_for(f"the window {name}",
                         lambda: sh("xdotool", "search", "--onlyvisible", "--name", name, check=False).split(), 20)
        return geometry(int(found[0]))

    def start_polybar(self):
        config = os.path.join(self.home, "polybar.ini")
        with open(config, "w") as f:
            f.write(POLYBAR.format(cli=shlex.quote(cli(APP)), template=TEMPLATE, expected=shlex.quote(self.expected)))
        for bar in ("live", "tail", "twin"):
            self.start(["polybar", "--config=" + config, bar], f"polybar-{bar}.log")
        live, tail, twin = (self.window(f"^polybar-{bar}_") for bar in ("live", "tail", "twin"))
        return [(live, twin), (tail, twin)]

    def start_tmux(self):
        """Two sessions attached in two xterms: the live one's status-right runs `nubbo status`, the twin's
        prints the expected text. Returns the rectangles of their status lines."""
        config = os.path.join(self.home, "tmux.conf")
        with open(config, "w") as f:
            f.write(TMUX)
        status = {"live": f"#({shlex.quote(cli(APP))} status --format '{TEMPLATE}')",
                  "twin": f"#(cat {shlex.quote(self.expected)})"}
        rows = []
        for n, (session, right) in enumerate(status.items()):
            # The pane's own program ends by itself; the server goes with the test.
            # The server's environment is what its status jobs run with: the app's home and runtime folder.
            for command in (["-f", config, "new-session", "-d", "-s", session, "-x", "56", "-y", "3", "sleep 300"],
                            ["set-option", "-t", session, "status-right", right]):
                subprocess.run(self.tmux + command, env=self.env, check=True, capture_output=True, timeout=10)
            self.start(["xterm", "-T", f"tmux-{session}", "-b", "0", "-fa", "DejaVu Sans Mono", "-fs", "12",
                        "-geometry", f"56x3+660+{60 + 120 * n}", "-e", *self.tmux, "attach", "-t", session],
                       f"xterm-{session}.log")
            x, y, w, h = self.window(f"^tmux-{session}$")
            rows.append((x, y + h - h // 3, w, h // 3))  # the last of the three rows: the status line
        return rows

    def shows(self, name, pairs):
        """Waits until every live bar shows the same pixels as its twin; saves the screen as name."""
        shot = os.path.join(SHOTS, f"status-bars-{name}.png")

        def alike():
            sh("import", "-window", "root", shot)
            now = [(pixels(shot, live), pixels(shot, twin)) for live, twin in pairs]
            # The twin must have taken up the new text first: two bars still showing the last step are alike too.
            if all(live == twin != before for (live, twin), before in zip(now, self.before)):
                self.before = [twin for _, twin in now]
                return True
            return False

        try:
            wait_for(f"the bars to show {name}", alike, 20, step=0.3)
        except AssertionError:
            shown = subprocess.run([cli(APP), "status", "--format", TEMPLATE], env=self.env, capture_output=True,
                                   text=True)
            print(shown.stdout, file=sys.stderr)
            raise

    def test_polybar_and_tmux_show_the_counts_and_follow_an_approval(self):
        os.makedirs(SHOTS, exist_ok=True)
        pairs = [*self.start_polybar(), self.start_tmux()]
        # Once the live bars show text, their twins (no expected text yet) are what a step must change.
        first = os.path.join(SHOTS, "status-bars-start.png")
        wait_for("the live bars' first text",
                 lambda: sh("import", "-window", "root", first) is not None and
                 not any(blank(pixels(first, live)) for live, _ in pairs), 20, step=0.3)
        self.before = [pixels(first, twin) for _, twin in pairs]
        steps = [("no-session", ": 0 sessions, 0 waiting"),
                 ("one-waiting", "claude: 2 sessions, 1 waiting"),
                 ("approved", "claude: 2 sessions, 0 waiting")]
        def show(step):
            name, text = step
            self.write_expected(text)
            self.shows(name, pairs)

        follow_an_approval(APP, self.env, steps, show)


if __name__ == "__main__":
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)
