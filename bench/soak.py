"""A simulated day of several agents against the assembled app on a real desktop (bench/soak.sh runs it inside
tests/desktop/desktop-session.sh).

Each simulated hour every agent works one session from start to end through the real bridge, several hooks
at once as agents fire them; meanwhile approvals wait on the card and are answered on it (or withdrawn by
their producer), the pet is dragged and clicked, and the language is switched in the settings window and
back. After each hour the app's resident memory, open descriptors, threads and CPU time are sampled. After
the day the app is left alone and its CPU is measured while idle. The run fails when an event is lost, a
bridge exits non-zero, an answer does not reach its bridge, or memory or descriptors keep growing.
"""
import argparse
import concurrent.futures
import json
import os
import shutil
import subprocess
import sys
import threading
import time
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "desktop"))
import atspi_find  # noqa: E402
from desktop_app import App, app_environment, geometry, new_home, pet_window, sh, wait_for  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")

# Each agent's session, hook by hook, as its captured payloads have it. The middle is repeated to make up the
# hour's traffic. Only hooks that always reach the app are used, so sent and logged can be compared exactly.
AGENTS = {
    "claude": ("claude", ["SessionStart.startup", "UserPromptSubmit"],
               ["PreToolUse.Read", "PostToolUse.Read", "PreToolUse.Bash", "PostToolUse.Bash"], ["Stop", "SessionEnd.interactive-exit"]),
    "codex": ("codex", ["SessionStart", "UserPromptSubmit"], ["PreToolUse", "PostToolUse"], ["Stop", "SessionEnd"]),
    "gemini": ("gemini", ["SessionStart", "BeforeAgent"], ["BeforeTool", "AfterTool"], ["AfterAgent", "SessionEnd"]),
    "qwen": ("qwen", ["SessionStart.startup", "UserPromptSubmit.first"],
             ["PreToolUse.read_file", "PostToolUse.read_file", "PreToolUse.run_shell_command",
              "PostToolUse.run_shell_command"], ["Stop"]),
}


