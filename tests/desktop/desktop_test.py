"""The pet window on a real X server with a window manager, compositor and tray host (desktop-session.sh).

Drives the real app with xdotool, reads the window's properties with xprop and xwininfo, and saves
screenshots into NUBBO_SHOTS_DIR to be looked at.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
# quick_panel_test.py takes the window's measures and helpers from here too.
from desktop_app import (PANEL_H, PANEL_W, PET_SIDE, app_environment, geometry, new_home,  # noqa: E402
                         pet_window, read_log, sh, stop, wait_for)

APP = os.environ["NUBBO_APP"]
SHOTS = os.environ.get("NUBBO_SHOTS_DIR", tempfile.gettempdir())


def screenshot(name):
    os.makedirs(SHOTS, exist_ok=True)
    path = os.path.join(SHOTS, name + ".png")
    sh("import", "-window", "root", path)
    return path


class RunningApp(unittest.TestCase):
    """The app in a fresh home, once per test class."""
    preferences_extra = {}
    environment_extra = {}

    @classmethod
    def prepare_home(cls):
        """Runs before the app starts in the new home."""

    @classmethod
    def setUpClass(cls):
        cls.home = new_home({"settings.edgeSnap": True, "settings.alwaysOnTop": True,
                             "hasOpenedSettingsOnFirstLaunch": True, **cls.preferences_extra})
        cls.preferences = os.path.join(cls.home, ".config", "Nubbo", "preferences.json")
        cls.log_path = os.path.join(cls.home, ".local", "state", "Nubbo", "nubbo.log")
        env = app_environment(cls.home, **cls.environment_extra)
        cls.prepare_home()
        cls.app = subprocess.Popen([APP], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        wait_for("the first frame", lambda: "pet first frame" in cls.log(), 30)
        cls.window = wait_for("the pet window", cls.find_panel, 10)

    @classmethod
    def tearDownClass(cls):
        stop(cls.app)
        shutil.rmtree(cls.home, ignore_errors=True)

    @classmethod
    def log(cls):
        return read_log(cls.log_path)

    @classmethod
    def find_panel(cls):
        found = pet_window(cls.app.pid)
        return found[0] if found else None

class PetOnTheDesktop(RunningApp):
    def pet_centre(self):
        x, y, _, _ = geometry(self.window)
        return x + PANEL_W // 2, y + PANEL_H - 2 - PET_SIDE // 2

    def visible_windows(self):
        return set(sh("xdotool", "search", "--onlyvisible", "--pid", str(self.app.pid), check=False).split())

    def test_1_window_is_a_panel_above_everything_on_every_desktop(self):
        props = sh("xprop", "-id", str(self.window), "_NET_WM_STATE", "_NET_WM_DESKTOP", "WM_HINTS")
        for state in ("_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"):
            self.assertIn(state, props)
        self.assertIn("_NET_WM_DESKTOP(CARDINAL) = 4294967295", props)
        self.assertRegex(props, r"accepts input or input focus: False")
        # The default spot: bottom-right corner of the screen, 24 points in (no panel at the bottom here).
        self.assertEqual(geometry(self.window), (1280 - 280 - 24, 800 - 360 - 24, PANEL_W, PANEL_H))
        screenshot("desktop-idle")

    def test_2_clicks_beside_the_pet_reach_the_window_below(self):
        x, y, _, _ = geometry(self.window)
        events = os.path.join(self.home, "xev.log")
        with open(events, "w") as out:
            below = subprocess.Popen(["xev", "-geometry", f"500x500+{x - 100}+{y - 60}", "-event", "button"],
                                     stdout=out, stderr=subprocess.DEVNULL)
        try:
            wait_for("the window below", lambda: sh("xdotool", "search", "--onlyvisible", "--name", "^Event Tester$",
                                                    check=False).strip(), 10)
            time.sleep(0.3)  # let the window manager finish placing it
            presses = lambda: open(events).read().count("ButtonPress event")
            # Left of the card's widest extent and above the pet square: transparent panel area.
            sh("xdotool", "mousemove", str(x + 12), str(y + 150), "click", "1")
            wait_for("the click to reach the window below", lambda: presses() == 1, 5)
            # On the pet itself the panel takes the click.
            cx, cy = self.pet_centre()
            sh("xdotool", "mousemove", str(cx), str(cy), "click", "1")
            time.sleep(0.5)
            self.assertEqual(presses(), 1)
            screenshot("desktop-bubble-over-window")
        finally:
            below.terminate()
            below.wait(5)

    def test_3_right_click_opens_the_pet_menu(self):
        before = self.visible_windows()
        cx, cy = self.pet_centre()
        sh("xdotool", "mousemove", str(cx), str(cy), "click", "3")
        def popup_menu():
            # The menu is the app's new window tall enough for 22 entries and a separator.
            for window in self.visible_windows() - before:
                if geometry(window)[3] > 22 * 15:
                    return int(window)
            return None
        wait_for("the context menu", popup_menu, 5)
        screenshot("desktop-menu")
        sh("xdotool", "key", "Escape")
        wait_for("the menu to close", lambda: not popup_menu(), 5)

    def test_4_a_drag_moves_the_pet_and_it_snaps_to_the_edge(self):
        x0, y0, _, _ = geometry(self.window)
        cx, cy = self.pet_centre()
        sh("xdotool", "mousemove", str(cx), str(cy), "mousedown", "1")
        # The drag begins once the pointer has moved 4 points, and the panel follows from there.
        sx = cx - 5
        sh("xdotool", "mousemove", str(sx), str(cy))
        time.sleep(0.1)
        # Release so that the panel would rest 30 points from the left edge; the snap takes it to 12.
        target_x = sx + (30 - x0)
        steps = 25
        for i in range(1, steps + 1):
            sh("xdotool", "mousemove", str(sx + (target_x - sx) * i // steps), str(cy - 40 * i // steps))
            time.sleep(0.02)
        time.sleep(0.2)
        sh("xdotool", "mouseup", "1")
        try:
            wait_for("the snap to 12 points from the left edge", lambda: geometry(self.window)[0] == 12, 5)
        except AssertionError:
            raise AssertionError(f"the pet rests at {geometry(self.window)}, started at {(x0, y0)}\n" +
                                 self.log()[-1500:])
        self.assertEqual(geometry(self.window)[1], y0 - 40)

        def saved():
            with open(self.preferences) as f:
                stored = json.load(f)
            return stored.get("pet.originX") == 12 and stored.get("pet.originY") == y0 - 40
        wait_for("the new position to be saved", saved, 5)
        screenshot("desktop-snapped-left")

    def test_5_the_tray_shows_the_status_item(self):
        self.assertNotIn("status item: no system tray", self.log())
        tree = sh("xwininfo", "-root", "-tree")
        panel = re.search(r'"panel": \("panel" "trayer"\)\s+(\d+)x(\d+)', tree)
        self.assertIsNotNone(panel, tree)
        # trayer grows by one icon's width for each embedded icon.
        self.assertGreaterEqual(int(panel.group(1)), 16)


class PetWithoutACompositor(RunningApp):
    """On a desktop that cannot blend, the window is cut to the pixels it draws."""

    def test_transparent_pixels_show_the_desktop_not_black(self):
        x, y, _, _ = geometry(self.window)
        # The pet square's top-left corner is transparent: the paw (and later the art) is drawn inside it.
        corner = (x + (PANEL_W - PET_SIDE) // 2 + 3, y + PANEL_H - 2 - PET_SIDE + 3)
        centre = (x + PANEL_W // 2, y + PANEL_H - 2 - PET_SIDE // 2)

        def colour(point):
            path = screenshot("no-compositor")
            out = sh("convert", path, "-format", f"%[pixel:p{{{point[0]},{point[1]}}}]", "info:")
            return out.strip()
        desktop = wait_for("the window to be cut to its content",
                           lambda: (c := colour(corner)) not in ("black", "srgb(0,0,0)") and c, 5)
        self.assertIn(desktop, ("srgb(111,125,140)", "#6F7D8C"))  # the session's desktop colour
        # The pet itself still draws (its art is decoded off the main thread, so it may come a frame later).
        wait_for("the pet to draw inside the cut", lambda: colour(centre) != desktop, 5)


if __name__ == "__main__":
    selected = PetWithoutACompositor if os.environ.get("NUBBO_NO_COMPOSITOR") == "1" else PetOnTheDesktop
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(selected)
    sys.exit(0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1)
