"""The README's pictures, taken from the real app on a desktop like a user's.

Run inside desktop-session.sh (see `make readme-pictures`). Each picture comes from its own run of the app in
a fresh home: the pet in a few states on a light and a dark desktop, an approval card in English and in
Chinese, the settings window's General and Agent Integration pages and the onboarding's last step. Every
cell of a picture is cut to the same rectangle, the smallest that holds what any of them draws.
usage: readme_pictures.py APP OUTPUT_FOLDER
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop_app import App, new_home, pet_window, sh, show_backdrop, wait_for  # noqa: E402

BACKDROPS = {"light": "#e9edf2", "dark": "#1e2127"}
SESSION = {"provider": "claude", "sessionId": "readme", "cwd": "/home/dev/src/parser"}
# (cell name, record, the pet frame that shows it)
PET_STATES = [
    ("thinking", {"type": "thinking", "say": "Let me check how the parser treats blank lines."}, "thinking"),
    ("reading", {"type": "coding", "toolName": "Read", "filePath": "/home/dev/src/parser/parser.cpp",
                 "say": "Reading the parser first."}, "reading"),
    ("running", {"type": "coding", "toolName": "Bash", "command": "npm test",
                 "say": "Running the unit tests before I touch the parser."}, "running"),
    ("done", {"type": "taskCompleted", "message": "All 128 tests pass."}, "success"),
]
CARD = {"type": "approvalRequired", "toolName": "Bash", "command": "git push origin main",
        "message": "git push origin main"}
# Stand-ins for installed agents, so the Agent Integration page shows its pills as on a working machine.
INSTALLED_AGENTS = ("claude", "codex", "gemini")
RUNNING_AGENT = "claude"
READABLE_HOME = "/tmp/ada"
PAD = 14  # around what the pet draws
MARGIN = 24
SCREEN = (1280, 800)  # as make readme-pictures starts Xvfb


def preferences(language, first_launch=False):
    prefs = {"settings.language": language, "settings.approvalMode": "manual"}
    if not first_launch:
        prefs["hasOpenedSettingsOnFirstLaunch"] = True
    return prefs


def desktop(home, shade):
    path = os.path.join(home, shade + ".png")
    sh("convert", "-size", "1280x800", "xc:" + BACKDROPS[shade], path)
    return show_backdrop(path, "backdrop-" + shade)


def pet_cells(app, shade, scenes, folder):
    """One picture of the pet window per scene, its requests left waiting until all are taken."""
    backdrop = desktop(app.home, shade)
    window = wait_for("the pet window", lambda: pet_window(app.process.pid), 10)
    # A margin round the window: the pet's shadow reaches its bottom edge.
    x, y, w, h = window[1]
    x, y = max(0, x - MARGIN), max(0, y - MARGIN)
    w, h = min(SCREEN[0] - x, w + 2 * MARGIN), min(SCREEN[1] - y, h + 2 * MARGIN)
    parked, cells = [], []
    try:
        time.sleep(1.0)
        for name, record, frame in scenes:
            frames = app.log().count(f"pet frame {frame}")
            parked.append(app.send({**SESSION, **record}, answered_at_once=record["type"] != "approvalRequired"))
            wait_for(f"the pet frame {frame}", lambda: app.log().count(f"pet frame {frame}") > frames, 10)
            time.sleep(1.2)  # the bubble's transition is 0.45 s; the loop settles after it
            path = os.path.join(folder, f"{name}-{shade}.png")
            sh("import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", path)
            cells.append(path)
    finally:
        for s in parked:
            s.close()
        backdrop.terminate()
    return cells


def drawn_box(paths, background):
    """(left, top, right, bottom) of the smallest rectangle holding every picture's pixels that differ from
    the background, padded and kept inside the pictures."""
    boxes = []
    for path in paths:
        # The border keeps -trim from taking an edge that is not the background for the background.
        w, h, x, y = (int(v) for v in sh("convert", path, "-bordercolor", background, "-border", "1", "-fuzz", "3%",
                                          "-trim", "-format", "%w %h %X %Y", "info:").split())
        boxes.append((x - 1, y - 1, x - 1 + w, y - 1 + h))
    width, height = (int(v) for v in sh("identify", "-format", "%w %h", paths[0]).split())
    left, top, right, bottom = union(boxes)
    return max(0, left - PAD), max(0, top - PAD), min(width, right + PAD), min(height, bottom + PAD)


def union(boxes):
    return (min(b[0] for b in boxes), min(b[1] for b in boxes), max(b[2] for b in boxes), max(b[3] for b in boxes))


def cut(paths, box):
    left, top, right, bottom = box
    for path in paths:
        sh("mogrify", "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage", path)


def optimised(path):
    """8 bits a channel, no metadata, the tightest compression: the pictures are for a README page."""
    sh("convert", path, "-strip", "-depth", "8", "-define", "png:compression-level=9", path)
    return path


def run_app(app_path, language, shade):
    home = new_home(preferences(language), prefix="readme-pictures-")
    return App(app_path, home, dark=shade == "dark")


def pet_strip(app_path, work, out):
    """The states in a row, a light desktop above a dark one."""
    rows = {}
    for shade in BACKDROPS:
        app = run_app(app_path, "en", shade)
        try:
            rows[shade] = pet_cells(app, shade, PET_STATES, work)
        finally:
            app.quit(remove_home=True)
    # One rectangle for both rows, each row measured against its own desktop.
    box = union([drawn_box(cells, BACKDROPS[shade]) for shade, cells in rows.items()])
    row_images = []
    for shade, cells in rows.items():
        cut(cells, box)
        row_images.append(os.path.join(work, f"row-{shade}.png"))
        sh("convert", *cells, "+append", row_images[-1])
    strip = os.path.join(out, "pet-states.png")
    sh("convert", *row_images, "-append", strip)
    return optimised(strip)


def approval_cards(app_path, work, out):
    """The same request waiting on the card, in English and in Chinese."""
    cells = []
    for language, shade in (("en", "light"), ("zh", "light")):
        app = run_app(app_path, language, shade)
        try:
            cells += pet_cells(app, shade, [(f"card-{language}", CARD, "waitingApproval")], work)
        finally:
            app.quit(remove_home=True)
    cut(cells, drawn_box(cells, BACKDROPS["light"]))
    path = os.path.join(out, "approval-card.png")
    sh("convert", *cells, "+append", path)
    return optimised(path)


def fake_agents(home):
    """Programs named like the agents where the detector looks for them, one of them running."""
    bin_dir = os.path.join(home, ".local", "bin")
    os.makedirs(bin_dir)
    for name in INSTALLED_AGENTS:
        path = os.path.join(bin_dir, name)
        with open(path, "w") as f:
            f.write("#!/bin/sh\nwhile :; do sleep 1; done\n")
        os.chmod(path, 0o755)
    return subprocess.Popen([os.path.join(bin_dir, RUNNING_AGENT)], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def readable_home(prefs):
    """A home with a short name: the Agent Integration page shows the socket's path, which is inside it."""
    try:
        os.mkdir(READABLE_HOME)
    except FileExistsError:  # another run's; leave it alone
        return new_home(prefs, prefix="readme-pictures-")
    return new_home(prefs, home=READABLE_HOME)


