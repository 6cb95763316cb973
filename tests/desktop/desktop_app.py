"""What the desktop tests and picture scripts share: the app in a home of its own, its socket and its windows.

Everything here runs inside desktop-session.sh, on the X server and D-Bus session it was given.
"""
import json
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time

import atspi_find

HERE = os.path.dirname(os.path.abspath(__file__))
PANEL_W, PANEL_H = 280, 360  # the pet window
PET_SIDE = 150  # petSizeScale 1.0


def sh(*args, check=True, timeout=20):
    return subprocess.run(args, check=check, capture_output=True, text=True, timeout=timeout).stdout


def wait_for(what, predicate, timeout=10.0, step=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"gave up waiting for {what}")
        time.sleep(step)


def geometry(window):
    info = sh("xwininfo", "-id", str(window))
    get = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
    return get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"), get("Height")


def pet_window(pid):
    """The process's pet window (found by its size) with its geometry, or None."""
    for window in sh("xdotool", "search", "--onlyvisible", "--pid", str(pid), check=False).split():
        g = geometry(window)
        if g[2:] == (PANEL_W, PANEL_H):
            return int(window), g
    return None


def new_home(preferences, prefix="nubbo-desktop-", home=None):
    """A fresh home (`home`, an empty folder, or a new temporary one) whose ~/.config/Nubbo/preferences.json
    holds these preferences."""
    home = home or tempfile.mkdtemp(prefix=prefix)
    config = os.path.join(home, ".config", "Nubbo")
    os.makedirs(config)
    with open(os.path.join(config, "preferences.json"), "w") as f:
        json.dump(preferences, f)
    return home


def state_path(home, *parts):
    """A file in the app's state folder (its logs)."""
    return os.path.join(home, ".local", "state", "Nubbo", *parts)


def socket_path(home):
    """The app's socket in the home's own runtime folder, which app_environment gives it."""
    return os.path.join(home, "run", "nubbo", "nubbo.sock")


def app_environment(home, **extra):
    runtime = os.path.join(home, "run")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"),
               XDG_STATE_HOME=os.path.join(home, ".local", "state"), XDG_RUNTIME_DIR=runtime,
               LANG="C.UTF-8", QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("QT_QUICK_BACKEND", None)
    env.update(extra)
    return env


def use_dark_qt6ct(home, env):
    """A dark desktop palette through qt6ct, in the light run's face so the two differ in colour only."""
    config = os.path.join(home, ".config", "qt6ct")
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, "qt6ct.conf"), "w") as f:
        f.write("[Appearance]\ncustom_palette=true\n"
                "color_scheme_path=/usr/share/qt6ct/colors/darker.conf\nstyle=Fusion\n"
                "[Fonts]\ngeneral=\"Nimbus Sans,10,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"\n")
    env["QT_QPA_PLATFORMTHEME"] = "qt6ct"


def read_log(path):
    """The app's log so far; nothing before the app has written it."""
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except FileNotFoundError:
        return ""


def stop(process):
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()


def send(socket_path, record, answered_at_once=True):
    """One JSON record as the bridge sends it. A request that waits for a verdict keeps its connection open
    (the app answers on it); close the returned socket to withdraw it."""
    s = socket.socket(socket.AF_UNIX)
    s.connect(socket_path)
    s.sendall((json.dumps(record) + "\n").encode())
    if answered_at_once:
        s.recv(100)
        s.close()
    return s


def show_backdrop(path, title):
    """A full-screen picture as the desktop behind the pet: the compositor keeps painting the root it found
    at its start, so a window, not the root, is what changes the desktop. Stop it with terminate()."""
    process = subprocess.Popen(["display", "-geometry", "+0+0", "-title", title, path],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for(f"the backdrop {title}",
             lambda: sh("xdotool", "search", "--onlyvisible", "--name", f"^{title}$", check=False).strip(), 10)
    return process


class App:
    """The app in a home of its own; `dark` gives it a dark desktop palette through qt6ct."""

    def __init__(self, executable, home, dark=False, environment=None):
        self.home = home
        env = app_environment(home, **(environment or {}))
        if dark:
            use_dark_qt6ct(home, env)
        self.log_path = state_path(home, "nubbo.log")
        self.socket_path = socket_path(home)
        self.process = subprocess.Popen([executable], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the pet's first frame", lambda: "pet first frame" in self.log(), 30, step=0.1)

    def log(self):
        return read_log(self.log_path)

    def send(self, record, answered_at_once=True):
        wait_for("the socket", lambda: os.path.exists(self.socket_path), 10)
        return send(self.socket_path, record, answered_at_once)

    def window(self, title):
        """The app's visible window with this title, or None."""
        out = sh("xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.process.pid), "--name", f"^{title}$",
                 check=False)
        ids = out.split()
        return int(ids[0]) if ids else None

    def click(self, role, name):
        found = wait_for(f"the {role} {name!r}", lambda: atspi_find.find("Nubbo", role, name), 15, step=0.1)
        x, y, w, h = found
        sh("xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1")
        time.sleep(0.35)

    def shot(self, window, path):
        """The window's own pixels, raised first so nothing covers it."""
        os.makedirs(os.path.dirname(path), exist_ok=True)
        sh("xdotool", "windowraise", str(window), check=False)
        time.sleep(0.25)
        sh("import", "-window", str(window), path)
        return path

    def scroll_to_end(self, window):
        x, y = self.origin(window)
        sh("xdotool", "mousemove", str(x + 560), str(y + 400), "click", "--repeat", "25", "--delay", "15", "5")
        time.sleep(0.3)

    @staticmethod
    def origin(window):
        info = dict(line.split("=", 1) for line in sh("xdotool", "getwindowgeometry", "--shell", str(window)).split())
        return int(info["X"]), int(info["Y"])

    def quit(self, remove_home=False):
        stop(self.process)
        if remove_home:
            shutil.rmtree(self.home, ignore_errors=True)
