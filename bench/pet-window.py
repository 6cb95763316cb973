"""The pet window's costs on a real X server (run inside tests/desktop/desktop-session.sh by bench/run.sh).

Reports: CPU over 30 s (utime + stime from /proc) in three scenes, resident memory after every state was
shown, the first frame after process start, and hook to pixels (the bridge's thinking event on an idle pet
to the first frame that shows it, from the app's "pet frame <state>" log line).
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

TICKS = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")
PREVIEWS = ["idle", "thinking", "coding", "reading", "searching", "running", "browsing", "planning",
            "compactingContext", "responding", "waitingApproval", "waitingInput", "success", "warning",
            "sleeping", "coffee", "relaxing", "walking", "drowsy"]


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def rss_mib(pid):
    with open(f"/proc/{pid}/statm") as f:
        return int(f.read().split()[1]) * PAGE / 2**20


class App:
    def __init__(self, app_path, preferences):
        self.home = tempfile.mkdtemp(prefix="nubbo-bench-pet-")
        config = os.path.join(self.home, ".config", "Nubbo")
        os.makedirs(config)
        with open(os.path.join(config, "preferences.json"), "w") as f:
            json.dump({"hasOpenedSettingsOnFirstLaunch": True, **preferences}, f)
        self.log_path = os.path.join(self.home, ".local", "state", "Nubbo", "nubbo.log")
        env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_STATE_HOME=os.path.join(self.home, ".local", "state"),
                   QT_QPA_PLATFORM="xcb", LANG="C.UTF-8")
        self.started = time.time()
        self.proc = subprocess.Popen([app_path], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wait_line("pet first frame", 30)

    def lines(self):
        try:
            with open(self.log_path, encoding="utf-8") as f:
                return [line.rstrip("\n").split(" ", 1) for line in f if " " in line]
        except FileNotFoundError:
            return []

    def wait_line(self, text, timeout, after=0.0, match=None):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for stamp, message in self.lines():
                if (match(message) if match else message == text) and float(stamp) >= after:
                    return float(stamp)
            time.sleep(0.002)
        raise RuntimeError(f"no '{text}' in the log")

    def window(self):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)],
                             capture_output=True, text=True).stdout.split()
        for w in out:
            info = subprocess.run(["xwininfo", "-id", w], capture_output=True, text=True).stdout
            if "Width: 280" in info and "Height: 360" in info:
                x = int(info.split("Absolute upper-left X:")[1].split()[0])
                y = int(info.split("Absolute upper-left Y:")[1].split()[0])
                return x, y
        raise RuntimeError("no pet window")

    def preview(self, state):
        """Chooses the state's "Set …" item from the pet's context menu."""
        x, y = self.window()
        subprocess.run(["xdotool", "mousemove", str(x + 140), str(y + 283), "click", "3"], check=True)
        time.sleep(0.4)
        keys = ["Down"] * (PREVIEWS.index(state) + 1) + ["Return"]
        subprocess.run(["xdotool", "key", "--delay", "30", *keys], check=True)
        time.sleep(0.3)

    def cpu_over(self, seconds):
        start = cpu_seconds(self.proc.pid)
        time.sleep(seconds)
        return 100.0 * (cpu_seconds(self.proc.pid) - start) / seconds

    def close(self):
        self.proc.terminate()
        self.proc.wait(10)
        shutil.rmtree(self.home, ignore_errors=True)


def bridge_event(bridge, home, event, payload):
    env = dict(os.environ, HOME=home)
    subprocess.run([bridge, "--source", "claude", "--event", event], input=json.dumps(payload).encode(), env=env,
                   check=True, stdout=subprocess.DEVNULL)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--bridge", required=True)
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--still", required=True, help="a picture for the custom-picture scene")
    args = parser.parse_args()

    firsts = []
    for _ in range(9):
        app = App(args.app, {})
        firsts.append(1000 * (app.wait_line("pet first frame", 5) - app.started))
        app.close()
    print(f"first frame after process start: median {statistics.median(firsts):.0f} ms, "
          f"max {max(firsts):.0f} ms (9 starts; goal <= 300 ms)")

    app = App(args.app, {"settings.idleSleepMinutes": 60})
    # Steady state: the idle life has visited its scenes once, so their frames are decoded. Its scenes
    # change every few seconds, so the figure is the median of three windows.
    time.sleep(20)
    windows = [app.cpu_over(args.seconds) for _ in range(3)]
    idle = statistics.median(windows)
    app.preview("warning")
    busy = app.cpu_over(args.seconds)
    app.close()
    print(f"CPU, idle life with the official frames (4-12 fps): median {idle:.2f} % of one core over {args.seconds:.0f} s "
          f"(windows: {', '.join(f'{w:.2f}' for w in windows)}; goal <= 1 %)")
    print(f"CPU, warning with frames (14 fps): {busy:.2f} % (goal <= 3 %)")

    app = App(args.app, {"settings.petSource": "custom", "settings.customPetPath": args.still})
    time.sleep(2)
    still = app.cpu_over(args.seconds)
    print(f"CPU, idle still picture with its motion loop: {still:.2f} %")
    app.close()

    app = App(args.app, {})
    for state in PREVIEWS:
        app.preview(state)
    # Clicks and double clicks provoke the reactions, each with its own frames.
    x, y = app.window()
    for _ in range(6):
        subprocess.run(["xdotool", "mousemove", str(x + 140), str(y + 283), "click", "--repeat", "2", "--delay", "80", "1"])
        time.sleep(1.2)
        subprocess.run(["xdotool", "click", "1"])
        time.sleep(1.2)
    print(f"resident memory after every state was shown: {rss_mib(app.proc.pid):.1f} MiB (goal <= 80 MB)")

    latencies = []
    for i in range(50):
        session = {"session_id": f"bench-{i}", "cwd": "/tmp"}
        before = time.time()
        bridge_event(args.bridge, app.home, "UserPromptSubmit", {**session, "prompt": "go"})
        shown = app.wait_line("pet frame thinking", 5, after=before)
        latencies.append(1000 * (shown - before))
        bridge_event(args.bridge, app.home, "SessionEnd", session)
        # Back to the idle life, whichever calm pose it picks.
        app.wait_line("a calm pose", 5, after=shown,
                      match=lambda m: m.startswith("pet frame ") and m != "pet frame thinking")
        time.sleep(0.05)
    app.close()
    latencies.sort()
    p99 = latencies[min(len(latencies) - 1, int(0.99 * len(latencies)))]
    print(f"hook to pixels (bridge start to the frame showing thinking): median {statistics.median(latencies):.1f} ms, "
          f"p99 {p99:.1f} ms over 50 runs (goal p99 <= 50 ms)")


if __name__ == "__main__":
    sys.exit(main())
