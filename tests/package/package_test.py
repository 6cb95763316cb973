"""The Debian package on this machine: it passes Debian's checks, installs with apt, the installed app works
(its hook flags, a start on a real X server with its socket serving the installed bridge, nothing loaded that
the package does not depend on), and removing it leaves nothing of it; the launcher it wrote then cleans the
agents' files itself.

usage: package_test.py PACKAGE_DIR        (as root; exits 77, skipped, when that is not possible)
"""
import glob
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

BUNDLE = "/usr/lib/nubbo/Nubbo.app"
SKIP = 77


def run(*args, **kw):
    kw.setdefault("capture_output", True)
    kw.setdefault("text", True)
    return subprocess.run(list(args), **kw)


def check(condition, message):
    if not condition:
        print("FAILED:", message)
        sys.exit(1)


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.05)
    check(False, "timed out waiting for " + what)


def static_checks(deb):
    lint = run("lintian", "--fail-on", "error", deb)
    print(lint.stdout, lint.stderr)
    check(lint.returncode == 0, "lintian reports errors")
    tree = tempfile.mkdtemp(prefix="nubbo-deb-")
    run("dpkg-deb", "-x", deb, tree, check=True)
    desktop = run("desktop-file-validate", tree + "/usr/share/applications/dev.nubbo.Nubbo.desktop")
    check(desktop.returncode == 0 and not desktop.stdout.strip(), "desktop entry: " + desktop.stdout)
    meta = run("appstreamcli", "validate", "--no-net", "--explain",
               tree + "/usr/share/metainfo/dev.nubbo.Nubbo.metainfo.xml")
    print(meta.stdout)
    check(meta.returncode == 0, "AppStream metadata: " + meta.stdout + meta.stderr)
    for size in ("16x16", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256", "512x512", "scalable"):
        check(glob.glob(f"{tree}/usr/share/icons/hicolor/{size}/apps/dev.nubbo.Nubbo.*"), "no icon at " + size)
    shutil.rmtree(tree)


def dependency_closure():
    out = run("apt-cache", "depends", "--recurse", "--installed", "--no-recommends", "--no-suggests",
              "--no-conflicts", "--no-breaks", "--no-replaces", "--no-enhances", "nubbo", check=True).stdout
    names = set()
    for line in out.splitlines():
        name = line.strip().removeprefix("|").removeprefix("Depends:").removeprefix("PreDepends:").strip()
        if name and not name.startswith("<"):
            names.add(name.split(":")[0])
    return names


def owner(path):
    # Debian 12 merged /lib into /usr/lib, but the packages still name most libraries under /lib.
    for candidate in (path, path.removeprefix("/usr")):
        result = run("dpkg", "-S", candidate)
        if result.returncode == 0:
            return result.stdout.split(":")[0].split(",")[0].strip()
    return None


def home_env(home):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("XDG_", "QT_QPA"))}
    # A runtime folder of the home's own, as a login session would give it.
    os.makedirs(home + "/run", mode=0o700, exist_ok=True)
    env.update(HOME=home, XDG_CONFIG_HOME=home + "/.config", XDG_RUNTIME_DIR=home + "/run")
    return env


def send(sock_path, record):
    s = socket.socket(socket.AF_UNIX)
    s.settimeout(5)
    s.connect(sock_path)
    s.sendall((json.dumps(record) + "\n").encode())
    reply = s.recv(100)
    s.close()
    return reply


def exe_of(pid):
    try:
        return os.readlink(f"/proc/{pid}/exe")
    except OSError:
        return None