def proc_sample(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    with open(f"/proc/{pid}/statm") as f:
        rss = int(f.read().split()[1]) * PAGE / 2**20
    return {"cpu": (int(fields[11]) + int(fields[12])) / TICKS, "rss": rss, "threads": int(fields[17]),
            "fds": len(os.listdir(f"/proc/{pid}/fd"))}


class Payload:
    """One captured hook: its event name and stdin, with the session id swapped for the simulated one."""

    def __init__(self, fixtures, agent, name):
        with open(os.path.join(fixtures, agent, name + ".json")) as f:
            data = json.load(f)
        if "stdin" in data:
            self.event = data["argv"][data["argv"].index("--event") + 1]
            stdin = data["stdin"]
        else:
            self.event = name.split(".")[0]
            stdin = data
        self.session = stdin.get("session_id") or stdin.get("sessionId") or ""
        self.text = json.dumps(stdin)

    def for_session(self, session):
        return self.text.replace(self.session, session).encode() if self.session else self.text.encode()


class Day:
    def __init__(self, args, app, home):
        self.args, self.app, self.home = args, app, home
        # The app's runtime folder (app_environment gives it one in the home), as an agent in its session sees it.
        self.env = {"HOME": home, "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
                    "XDG_RUNTIME_DIR": os.path.join(home, "run")}
        self.agents = {}
        for agent, (source, opening, middle, closing) in AGENTS.items():
            load = lambda names: [Payload(args.fixtures, agent, n) for n in names]
            self.agents[agent] = (source, load(opening), load(middle), load(closing))
        self.permission = Payload(args.fixtures, "claude", "PermissionRequest.Bash")
        self.sent = 0
        self.failures = []
        self.lock = threading.Lock()

    def bridge(self, source, payload, session, timeout=30):
        result = subprocess.run([self.args.bridge, "--source", source, "--event", payload.event],
                                input=payload.for_session(session), env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=timeout)
        return result.returncode, result.stdout

    def traffic(self, events):
        """One hour's sessions, each agent's hooks in order within a session, the sessions side by side."""
        per_agent = events // len(self.agents)
        streams = []
        for agent, (source, opening, middle, closing) in self.agents.items():
            session = str(uuid.uuid4())
            count = max(0, per_agent - len(opening) - len(closing))
            hooks = opening + [middle[i % len(middle)] for i in range(count)] + closing
            streams.append((source, session, hooks))

        def run(stream):
            source, session, hooks = stream
            for payload in hooks:
                code, _ = self.bridge(source, payload, session)
                with self.lock:
                    self.sent += 1
                    if code != 0:
                        self.failures.append(f"{source} {payload.event} exited {code}")

        with concurrent.futures.ThreadPoolExecutor(len(streams)) as pool:
            list(pool.map(run, streams))

    def approval(self, answer):
        """A permission request waits on the card; `answer` is the button clicked, or None to withdraw it."""
        session = str(uuid.uuid4())
        # The previous card must be gone, or its buttons would be found for this one.
        wait_for("the previous card to go", lambda: not atspi_find.find("Nubbo", "push button", "Allow"), 10, 0.1)
        process = subprocess.Popen([self.args.bridge, "--source", "claude", "--event", "PermissionRequest"],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   env=self.env)
        process.stdin.write(self.permission.for_session(session))
        process.stdin.close()
        try:
            wait_for("the approval card", lambda: atspi_find.find("Nubbo", "push button", "Allow"), 20, 0.1)
            # The card slides in; its buttons take clicks once it has rested a moment.
            atspi_find.find_at_rest("Nubbo", "push button", "Allow", 10)
            # The accessibility tree may still list the card that just left (invisible, 60 px to the right)
            # before the live one; the live card's button comes last.
            # A walk of the tree can miss nodes while the app is slow to answer, so the lookup is retried.
            button = self.live_button("Allow")
            if answer is None:
                process.kill()
                process.wait(5)
                wait_for("the card to go", lambda: not atspi_find.find("Nubbo", "push button", "Allow"), 10, 0.1)
                return
            if answer == "Deny":
                button = self.live_button("Deny")
            x, y, w, h = button
            sh("xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1")
            # A click that missed leaves the bridge waiting: it is stopped after 15 s and counted as a failure.
            killer = threading.Timer(15, process.kill)
            killer.start()
            out = process.stdout.read()
            killer.cancel()
            process.wait(10)
            decision = json.loads(out or b"{}").get("hookSpecificOutput", {}).get("decision", {}).get("behavior")
            if process.returncode != 0 or decision != answer.lower():
                self.interaction_failed(f"{answer} reached the bridge as {decision!r} (exit {process.returncode})")
        except Exception as error:  # one failed interaction is a finding, not the end of the day
            process.kill()
            self.interaction_failed(f"approval {answer}: {error!r}")
        finally:
            with self.lock:
                self.sent += 1

    @staticmethod
    def live_button(name):
        return wait_for(f"the card's {name} button", lambda: atspi_find.find_all("Nubbo", "push button", name), 5, 0.1)[-1]

    def interaction_failed(self, what):
        """Records a failed interaction with a screenshot and the app's whole log, both numbered like it."""
        number = len(self.failures)
        sh("import", "-window", "root", f"/tmp/nubbo-soak-failure-{number}.png", check=False)
        log = self.app.log()
        with open(f"/tmp/nubbo-soak-failure-{number}.log", "w") as f:
            f.write(log)
        # Without the traffic's own lines ("bubble Codex · Running ls"), which would hide everything else.
        recent = [l for l in log.splitlines()[-2000:] if " state " not in l and "pet frame" not in l and " · " not in l]
        self.failures.append(what + "\n" + "\n".join(recent[-20:]))

    def drag_and_click(self, hour):
        found = pet_window(self.app.process.pid)
        if not found:
            self.failures.append("no pet window")
            return
        window, (x, y, w, h) = found
        cx, cy = x + w // 2, y + h - 100
        # Up and left, then back down and right: the pet starts in the bottom-right corner and comes back to
        # it, so it never drifts over the settings window's controls (a click there would reach the pet).
        dx, dy = (-200, -60) if hour % 2 else (200, 60)
        sh("xdotool", "mousemove", str(cx), str(cy), "mousedown", "1")
        for i in range(1, 21):
            sh("xdotool", "mousemove", str(cx + dx * i // 20), str(cy + dy * i // 20))
            time.sleep(0.01)
        sh("xdotool", "mouseup", "1")
        time.sleep(0.5)
        nx, ny, nw, nh = geometry(window)
        sh("xdotool", "mousemove", str(nx + nw // 2), str(ny + nh - 100), "click", "1")
        time.sleep(0.6)

    def switch_language(self):
        """Opens the settings window as a second start does, switches to Chinese and back, closes it."""
        subprocess.run([self.args.app], env=self.app_env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=20)
        try:
            window = wait_for("the settings window", lambda: self.app.window("Nubbo Settings"), 10)
            self.app.click("list item", "Design")
            self.app.click("radio button", "中文")
            wait_for("the Chinese title", lambda: self.app.window("Nubbo 设置"), 10)
            self.app.click("radio button", "English")
            window = wait_for("the English title", lambda: self.app.window("Nubbo Settings"), 10)
            # The window manager's close, as a user's click on the title bar's button.
            sh("xdotool", "windowactivate", "--sync", str(window), "key", "alt+F4", check=False)
            wait_for("the settings window to close", lambda: not self.app.window("Nubbo Settings"), 10)
        except AssertionError as error:
            self.failures.append(f"language switch: {error}\n" + self.app.log()[-1200:])


def trace(text):
    print(time.strftime("%H:%M:%S"), text, file=sys.stderr, flush=True)


# Lines seen in each agent-log file, by inode and first line (an inode number may be used again): the log
# rotates (agent.log, agent.log.1, ...) and drops its oldest file, so a file's lines stay counted after it
# is gone. It is sampled far more often than it rotates.
_agent_log_lines = {}


def logged(home):
    folder = os.path.join(home, ".local", "state", "Nubbo")
    for name in ["agent.log"] + [f"agent.log.{n}" for n in range(1, 5)]:
        try:
            with open(os.path.join(folder, name), "rb") as f:
                first = f.readline()
                count = (1 if first else 0) + sum(1 for _ in f)
                _agent_log_lines[(os.fstat(f.fileno()).st_ino, first)] = count
        except FileNotFoundError:
            pass
    return sum(_agent_log_lines.values())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--bridge", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--hours", type=int, default=24)
    parser.add_argument("--events-per-hour", type=int, default=12000)
    parser.add_argument("--idle", type=int, default=60, help="seconds left alone after the day; CPU over the last half")
    args = parser.parse_args()

    home = new_home({"hasOpenedSettingsOnFirstLaunch": True, "settings.approvalMode": "manual"},
                    prefix="nubbo-soak-")
    app = App(args.app, home)
    pid = app.process.pid
    day = Day(args, app, home)
    day.app_env = app_environment(home)
    started = time.monotonic()
    samples = [("start", proc_sample(pid), 0, 0, 0.0)]
    print(f"{'hour':>5} {'sent':>8} {'logged':>8} {'RSS MiB':>8} {'fds':>5} {'threads':>7} {'CPU s':>8} {'wall s':>7}")

    def row(label, sample, sent, seen, wall):
        print(f"{label:>5} {sent:>8} {seen:>8} {sample['rss']:>8.1f} {sample['fds']:>5} {sample['threads']:>7} "
              f"{sample['cpu']:>8.1f} {wall:>7.0f}", flush=True)

    row(*samples[0])
    try:
        for hour in range(1, args.hours + 1):
            traffic = threading.Thread(target=day.traffic, args=(args.events_per_hour,))
            traffic.start()
            for answer in ("Allow", "Deny", None):
                trace(f"hour {hour}: approval {answer}")
                day.approval(answer)
            trace(f"hour {hour}: drag and click")
            day.drag_and_click(hour)
            trace(f"hour {hour}: language")
            day.switch_language()
            traffic.join()
            sent = day.sent
            wait_for("every event in the agent log", lambda: logged(home) >= sent, 30, 0.2)
            samples.append((str(hour), proc_sample(pid), sent, logged(home), time.monotonic() - started))
            row(*samples[-1])
            if app.process.poll() is not None:
                day.failures.append(f"the app exited with {app.process.returncode}")
                break

        time.sleep(args.idle - args.idle // 2)
        before = proc_sample(pid)
        time.sleep(args.idle // 2)
        after = proc_sample(pid)
        idle_cpu = (after["cpu"] - before["cpu"]) / (args.idle // 2) * 100
        samples.append(("idle", after, day.sent, logged(home), time.monotonic() - started))
        row(*samples[-1])
    finally:
        app.quit()
        shutil.rmtree(home, ignore_errors=True)

    first, rest = samples[1][1], [s[1] for s in samples[1:]]
    peak = max(s["rss"] for s in rest)
    end = samples[-1][1]
    print(f"\nevents sent {day.sent}, logged {samples[-1][3]}; resident memory {samples[0][1]['rss']:.1f} MiB at start, "
          f"{first['rss']:.1f} after the first hour, peak {peak:.1f}, end {end['rss']:.1f}; descriptors "
          f"{samples[0][1]['fds']} at start, {first['fds']} after the first hour, {end['fds']} at the end; threads "
          f"{samples[0][1]['threads']} → {end['threads']}; CPU while idle {idle_cpu:.1f} % of a core")
    failures = list(day.failures)
    if samples[-1][3] != day.sent:
        failures.append(f"{day.sent - samples[-1][3]} events not in the agent log")
    # Flat: the second half of the day may not end above its start by more than a small margin.
    half = rest[len(rest) // 2]
    if end["rss"] > half["rss"] * 1.10 + 4:
        failures.append(f"memory grew over the second half: {half['rss']:.1f} → {end['rss']:.1f} MiB")
    if end["fds"] > samples[0][1]["fds"] + 2:
        failures.append(f"descriptors grew: {samples[0][1]['fds']} → {end['fds']}")
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
