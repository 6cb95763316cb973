"""The settings and onboarding windows on a real X server (run inside desktop-session.sh).

The first launch of a fresh home opens the settings window with the onboarding in front of it; the second
launch opens neither. On the way every settings page and every onboarding step is saved as a screenshot, in
English and Chinese, into NUBBO_SHOTS_DIR/windows, and once more on a dark desktop palette, to be looked at.
Controls are found on the accessibility bus by their names and clicked with xdotool.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import atspi_find  # noqa: E402

APP = os.environ["NUBBO_APP"]
SHOTS = os.path.join(os.environ.get("NUBBO_SHOTS_DIR", tempfile.gettempdir()), "windows")

CATEGORIES = {
    "en": ["General", "Appearance", "Design", "Behavior", "Agent Integration", "Auto Approval", "Notifications",
           "Advanced", "About"],
    "zh": ["通用", "外观", "样式", "行为", "Agent 接入", "自动授权", "通知", "高级", "关于"],
}
WORDS = {
    "en": {"settings": "Nubbo Settings", "onboarding": "Welcome to Nubbo", "next": "Next", "start": "Get Started",
           "rerun": "Rerun Onboarding"},
    "zh": {"settings": "Nubbo 设置", "onboarding": "欢迎使用 Nubbo", "next": "下一步", "start": "开始使用",
           "rerun": "重新运行引导"},
}


def sh(*args, check=True, timeout=20):
    return subprocess.run(args, check=check, capture_output=True, text=True, timeout=timeout).stdout


def wait_for(what, predicate, timeout=10.0):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"gave up waiting for {what}")
        time.sleep(0.1)


class App:
    """The app in a home of its own; `dark` gives it a dark desktop palette through qt6ct."""

    def __init__(self, home, dark=False):
        self.home = home
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_DATA_HOME=os.path.join(home, ".local", "share"), LANG="C.UTF-8", QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        env.pop("QT_QUICK_BACKEND", None)
        if dark:
            config = os.path.join(home, ".config", "qt6ct")
            os.makedirs(config, exist_ok=True)
            with open(os.path.join(config, "qt6ct.conf"), "w") as f:
                f.write("[Appearance]\ncustom_palette=true\n"
                        "color_scheme_path=/usr/share/qt6ct/colors/darker.conf\nstyle=Fusion\n"
                        # The light run's face, so the two differ in colour only.
                        "[Fonts]\ngeneral=\"Nimbus Sans,10,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"\n")
            env["QT_QPA_PLATFORMTHEME"] = "qt6ct"
        self.log_path = os.path.join(home, "Library", "Application Support", "Nubbo", "Logs", "nubbo.log")
        self.process = subprocess.Popen([APP], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the pet's first frame", lambda: "pet first frame" in self.log(), 30)

    def log(self):
        try:
            with open(self.log_path, encoding="utf-8") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def window(self, title):
        """The app's visible window with this title, or None."""
        out = sh("xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.process.pid), "--name", f"^{title}$",
                 check=False)
        ids = out.split()
        return int(ids[0]) if ids else None

    def click(self, role, name):
        found = wait_for(f"the {role} {name!r}", lambda: atspi_find.find("Nubbo", role, name), 15)
        x, y, w, h = found
        sh("xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1")
        time.sleep(0.35)

    def shot(self, window, name):
        os.makedirs(SHOTS, exist_ok=True)
        sh("xdotool", "windowraise", str(window), check=False)
        time.sleep(0.25)
        path = os.path.join(SHOTS, name + ".png")
        sh("import", "-window", str(window), path)
        return path

    def scroll_to_end(self, window):
        x, y = self.origin(window)
        sh("xdotool", "mousemove", str(x + 560), str(y + 400), "click", "--repeat", "25", "--delay", "15", "5")
        time.sleep(0.3)

    def scrolled_shot(self, window, name, first):
        """The page scrolled to its end, kept only when the page is longer than the window."""
        self.scroll_to_end(window)
        path = self.shot(window, name)
        differs = subprocess.run(["compare", "-metric", "AE", first, path, "null:"], capture_output=True,
                                 text=True).stderr.strip()
        if differs in ("0", ""):
            os.remove(path)

    @staticmethod
    def origin(window):
        info = dict(line.split("=", 1) for line in sh("xdotool", "getwindowgeometry", "--shell", str(window)).split())
        return int(info["X"]), int(info["Y"])

    def quit(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


def onboarding_shots(test, app, language, prefix):
    words = WORDS[language]
    window = wait_for("the onboarding window", lambda: app.window(words["onboarding"]), 10)
    for step in range(3):
        app.shot(window, f"{prefix}onboarding-{step + 1}-{language}")
        app.click("push button", words["next"] if step < 2 else words["start"])
    wait_for("Get Started to close the onboarding", lambda: not app.window(words["onboarding"]), 5)
    test.assertIn("onboarding finished", app.log())


def settings_shots(app, language, prefix):
    window = wait_for("the settings window", lambda: app.window(WORDS[language]["settings"]), 10)
    for index, title in enumerate(CATEGORIES[language]):
        app.click("list item", title)
        name = f"{prefix}settings-{index + 1}-{CATEGORIES['en'][index].split()[0].lower()}-{language}"
        first = app.shot(window, name)
        app.scrolled_shot(window, name + "-end", first)
    return window


class FirstAndSecondLaunch(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="nubbo-windows-")
        os.makedirs(os.path.join(self.home, ".config", "Nubbo"))
        self.preferences = os.path.join(self.home, ".config", "Nubbo", "preferences.json")
        with open(self.preferences, "w") as f:
            json.dump({"settings.language": "en"}, f)

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def test_the_first_launch_opens_both_windows_and_the_second_neither(self):
        app = App(self.home)
        try:
            settings = wait_for("the settings window", lambda: app.window(WORDS["en"]["settings"]), 10)
            wait_for("the onboarding in front of it", lambda: app.window(WORDS["en"]["onboarding"]), 10)
            with open(self.preferences) as f:
                self.assertIs(json.load(f).get("hasOpenedSettingsOnFirstLaunch"), True)
            onboarding_shots(self, app, "en", "")
            settings_shots(app, "en", "")

            # Install Bridge asks first; Cancel leaves the agents' files as they were.
            claude = os.path.join(self.home, ".claude", "settings.json")
            with open(claude, "rb") as f:
                before = f.read()
            app.click("list item", "Agent Integration")
            app.scroll_to_end(settings)
            app.click("push button", "Install Bridge")
            app.shot(settings, "alert-install-en")
            app.click("push button", "Cancel")
            with open(claude, "rb") as f:
                self.assertEqual(f.read(), before)
            # Request Permission asks the desktop's notification service (dunst here) and says what answered.
            app.click("list item", "Notifications")
            app.click("push button", "Request Permission")
            wait_for("the answer", lambda: atspi_find.find("Nubbo", "push button", "OK"), 10)
            app.shot(settings, "alert-notifications-en")
            app.click("push button", "OK")

            # The language switches every text at once, the window's title too.
            app.click("list item", "Design")
            app.click("radio button", "中文")
            wait_for("the Chinese title", lambda: app.window(WORDS["zh"]["settings"]), 5)
            settings_shots(app, "zh", "")
            app.click("list item", CATEGORIES["zh"][7])
            app.click("push button", WORDS["zh"]["rerun"])
            onboarding_shots(self, app, "zh", "")
            self.assertTrue(app.window(WORDS["zh"]["settings"]), "closing the onboarding leaves the settings open")
        finally:
            app.quit()

        app = App(self.home)
        try:
            # Past the start-up steps that follow the first frame, nothing but the pet opens.
            wait_for("the end of the start-up", lambda: "start-up finished" in app.log().split("nubbo starting")[-1], 10)
            time.sleep(1)
            self.assertIsNone(app.window(WORDS["zh"]["settings"]))
            self.assertIsNone(app.window(WORDS["zh"]["onboarding"]))
            self.assertNotIn("settings window requested", app.log().split("nubbo starting")[-1])
        finally:
            app.quit()

    def test_dark_desktop_shots(self):
        app = App(self.home, dark=True)
        try:
            onboarding_shots(self, app, "en", "dark-")
            settings_shots(app, "en", "dark-")
        finally:
            app.quit()


if __name__ == "__main__":
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(FirstAndSecondLaunch)
    sys.exit(0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1)