def started_app(home, env):
    """The installed app on its own X server, as the menu entry starts it; returns the files it loaded."""
    log = home + "/.local/state/Nubbo/nubbo.log"
    sock_path = home + "/run/nubbo/nubbo.sock"
    app = subprocess.Popen(["dbus-run-session", "--", "xvfb-run", "-a", "-s", "-screen 0 1280x800x24", "/usr/bin/nubbo"],
                           env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        started = time.monotonic()
        wait_for(lambda: os.path.exists(log) and "start-up finished" in open(log).read(), 60, "the app's start-up")
        print(f"installed app: start-up finished after {time.monotonic() - started:.2f} s")
        check(send(sock_path, {"provider": "claude", "type": "thinking", "sessionId": "p", "cwd": "/tmp",
                               "message": "hello"}) == b'{"ok":true}\n', "the socket does not answer")
        # A hook as the agent runs it: the launcher, which finds the installed bundle.
        hook = run(home + "/.nubbo/bin/nubbo-bridge", "--source", "claude", "--event", "UserPromptSubmit",
                   input='{"session_id":"pkg","cwd":"/tmp","prompt":"hi"}', env=env)
        check(hook.returncode == 0 and hook.stdout == "", "the launcher's hook run failed: " + hook.stderr)
        agent_log = home + "/.local/state/Nubbo/agent.log"
        wait_for(lambda: os.path.exists(agent_log) and len(open(agent_log).readlines()) == 2, 10, "the hook's event")
        pid = [p for p in os.listdir("/proc") if p.isdigit() and exe_of(p) == BUNDLE + "/Contents/MacOS/Nubbo"]
        check(len(pid) == 1, "one app process expected, found " + repr(pid))
        with open(f"/proc/{pid[0]}/maps") as maps:
            return {line.split()[-1] for line in maps if "/" in line and ".so" in line.split()[-1]}
    finally:
        os.killpg(app.pid, 15)
        app.wait(20)


def main(package_dir):
    debs = sorted(glob.glob(os.path.join(package_dir, "nubbo_*.deb")))
    if os.geteuid() != 0 or not shutil.which("apt-get") or not debs:
        print("skipped: needs root, apt and a package in", package_dir)
        return SKIP
    deb = os.path.abspath(debs[-1])
    static_checks(deb)

    install = run("apt-get", "install", "-y", "-q", "--no-install-recommends", deb,
                  env={**os.environ, "DEBIAN_FRONTEND": "noninteractive"})
    check(install.returncode == 0, "apt install: " + install.stdout + install.stderr)
    files = [f for f in run("dpkg", "-L", "nubbo", check=True).stdout.splitlines() if os.path.isfile(f)]
    try:
        home = tempfile.mkdtemp(prefix="nubbo-pkg-home-")
        env = home_env(home)
        os.makedirs(home + "/.config/Nubbo")
        with open(home + "/.config/Nubbo/preferences.json", "w") as f:
            json.dump({"settings.enable.claude": True}, f)
        os.makedirs(home + "/.claude")
        with open(home + "/.claude/settings.json", "w") as f:
            f.write('{"model": "opus"}\n')

        status = run("/usr/bin/nubbo", "--hooks-status", env=env)
        check(status.returncode == 0 and status.stdout.startswith("nubbo: hooks-status ") and
              "claude=false" in status.stdout, "hooks-status: " + status.stdout + status.stderr)

        loaded = started_app(home, env)
        settings = open(home + "/.claude/settings.json").read()
        check("nubbo-bridge" in settings, "the start-up did not wire Claude")
        # Whatever the app loaded (libraries, Qt plug-ins, QML modules) comes from a package it depends on.
        closure = dependency_closure() | {"nubbo"}
        strays = {path: owner(path) for path in loaded if owner(path) not in closure}
        check(not strays, "loaded but not depended on: " + json.dumps(strays, indent=1))
        print(f"installed app loaded {len(loaded)} libraries, all from its {len(closure)} dependencies")
    finally:
        removal = run("apt-get", "purge", "-y", "-q", "nubbo", env={**os.environ, "DEBIAN_FRONTEND": "noninteractive"})
    check(removal.returncode == 0, "apt purge: " + removal.stdout + removal.stderr)
    check(run("dpkg-query", "-W", "nubbo").returncode != 0 or
          "not-installed" in run("dpkg-query", "-W", "-f=${db:Status-Status}", "nubbo").stdout,
          "the package is still installed")
    left = [f for f in files if os.path.lexists(f)] + ([BUNDLE] if os.path.lexists(BUNDLE) else [])
    check(not left, "left behind: " + ", ".join(left[:10]))

    # The app is gone: the launcher keeps hooks exiting at once, and once the grace period is over (its
    # marker is set back here rather than waited for) it removes the app's entries and then itself.
    launcher = home + "/.nubbo/bin/nubbo-bridge"
    first = run("sh", launcher, "--source", "claude", "--event", "Stop", input="{}", env=env)
    check(first.returncode == 0 and first.stdout == "", "a hook failed once the app was removed")
    with open(home + "/.nubbo/.orphaned", "w") as f:
        f.write(f"{int(time.time()) - 301}\n")
    run("sh", launcher, "--source", "claude", "--event", "Stop", input="{}", env=env)
    check(json.load(open(home + "/.claude/settings.json")) == {"model": "opus"},
          "the self-clean left: " + open(home + "/.claude/settings.json").read())
    check(not os.path.exists(home + "/.nubbo"), "the launcher's folder is still there")
    shutil.rmtree(home)
    print("package: installed, ran, removed and cleaned up")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
