"""`nubbo remote` against a real OpenSSH server: the second local account is the host. `remote add` wires that
account's Claude settings (its own entry kept, through its symlink) and copies the bridge, which fails open
there when no app answers; `remote list` shows the host; `remote remove` gives the account its files back byte
for byte and takes ~/.nubbo/bin away; a host that cannot be reached stays listed until `--forget`. Prints the
median time of `remote add` over five runs.

Environment: NUBBO_APP (the app binary) and NUBBO_CLI (the `nubbo` beside it). Exit 77 when no server can run.
"""
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import local_sshd  # noqa: E402

USER_SETTINGS = b'{\n    "model": "opus",\n    "hooks": {"Stop": [{"hooks": [{"type": "command", "command": "say done"}]}]}\n}\n'


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def clear_home(account):
    for name in os.listdir(account.pw_dir):
        path = os.path.join(account.pw_dir, name)
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path)
        else:
            os.remove(path)


def give_settings(account):
    """The user's own Claude settings, kept in a dotfiles folder and linked from ~/.claude."""
    home = account.pw_dir
    local_sshd.run_as(account, "mkdir", "-p", f"{home}/dotfiles", f"{home}/.claude", check=True)
    local_sshd.run_as(account, "sh", "-c", f"cat > {home}/dotfiles/claude.json && chmod 640 {home}/dotfiles/claude.json",
                      input=USER_SETTINGS, check=True)
    local_sshd.run_as(account, "ln", "-sfn", "../dotfiles/claude.json", f"{home}/.claude/settings.json", check=True)


def main():
    reason = local_sshd.available()
    if reason:
        print("skipped:", reason)
        return 77
    cli = os.environ["NUBBO_CLI"]
    bridge = os.path.join(os.path.dirname(os.environ["NUBBO_APP"]), "..", "Helpers", "nubbo-bridge")
    with local_sshd.LocalSshd() as server, tempfile.TemporaryDirectory(prefix="nubbo-") as here:
        account = server.account
        home = account.pw_dir
        clear_home(account)
        env = dict(os.environ, HOME=here, XDG_RUNTIME_DIR=os.path.join(here, "run"),
                   PATH=server.ssh_on_path() + ":" + os.environ["PATH"])
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)  # no app runs: the state is "-"
        env.pop("XDG_DATA_HOME", None)
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        data = os.path.join(here, ".local/share/Nubbo")

        def nubbo(*arguments):
            return subprocess.run([cli, "remote", *arguments], env=env, capture_output=True, text=True, timeout=120,
                                  stdin=subprocess.DEVNULL)

        times = []
        for run in range(5):
            give_settings(account)
            started = time.monotonic()
            added = nubbo("add", "testhost")
            times.append(time.monotonic() - started)
            check(added.returncode == 0, f"remote add: {added.returncode} {added.stdout} {added.stderr}")

            with open(f"{home}/dotfiles/claude.json") as f:
                settings = json.load(f)
            check(os.path.islink(f"{home}/.claude/settings.json"), "the link to the user's settings was replaced")
            check(settings["model"] == "opus", "the user's own setting went")
            commands = [h["command"] for entries in settings["hooks"].values() for e in entries for h in e["hooks"]]
            check("say done" in commands, "the user's own hook went")
            check(f"'{home}/.nubbo/bin/nubbo-bridge' --source claude --event PermissionRequest" in commands,
                  f"no hook runs the host's launcher: {commands}")
            with open(bridge, "rb") as a, open(f"{home}/.nubbo/bin/nubbo-bridge-bin", "rb") as b:
                check(a.read() == b.read(), "the copied bridge differs")
            for path, mode in ((".nubbo/bin/nubbo-bridge-bin", 0o755), (".nubbo/bin/nubbo-bridge", 0o755),
                               (".nubbo/run", 0o700), ("dotfiles/claude.json", 0o640)):
                st = os.stat(f"{home}/{path}")
                check(st.st_mode & 0o777 == mode and st.st_uid == account.pw_uid, f"{path}: {oct(st.st_mode)}")
            with open(os.path.join(data, "remote-hosts.json")) as f:
                hosts = json.load(f)["hosts"]
            check([(h["name"], h["destination"], h["port"], h["remoteHome"], h["socketPath"]) for h in hosts] ==
                  [("testhost", "testhost", None, home, f"{home}/.nubbo/run/nubbo.sock")], f"host list: {hosts}")
            check(os.stat(os.path.join(data, "remote-hosts.json")).st_mode & 0o777 == 0o600, "host list is not 0600")

            if run == 0:
                # The hook as the host's agent runs it, as that user over ssh, with no app behind the socket.
                hook = f"'{home}/.nubbo/bin/nubbo-bridge' --source claude --event PermissionRequest"
                for socket in ("NUBBO_SOCKET=/nowhere/nubbo.sock ", ""):
                    started = time.monotonic()
                    ran = server.ssh(socket + hook, input=b'{"tool_name":"Bash","tool_input":{"command":"ls"}}',
                                     capture_output=True, timeout=30)
                    check(ran.returncode == 0 and ran.stdout == b"" and time.monotonic() - started < 5,
                          f"the bridge on the host did not fail open: {ran}")
                listed = nubbo("list")
                rows = listed.stdout.splitlines()
                check(listed.returncode == 0 and len(rows) == 2 and rows[1].split()[:2] == ["testhost", "testhost"]
                      and rows[1].endswith("  -"), f"remote list: {listed}")

            removed = nubbo("remove", "testhost")
            check(removed.returncode == 0, f"remote remove: {removed.returncode} {removed.stdout} {removed.stderr}")
            with open(f"{home}/dotfiles/claude.json", "rb") as f:
                check(f.read() == USER_SETTINGS, "the user's settings did not come back byte for byte")
            check(os.readlink(f"{home}/.claude/settings.json") == "../dotfiles/claude.json", "the link changed")
            check(not os.path.exists(f"{home}/.nubbo/bin") and not os.path.exists(f"{home}/.nubbo/run"),
                  "~/.nubbo/bin or ~/.nubbo/run is left on the host")
            check(nubbo("list").stdout.startswith("No remote hosts"), "the host is still listed")
            check(not os.path.exists(os.path.join(data, "Hosts/testhost")), "the host's local copy is left")

        # A host that went away stays listed until the user says to forget it.
        check(nubbo("add", "testhost").returncode == 0, "remote add after the runs")
        server.stop()
        unreachable = nubbo("remove", "testhost")
        # The app's log lines go to standard error too; the reason is the last line.
        check(unreachable.returncode == 1 and unreachable.stderr.splitlines()[-1].startswith(
              "nubbo: could not reach testhost: ssh: connect to host 127.0.0.1"),
              f"remove of a host that is down: {unreachable}")
        check("testhost" in nubbo("list").stdout, "a host that is down was dropped")
        forgotten = nubbo("remove", "testhost", "--forget")
        check(forgotten.returncode == 0 and nubbo("list").stdout.startswith("No remote hosts"),
              f"remove --forget: {forgotten}")
        check(nubbo("add", "-oProxyCommand=x").returncode == 2, "an option passed for a host is not a usage error")
        clear_home(account)
    print(f"remote add: median {statistics.median(times):.2f} s of {len(times)} "
          f"({', '.join(f'{t:.2f}' for t in times)}), bridge {os.path.getsize(bridge) / 1e6:.1f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
