"""The approval card on a real desktop, answered with the pointer as a hurried user would.

A click at a button's place while its card still slides in answers nothing; the same click once the card has
rested answers. Requests queued behind one another show in turn, each answered on its own card, and every
waiting bridge gets exactly its own verdict, never one meant for the card before it.

Run inside desktop-session.sh; NUBBO_APP is the app executable (its bundle carries the bridge).
"""
import json
import os
import shutil
import subprocess
import sys
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import atspi_find  # noqa: E402
from desktop_app import App, app_environment, new_home, sh, wait_for  # noqa: E402

FIXTURE = os.path.join(HERE, "..", "fixtures", "claude", "PermissionRequest.Bash.json")
SHOTS = os.environ.get("NUBBO_SHOTS_DIR", "/tmp")


class Bridge:
    """One hook firing: the real bridge with Claude's permission payload, waiting for its verdict."""

    def __init__(self, app, session, command):
        with open(FIXTURE) as f:
            payload = json.load(f)
        payload["session_id"] = session
        payload["tool_input"]["command"] = command
        bridge = os.path.join(os.path.dirname(os.path.dirname(os.environ["NUBBO_APP"])), "Helpers", "nubbo-bridge")
        self.process = subprocess.Popen([bridge, "--source", "claude", "--event", "PermissionRequest"],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        env=app.env)
        self.process.stdin.write(json.dumps(payload).encode())
        self.process.stdin.close()
        self.out = None
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        self.out = self.process.stdout.read()

    def waiting(self):
        return self.process.poll() is None

    def verdict(self, timeout=10):
        """The behaviour Claude was told ("allow" or "deny"), once the bridge has exited 0."""
        self.process.wait(timeout)
        self.reader.join(timeout)
        if self.process.returncode != 0:
            raise AssertionError(f"the bridge exited {self.process.returncode}")
        return json.loads(self.out or b"{}").get("hookSpecificOutput", {}).get("decision", {}).get("behavior")

    def stop(self):
        if self.waiting():
            self.process.kill()
            self.process.wait(5)


def centre(rect):
    x, y, w, h = rect
    return x + w // 2, y + h // 2


def click_at(point):
    sh("xdotool", "mousemove", str(point[0]), str(point[1]), "click", "1")


def armed_button(name):
    """The card's button once it takes clicks (the card rested a moment), as the screen places it."""
    found = atspi_find.find_at_rest("Nubbo", "push button", name)
    if not found:
        raise AssertionError(f"the card's {name} button never came to rest")
    return found


class ApprovalCardOnTheDesktop(unittest.TestCase):
    def setUp(self):
        self.home = new_home({"settings.approvalMode": "manual", "hasOpenedSettingsOnFirstLaunch": True,
                              "settings.language": "en"}, prefix="nubbo-card-")
        self.app = App(os.environ["NUBBO_APP"], self.home)
        self.app.env = app_environment(self.home)
        self.bridges = []

    def tearDown(self):
        for bridge in self.bridges:
            bridge.stop()
        self.app.quit()
        shutil.rmtree(self.home, ignore_errors=True)

    def ask(self, session, command):
        bridge = Bridge(self.app, session, command)
        self.bridges.append(bridge)
        return bridge

    def card_came(self, command, since):
        """Waits for the pet's log line of the card for this command, written as the card starts to slide in."""
        wait_for(f"the card for {command!r}", lambda: f"wants to continue: {command}" in self.app.log()[since:], 15,
                 0.05)

    def test_a_hurried_click_answers_nothing_and_queued_requests_are_answered_in_turn(self):
        try:
            self.hurried_and_queued()
        except BaseException:
            # What the app saw, and the screen, for whoever reads the failure.
            sh("import", "-window", "root", os.path.join(SHOTS, "approval-card-failure.png"), check=False)
            lines = [line for line in self.app.log().splitlines() if "pet frame" not in line]
            print("\n".join(lines[-40:]), file=sys.stderr)
            raise

    def hurried_and_queued(self):
        # Where the card's buttons rest: learnt from a first request, answered normally.
        first = self.ask("s0", "touch first")
        allow_at = centre(armed_button("Allow"))
        deny_at = centre(armed_button("Deny"))
        click_at(deny_at)
        self.assertEqual(first.verdict(), "deny")
        wait_for("the card to go", lambda: not atspi_find.find("Nubbo", "push button", "Allow"), 10)

        # A card slides in under a pointer that is already on its way: the click at Allow's place answers
        # nothing, the bridge goes on waiting; the same click once the card has rested answers it.
        hurried = self.ask("s1", "touch hurried")

        def near_rest():
            found = atspi_find.find("Nubbo", "push button", "Allow")
            return found and max(abs(a - b) for a, b in zip(centre(found), allow_at)) <= 3

        # The moment Allow is (all but) where it rests, under the pointer: the click a hurried user makes.
        wait_for("Allow to reach its place", near_rest, 15, 0.01)
        click_at(allow_at)
        time.sleep(1.0)
        self.assertTrue(hurried.waiting(), "a click on a card still sliding in answered it")
        self.assertEqual(centre(armed_button("Allow")), allow_at, "the card rests where the first one did")
        click_at(allow_at)
        self.assertEqual(hurried.verdict(), "allow")

        # Two requests of one session and one of another wait side by side: the card shows the oldest and
        # how many more wait; each answer goes to the bridge whose card it was, and a second click that
        # lands as the next card arrives answers nothing.
        since = len(self.app.log())
        queued = [self.ask("s2", "touch b")]
        self.card_came("touch b", since)
        # One after another, so that the order they wait in is known.
        for session, command, count in (("s2", "touch c", "1 more request waiting"),
                                         ("s3", "touch d", "2 more requests waiting")):
            queued.append(self.ask(session, command))
            wait_for(f"the card to say {count!r}", lambda: atspi_find.find("Nubbo", "label", count), 15, 0.05)
        sh("import", "-window", "root", os.path.join(SHOTS, "approval-card-queue.png"), check=False)
        self.assertEqual(centre(armed_button("Deny")), deny_at)
        click_at(deny_at)
        time.sleep(0.15)
        click_at(deny_at)  # a double click: the second lands on the next card as it comes
        self.assertEqual(queued[0].verdict(), "deny")
        time.sleep(1.0)
        self.assertTrue(queued[1].waiting() and queued[2].waiting(), "the double click answered the next card")
        wait_for("the count of requests waiting", lambda: atspi_find.find("Nubbo", "label", "1 more request waiting"),
                 15, 0.05)
        click_at(centre(armed_button("Allow")))
        self.assertEqual(queued[1].verdict(), "allow")
        click_at(centre(armed_button("Deny")))
        self.assertEqual(queued[2].verdict(), "deny")
        log = self.app.log()
        self.assertEqual(log.count("approval allow on the card"), 2, log[-3000:])
        self.assertEqual(log.count("approval deny on the card"), 3, log[-3000:])


if __name__ == "__main__":
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)
