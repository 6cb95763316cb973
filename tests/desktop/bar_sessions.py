"""What the status-bar tests share: agents firing hooks through the real bridge, the `nubbo` command beside the
app, and pictures of a bar compared with a bar that shows the expected text, drawn by the same program.

A bar is checked against a twin: the same bar, same font, whose module only prints a file the test writes.
Two bars that show the same text are the same pixels; no text recognition is needed, and the comparison
fails on any other count, class colour or spelling.
"""
import json
import os
import subprocess
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "fixtures", "claude")


def bundle_program(app, *parts):
    """A program of the app's bundle, from the app executable (Contents/MacOS/Nubbo)."""
    return os.path.join(os.path.dirname(os.path.dirname(app)), *parts)


def cli(app):
    return bundle_program(app, "MacOS", "nubbo")


def bar_app(app, prefix):
    """A fresh home in manual mode and the app started in it: (home, its environment, the App)."""
    from desktop_app import App, app_environment, new_home
    home = new_home({"settings.approvalMode": "manual", "hasOpenedSettingsOnFirstLaunch": True,
                     "settings.language": "en"}, prefix=prefix)
    return home, app_environment(home), App(app, home)


def write_whole(path, text):
    """Replaces the file at once: a twin bar reading it never sees half a line."""
    with open(path + ".new", "w") as f:
        f.write(text)
    os.replace(path + ".new", path)


class Hook:
    """One hook fired by a Claude session through the real bridge; a permission request keeps it waiting."""

    def __init__(self, app, env, event, session, fixture):
        with open(os.path.join(FIXTURES, fixture)) as f:
            payload = json.load(f)
        # As Claude names them: each session its own transcript.
        payload["transcript_path"] = payload["transcript_path"].replace(payload["session_id"], session)
        payload["session_id"] = session
        self.process = subprocess.Popen([bundle_program(app, "Helpers", "nubbo-bridge"), "--source", "claude",
                                         "--event", event], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, env=env)
        self.process.stdin.write(json.dumps(payload).encode())
        self.process.stdin.close()
        self.out = b""
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        self.out = self.process.stdout.read()

    def behaviour(self, timeout=15):
        """What the agent was told ("allow", "deny"), or None for a hook that only reports."""
        self.process.wait(timeout)
        self.reader.join(timeout)
        return json.loads(self.out or b"{}").get("hookSpecificOutput", {}).get("decision", {}).get("behavior")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(5)


def two_sessions(app, env):
    """A session running a command (a session that only thinks ends after a few quiet seconds) and one waiting
    on a permission request; returns the waiting hook."""
    Hook(app, env, "PreToolUse", "s-working", "PreToolUse.Bash.json").behaviour()
    return Hook(app, env, "PermissionRequest", "s-asking", "PermissionRequest.Bash.json")


def nubbo(app, env, *args):
    """`nubbo ARGS` as the app's user runs it: with the app's home and runtime folder. Its stdout."""
    return subprocess.run([cli(app), *args], env=env, check=True, capture_output=True, text=True, timeout=10).stdout


def waiting_request_id(app, env):
    status = json.loads(nubbo(app, env, "status", "--json") or "{}")
    ids = [s["request"]["id"] for s in status.get("sessions", []) if s.get("request")]
    return ids[0] if len(ids) == 1 and len(status["sessions"]) == 2 else None


def pixels(screenshot, rect):
    """The raw RGB bytes of one rectangle (x, y, w, h) of a screenshot file."""
    x, y, w, h = rect
    return subprocess.run(["convert", screenshot, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "rgb:-"],
                          check=True, capture_output=True, timeout=20).stdout


def blank(rgb):
    """Whether the pixels are all of one colour: a bar that shows no text (yet)."""
    return rgb == rgb[:3] * (len(rgb) // 3)


def follow_an_approval(app, env, steps, show):
    """Walks a bar through no session, two sessions with one request waiting, and that request approved with
    `nubbo approve`: `show(step)` checks the bars after each of the three steps, given in that order."""
    asking = None
    try:
        for number, step in enumerate(steps):
            if number == 1:
                asking = two_sessions(app, env)
                from desktop_app import wait_for
                request = wait_for("the request to wait", lambda: waiting_request_id(app, env), 20, step=0.2)
            elif number == 2:
                if nubbo(app, env, "approve", request) != "" or asking.behaviour() != "allow":
                    raise AssertionError("nubbo approve did not allow the waiting request")
            show(step)
    finally:
        if asking:
            asking.stop()
