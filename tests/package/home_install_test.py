"""`make install` and `make uninstall` into a temporary home: the bundle, menu entry and icons arrive where the
desktop finds them, and the uninstall unwires the agents and takes back exactly what the install added.

usage: home_install_test.py SOURCE_DIR RELEASE_TREE      (exits 77, skipped, without a release tree)
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77


def check(condition, message):
    if not condition:
        print("FAILED:", message)
        sys.exit(1)


def trusted(path):
    """Whether the path and every folder above it belong to this user or root and only they can write there."""
    path = os.path.realpath(path)
    while True:
        st = os.stat(path)
        if st.st_uid not in (0, os.getuid()) or st.st_mode & 0o022:
            return False
        if path == "/":
            return True
        path = os.path.dirname(path)


def files_under(root):
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


def main(source, tree):
    if not os.path.isfile(os.path.join(tree, "CMakeCache.txt")):
        print("skipped: no release tree at", tree)
        return SKIP
    # A space in the home folder: every path the install writes must survive it. Not under /tmp: the install
    # refuses a place another user can change, so the home lives in the release tree, or in this user's cache
    # when the tree itself is somewhere others can write.
    parent = tree if trusted(tree) else os.path.expanduser("~/.cache/nubbo-tests")
    os.makedirs(parent, exist_ok=True)
    home = tempfile.mkdtemp(prefix="nubbo home ", dir=parent)
    env = {k: v for k, v in os.environ.items() if not k.startswith(("XDG_", "MAKE", "MFLAGS"))}
    env.update(HOME=home)
    os.makedirs(home + "/.config/Nubbo")
    with open(home + "/.config/Nubbo/preferences.json", "w") as f:
        json.dump({"settings.enable.claude": True}, f)
    os.makedirs(home + "/.claude")
    original = '{\n  "model": "opus"\n}\n'
    with open(home + "/.claude/settings.json", "w") as f:
        f.write(original)
    # An install from before the bundle's current place: it moves, and the menu entry and launch at login
    # follow it.
    old_bundle = home + "/Applications/Nubbo.app"
    os.makedirs(old_bundle + "/Contents/MacOS")
    with open(old_bundle + "/Contents/MacOS/Nubbo", "w") as f:
        f.write("#!/bin/sh\n")
    os.chmod(old_bundle + "/Contents/MacOS/Nubbo", 0o755)
    old_exe = old_bundle + "/Contents/MacOS/Nubbo"
    os.makedirs(home + "/.local/share/applications")
    with open(home + "/.local/share/applications/dev.nubbo.Nubbo.desktop", "w") as f:
        f.write(f'[Desktop Entry]\nType=Application\nName=Nubbo\nExec="{old_exe}"\nX-Nubbo-Bundle={old_bundle}\n')
    # Launch at login was on for that copy.
    autostart = home + "/.config/autostart/nubbo.desktop"
    os.makedirs(home + "/.config/autostart")
    with open(autostart, "w") as f:
        f.write(f'[Desktop Entry]\nType=Application\nName=Nubbo\nExec="{old_exe}"\nTryExec={old_exe}\n'
                "X-GNOME-Autostart-enabled=true\n")
    before = files_under(home)

    def make(target):
        result = subprocess.run(["make", "-s", "-C", source, target, "BUILD=" + tree], env=env,
                                capture_output=True, text=True)
        check(result.returncode == 0, f"make {target}: {result.stdout}{result.stderr}")

    make("install")
    bundle = home + "/.local/lib/nubbo/Nubbo.app"
    exe = bundle + "/Contents/MacOS/Nubbo"
    entry = home + "/.local/share/applications/dev.nubbo.Nubbo.desktop"
    check(os.access(exe, os.X_OK) and os.access(bundle + "/Contents/Helpers/nubbo-bridge", os.X_OK),
          "the bundle's programs are missing")
    check(os.path.isdir(bundle + "/Contents/Resources/PetFrames"), "the bundle has no art")
    validate = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
    check(validate.returncode == 0 and not validate.stdout.strip(), "menu entry: " + validate.stdout)
    text = open(entry).read()
    check(f'\nExec="{exe}"\n' in text and f"\nX-Nubbo-Bundle={bundle}\n" in text, "menu entry:\n" + text)
    for size in ("16x16", "32x32", "48x48", "128x128", "256x256", "512x512"):
        check(os.path.isfile(f"{home}/.local/share/icons/hicolor/{size}/apps/dev.nubbo.Nubbo.png"), "icon " + size)
    check(os.path.isfile(f"{home}/.local/share/icons/hicolor/scalable/apps/dev.nubbo.Nubbo.svg"), "scalable icon")
    check(not os.path.lexists(home + "/Applications"), "the older install's folder is still there")
    text = open(autostart).read()
    check(f'\nExec="{exe}"\n' in text and f"\nTryExec={exe}\n" in text, "launch at login:\n" + text)

    link = home + "/.local/bin/nubbo"
    check(os.path.realpath(link) == os.path.realpath(bundle + "/Contents/MacOS/nubbo"), "no nubbo command in ~/.local/bin")
    focus = subprocess.run([link, "focus", "some-session"], env=env, capture_output=True, text=True, timeout=60)
    check((focus.returncode, focus.stdout) == (3, "nubbo is not running\n"),
          f"nubbo focus without the app: {focus.returncode} {focus.stdout}{focus.stderr}")

    wired = subprocess.run([exe, "--install-hooks"], env=env, capture_output=True, text=True)
    check(wired.stdout == "nubbo: install-hooks OK\n", "install-hooks: " + wired.stdout + wired.stderr)
    check("nubbo-bridge" in open(home + "/.claude/settings.json").read(), "Claude was not wired")

    make("uninstall")
    check(open(home + "/.claude/settings.json").read() == original, "Claude's settings were not given back")
    for gone in (home + "/.local/lib/nubbo", entry, home + "/.nubbo", autostart, link):
        check(not os.path.lexists(gone), "still there: " + gone)
    # Only the app's own settings and data stay, beside what was there before, and the files the wiring
    # created for agents that are switched on but had none (Codex, Gemini), emptied of the app's entries.
    kept = (".local/share/Nubbo/", ".local/state/Nubbo/", ".config/Nubbo/")
    extra = sorted(f for f in files_under(home) - before if not f.startswith(kept))
    emptied = {".codex/hooks.json", ".gemini/settings.json"}
    check(set(extra) <= emptied, "left behind: " + ", ".join(sorted(set(extra) - emptied)))
    for f in extra:
        check("nubbo" not in open(os.path.join(home, f)).read(), f + " still holds the app's entries")
    shutil.rmtree(home)
    print("home install: installed, wired, uninstalled, nothing left")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