def framed(path):
    """A soft shadow round a window, on a transparent page, as it would stand on a desktop."""
    sh("convert", path, "(", "+clone", "-background", "black", "-shadow", "28x10+0+5", ")", "+swap",
       "-background", "none", "-layers", "merge", "+repage", path)
    return path


def windows(app_path, out):
    home = readable_home(preferences("en", first_launch=True))
    running = fake_agents(home)
    app = App(app_path, home)
    pictures = []
    try:
        onboarding = wait_for("the onboarding", lambda: app.window("Welcome to Nubbo"), 15)
        app.click("push button", "Next")
        app.click("push button", "Next")
        time.sleep(1.0)
        pictures.append(app.shot(onboarding, os.path.join(out, "onboarding.png")))
        app.click("push button", "Get Started")
        settings = wait_for("the settings window", lambda: app.window("Nubbo Settings"), 10)
        app.click("list item", "General")
        pictures.append(app.shot(settings, os.path.join(out, "settings-general.png")))
        app.click("list item", "Agent Integration")
        # The detector scans every 3 seconds; let it find the stand-ins.
        time.sleep(4)
        pictures.append(app.shot(settings, os.path.join(out, "settings-agents.png")))
    finally:
        app.quit(remove_home=True)
        running.terminate()
    return [optimised(framed(p)) for p in pictures]


def main(app_path, out):
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="readme-pictures-work-")
    try:
        made = [pet_strip(app_path, work, out), approval_cards(app_path, work, out), *windows(app_path, out)]
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for path in made:
        print(path, sh("identify", "-format", "%wx%h", path), f"{os.path.getsize(path) // 1024} KB")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
