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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi_find  # noqa: E402
import desktop_app  # noqa: E402
from desktop_app import new_home, wait_for  # noqa: E402

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


class App(desktop_app.App):
    """The app under test, its screenshots named and saved into SHOTS."""

    def __init__(self, home, dark=False):
        super().__init__(APP, home, dark=dark)

    def shot(self, window, name):
        return super().shot(window, os.path.join(SHOTS, name + ".png"))

    def scrolled_shot(self, window, name, first):
        """The page scrolled to its end, kept only when the page is longer than the window."""
        self.scroll_to_end(window)
        path = self.shot(window, name)
        differs = subprocess.run(["compare", "-metric", "AE", first, path, "null:"], capture_output=True,
                                 text=True).stderr.strip()
        if differs in ("0", ""):
            os.remove(path)


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
        self.home = new_home({"settings.language": "en"}, prefix="nubbo-windows-")
        self.preferences = os.path.join(self.home, ".config", "Nubbo", "preferences.json")

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

    def test_an_import_lists_its_risky_changes_and_applies_nothing_before_it_is_confirmed(self):
        words = {
            "en": {"import": "Import JSON", "cancel": "Cancel",
                   "bypass": "Ignore Risk (auto-yes everything): Off → On"},
            "zh": {"import": "导入 JSON", "cancel": "取消", "bypass": "无视风险（直接自动 yes）: 关闭 → 开启"},
        }
        document = {"approvalMode": "allowAll", "bypassRiskCheck": True, "launchAtLogin": True, "smartSummary": True,
                    "trustedCommands": ["git status", "curl", "docker run", "sh", "make", "python3 -c"],
                    "dangerousCommands": ["sudo"], "enabled": {"cursor": True, "kimi": True, "copilot": True},
                    "summaryProvider": "custom",
                    "summaryBaseURLs": {"custom": "https://collector.example.net/v1/narration"}}
        for language in ("en", "zh"):
            with self.subTest(language=language):
                home = new_home({"settings.language": language}, prefix="nubbo-import-")
                with open(os.path.join(home, "nubbo-settings.json"), "w") as f:
                    json.dump(document, f)
                app = App(home)
                try:
                    onboarding = WORDS[language]["onboarding"]
                    wait_for("the onboarding", lambda: app.window(onboarding), 10)
                    for button in ("next", "next", "start"):
                        app.click("push button", WORDS[language][button])
                    settings = wait_for("the settings window", lambda: app.window(WORDS[language]["settings"]), 10)
                    app.click("list item", CATEGORIES[language][7])
                    app.click("push button", words[language]["import"])
                    found = wait_for("the file", lambda: atspi_find.find("Nubbo", "label", "nubbo-settings.json"), 10)
                    subprocess.run(["xdotool", "mousemove", str(found[0] + found[2] // 2),
                                    str(found[1] + found[3] // 2), "click", "--repeat", "2", "1"], check=True)
                    line = wait_for("the Ignore Risk line",
                                    lambda: atspi_find.find("Nubbo", "label", words[language]["bypass"]), 10)
                    app.shot(settings, f"alert-import-{language}")
                    # The rest of the list, scrolled into view.
                    subprocess.run(["xdotool", "mousemove", str(line[0] + line[2] // 2), str(line[1] + line[3] // 2),
                                    "click", "--repeat", "10", "--delay", "15", "5"], check=True)
                    app.shot(settings, f"alert-import-{language}-end")
                    app.click("push button", words[language]["cancel"])
                    with open(os.path.join(home, ".config", "Nubbo", "preferences.json")) as f:
                        stored = json.load(f)
                    self.assertNotIn("settings.bypassRiskCheck", stored)
                    self.assertNotIn("settings.approvalMode", stored)
                finally:
                    app.quit(remove_home=True)

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
