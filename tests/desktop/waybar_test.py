"""`nubbo status --waybar` and `nubbo watch --waybar` in a real Waybar on a headless sway, beside the real app.

Two agents fire hooks through the real bridge, one waits on a permission request; at each step (no session,
one waiting, approved with `nubbo approve`) the bar must come to show exactly what its twin shows: the same
bar printing the expected object from a file (the waiting class is drawn in its own colour). The pictures
(grim) go to NUBBO_SHOTS_DIR.

sway refuses to start as root, so a root run hands the whole scene to the user nobody.
NUBBO_APP is the app executable; the app gets an X server of its own (xvfb-run).
"""
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from bar_sessions import bar_app, blank, cli, follow_an_approval, pixels, write_whole  # noqa: E402
from desktop_app import sh, stop, wait_for  # noqa: E402

APP = os.environ["NUBBO_APP"]
SHOTS = os.environ.get("NUBBO_SHOTS_DIR", "/tmp")
WIDTH, HEIGHT, BAR = 800, 200, 30
STYLE = """\
* { font-family: "DejaVu Sans Mono"; font-size: 16px; border: none; border-radius: 0; }
window#waybar { background: #202020; color: #f0f0f0; }
label { padding: 0 8px; }
.waiting { color: #ffcc00; }
"""


class WaybarOnSway(unittest.TestCase):
    def setUp(self):
        self.home, self.env, self.app = bar_app(APP, "nubbo-waybar-")
        self.expected = os.path.join(self.home, "expected.json")
        self.sway = None
        self.before = None

    def tearDown(self):
        if self.sway:
            stop(self.waybar)
            stop(self.sway)
        self.app.quit()
        shutil.rmtree(self.home, ignore_errors=True)

    def write_expected(self, text, bar_class):
        write_whole(self.expected, json.dumps({"text": text, "tooltip": "", "class": bar_class}))

    def start_sway(self):
        """The live bar on top (polled and continuous modules), its twin at the bottom."""
        nubbo = cli(APP)
        live = {"custom/polled": {"exec": f"{nubbo} status --waybar", "return-type": "json", "interval": 1},
                "custom/watched": {"exec": f"{nubbo} watch --waybar", "return-type": "json",
                                   "restart-interval": 1}}
        twin = {name: {"exec": f"cat {self.expected}", "return-type": "json", "interval": 1}
                for name in ("custom/twin-polled", "custom/twin-watched")}
        bars = [dict(live, position="top", height=BAR, **{"modules-left": list(live)}),
                dict(twin, position="bottom", height=BAR, **{"modules-left": list(twin)})]
        files = {"waybar.json": json.dumps(bars), "style.css": STYLE,
                 "sway.conf": f"output HEADLESS-1 resolution {WIDTH}x{HEIGHT}\n"}
        for name, text in files.items():
            with open(os.path.join(self.home, name), "w") as f:
                f.write(text)
        env = dict(self.env, WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
        env.pop("DISPLAY", None)
        self.sway = subprocess.Popen(["sway", "-c", os.path.join(self.home, "sway.conf")], env=env,
                                     stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.home, "sway.log"), "w"))
        run = env["XDG_RUNTIME_DIR"]
        display = wait_for("sway's display", lambda: [os.path.basename(p) for p in glob.glob(run + "/wayland-[0-9]")],
                           20)[0]
        self.grim_env = dict(env, WAYLAND_DISPLAY=display)
        self.waybar = subprocess.Popen(["waybar", "-c", os.path.join(self.home, "waybar.json"), "-s",
                                        os.path.join(self.home, "style.css")], env=self.grim_env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def shows(self, name):
        shot = os.path.join(SHOTS, f"waybar-{name}.png")
        top, bottom = (0, 0, WIDTH, BAR), (0, HEIGHT - BAR, WIDTH, BAR)

        def alike():
            if subprocess.run(["grim", shot], env=self.grim_env, capture_output=True, timeout=10).returncode:
                return False
            live, twin = pixels(shot, top), pixels(shot, bottom)
            # The twin must have taken up the new text first: two bars still showing the last step are alike too.
            if blank(live) or live != twin or twin == self.before:
                return False
            self.before = twin
            return True

        try:
            wait_for(f"the bar to show {name}", alike, 20, step=0.3)
        except AssertionError:
            shown = subprocess.run([cli(APP), "status", "--waybar"], env=self.env, capture_output=True, text=True)
            print(shown.stdout, file=sys.stderr)
            raise

    def test_waybar_shows_the_counts_and_follows_an_approval(self):
        os.makedirs(SHOTS, exist_ok=True)
        self.start_sway()
        steps = [("no-session", "0", "idle"), ("one-waiting", "2 (1 waiting)", "waiting"), ("approved", "2", "working")]
        def show(step):
            name, text, bar_class = step
            self.write_expected(text, bar_class)
            self.shows(name)

        follow_an_approval(APP, self.env, steps, show)


def as_nobody():
    """Runs this file again as nobody on an X server and session bus of its own; its pictures come back here."""
    folder = tempfile.mkdtemp(prefix="nubbo-waybar-shots-")
    shutil.chown(folder, "nobody", "nogroup")
    env = dict(os.environ, NUBBO_SHOTS_DIR=folder, TMPDIR=folder, HOME=folder)
    code = subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "xvfb-run", "-a",
                           "dbus-run-session", "--", sys.executable, os.path.abspath(__file__)], env=env,
                          timeout=240).returncode
    os.makedirs(SHOTS, exist_ok=True)
    for shot in glob.glob(folder + "/*.png"):
        shutil.copy(shot, SHOTS)
    shutil.rmtree(folder, ignore_errors=True)
    return code


if __name__ == "__main__":
    if os.geteuid() == 0:
        sys.exit(as_nobody())
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)
