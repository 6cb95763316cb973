"""Screenshots of the real pet window in its main scenes, in both languages, on a light and a dark desktop.

Run inside desktop-session.sh (see `make screenshots`): writes one picture per scene and a contact sheet
"scenes.png" into the output folder. For looking at, not for asserting.
usage: scenes.py APP OUTPUT_FOLDER
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

SCENES = [
    ("message", {"type": "thinking", "message": "thinking"}),
    ("narration", {"type": "coding", "toolName": "Bash", "command": "npm test",
                   "say": "Running the unit tests before I touch the parser."}),
    ("card", {"type": "approvalRequired", "toolName": "Bash", "command": "git push origin main",
              "message": "git push origin main"}),
    ("risky card", {"type": "approvalRequired", "toolName": "Bash", "command": "rm -rf build/ && make clean",
                    "message": "rm -rf build/ && make clean"}),
    ("reading", {"type": "coding", "toolName": "Read", "filePath": "/tmp/src/parser.cpp"}),
    ("searching", {"type": "coding", "toolName": "Grep", "query": "TODO"}),
    ("browsing", {"type": "coding", "toolName": "WebFetch", "url": "https://example.org/"}),
    ("planning", {"type": "coding", "toolName": "TodoWrite"}),
    ("compacting", {"type": "contextCompacting"}),
    ("input", {"type": "inputRequired", "message": "Which branch should I use?"}),
    ("done", {"type": "taskCompleted", "message": "All tests pass."}),
    # Last: another agent's waiting request is the most urgent thing on the pet until it is answered.
    ("veto card", {"provider": "gemini", "type": "approvalRequired", "toolName": "run_shell_command",
                   "command": "sudo rm -rf /var/cache/app", "message": "sudo rm -rf /var/cache/app"}),
]
BACKDROPS = {"light": "#eceff3", "dark": "#1f2227"}


def send(home, record):
    path = os.path.join(home, "Library", "Application Support", "Nubbo", "nubbo.sock")
    s = socket.socket(socket.AF_UNIX)
    s.connect(path)
    s.sendall((json.dumps({"provider": "claude", "sessionId": "scenes", "cwd": "/tmp", **record}) + "\n").encode())
    if record["type"] != "approvalRequired":
        s.recv(100)
        s.close()
    return s


def main(app, out):
    os.makedirs(out, exist_ok=True)
    cells = []
    for language in ("en", "zh"):
        home = tempfile.mkdtemp(prefix="nubbo-scenes-")
        config = os.path.join(home, ".config", "Nubbo")
        os.makedirs(config)
        with open(os.path.join(config, "preferences.json"), "w") as f:
            json.dump({"hasOpenedSettingsOnFirstLaunch": True, "settings.language": language,
                       "settings.approvalMode": "manual", "settings.enable.codex": False,
                       "settings.enable.opencode": False,
                       "settings.enable.claude": False}, f)
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), QT_QPA_PLATFORM="xcb",
                   LANG="C.UTF-8")
        proc = subprocess.Popen([app], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        backdrops = {}
        try:
            sock = os.path.join(home, "Library", "Application Support", "Nubbo", "nubbo.sock")
            for _ in range(200):
                if os.path.exists(sock):
                    break
                time.sleep(0.05)
            for shade, colour in BACKDROPS.items():
                image = os.path.join(home, shade + ".png")
                subprocess.run(["convert", "-size", "1280x800", "xc:" + colour, image], check=True)
                backdrops[shade] = subprocess.Popen(["display", "-geometry", "+0+0", "-title", shade, image])
            time.sleep(1.5)
            parked = []
            for name, record in SCENES:
                parked.append(send(home, record))
                time.sleep(0.9)  # the bubble's transition is 0.45 s
                for shade in BACKDROPS:
                    subprocess.run(["xdotool", "search", "--name", "^" + shade + "$", "windowraise"], check=False)
                    time.sleep(0.2)
                    shot = os.path.join(out, f"{name.replace(' ', '-')}-{language}-{shade}.png")
                    subprocess.run(["import", "-window", "root", "-crop", "360x420+920+380", "+repage", shot],
                                   check=True)
                    cells.append(shot)
            for s in parked:
                s.close()
        finally:
            for p in backdrops.values():
                p.terminate()
            proc.terminate()
            proc.wait(10)
            shutil.rmtree(home, ignore_errors=True)
    sheet = os.path.join(out, "scenes.png")
    subprocess.run(["montage", *cells, "-tile", f"{len(SCENES) * 2}x", "-geometry", "+4+4", sheet], check=True)
    # The README's strip: a few scenes in both languages and shades.
    strip = [os.path.join(out, f"{name}.png") for name in (
        "narration-en-light", "card-en-light", "reading-en-light", "risky-card-zh-dark", "searching-zh-dark",
        "done-zh-dark")]
    subprocess.run(["montage", *strip, "-tile", f"{len(strip)}x", "-geometry", "240x280+2+2", "-background", "white",
                    os.path.join(out, "readme.png")], check=True)
    print(sheet)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
