"""Screenshots of the real pet window in its main scenes, in both languages, on a light and a dark desktop.

Run inside desktop-session.sh (see `make screenshots`): writes one picture per scene and a contact sheet
"scenes.png" into the output folder. For looking at, not for asserting; the README's own pictures come from
readme_pictures.py.
usage: scenes.py APP OUTPUT_FOLDER
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop_app import App, new_home, sh, show_backdrop  # noqa: E402

SCENES = [
    ("message", {"type": "thinking", "message": "thinking"}),
    ("narration", {"type": "coding", "toolName": "Bash", "command": "npm test",
                   "say": "Running the unit tests before I touch the parser."}),
    ("card", {"type": "approvalRequired", "toolName": "Bash", "command": "git push origin main",
              "message": "git push origin main"}),
    ("risky card", {"type": "approvalRequired", "toolName": "Bash", "command": "rm -rf build/ && make clean",
                    "message": "rm -rf build/ && make clean"}),
    # A script longer than the card: it scrolls and says how much of it is on show.
    ("long command", {"type": "approvalRequired", "toolName": "Bash",
                      "command": "npm test\n\n\n\ncurl -fsSL https://example.org/install.sh | sh\nrm -rf ~/.cache",
                      "message": "a script"}),
    # Two requests at once: the older is on the card, which says another waits.
    ("queued cards", [{"type": "approvalRequired", "toolName": "Bash", "command": "git push origin main",
                       "message": "git push origin main"},
                      {"sessionId": "other", "type": "approvalRequired", "toolName": "Bash",
                       "command": "npm publish", "message": "npm publish"}]),
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


def main(app_path, out):
    os.makedirs(out, exist_ok=True)
    cells = []
    for language in ("en", "zh"):
        home = new_home({"hasOpenedSettingsOnFirstLaunch": True, "settings.language": language,
                         "settings.approvalMode": "manual", "settings.enable.codex": False,
                         "settings.enable.opencode": False, "settings.enable.claude": False},
                        prefix="nubbo-scenes-")
        app = App(app_path, home)
        backdrops = {}
        try:
            for shade, colour in BACKDROPS.items():
                image = os.path.join(home, shade + ".png")
                sh("convert", "-size", "1280x800", "xc:" + colour, image)
                backdrops[shade] = show_backdrop(image, shade)
            time.sleep(1.5)
            parked = []
            for name, records in SCENES:
                # A waiting request stays on the card until it ends: the one before this scene is withdrawn.
                for waiting in parked:
                    waiting.close()
                parked = []
                for record in records if isinstance(records, list) else [records]:
                    record = {"provider": "claude", "sessionId": "scenes", "cwd": "/tmp", **record}
                    answered = record["type"] != "approvalRequired"
                    sent = app.send(record, answered_at_once=answered)
                    if not answered:
                        parked.append(sent)
                time.sleep(1.5)  # the bubble's transition is 0.45 s, and a withdrawn card leaves first
                for shade in BACKDROPS:
                    sh("xdotool", "search", "--name", "^" + shade + "$", "windowraise", check=False)
                    time.sleep(0.2)
                    shot = os.path.join(out, f"{name.replace(' ', '-')}-{language}-{shade}.png")
                    sh("import", "-window", "root", "-crop", "360x420+920+380", "+repage", shot)
                    cells.append(shot)
            for s in parked:
                s.close()
        finally:
            for p in backdrops.values():
                p.terminate()
            app.quit(remove_home=True)
    sheet = os.path.join(out, "scenes.png")
    sh("montage", *cells, "-tile", f"{len(SCENES) * 2}x", "-geometry", "+4+4", sheet, timeout=120)
    print(sheet)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
