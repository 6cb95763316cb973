"""The real app keeping its socket forwarded to a real OpenSSH server, whose second account runs the bridge as
an agent on that host would: the host comes up connected, its events reach the app marked with its name, a
permission request from there is answered from here, and when the server goes away the waiting bridge ends
with exit 0 at once and its request is withdrawn. A server that does not forward Unix sockets is told apart.
Prints the bridge's round trip over the forward against the same on this machine, and the time to reconnect.

Run by CTest with NUBBO_APP, NUBBO_BRIDGE, NUBBO_CLI and NUBBO_FIXTURES_DIR, inside a private session bus.
Exit 77 (skipped) when no server can run here.
"""
import json
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import local_sshd  # noqa: E402
from local_sshd import SSHD, LocalSshd  # noqa: E402

APP, BRIDGE, CLI = os.environ["NUBBO_APP"], os.environ["NUBBO_BRIDGE"], os.environ["NUBBO_CLI"]
FIXTURES = os.path.join(os.environ["NUBBO_FIXTURES_DIR"], "claude")
ROUNDS = 50
# An account of its own: other tests of the remote account may run beside this one, and remove its files.
ACCOUNT = "nubbo-forward"

# Times one bridge run after another from the side that runs it: argv = bridge, event, payload file, rounds.
# Prints {"times": [ms, ...], "last": what the last run printed}.
TIMER = """
import json, subprocess, sys, time
command = [sys.argv[1], "--source", "claude", "--event", sys.argv[2]]
payload = open(sys.argv[3], "rb").read()
times = []
for _ in range(int(sys.argv[4])):
    start = time.perf_counter()
    out = subprocess.run(command, input=payload, capture_output=True, check=True).stdout
    times.append((time.perf_counter() - start) * 1000)
print(json.dumps({"times": times, "last": out.decode()}))
"""


def wait_for(what, predicate, timeout=20.0, step=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"gave up waiting for {what}")
        time.sleep(step)


def payload(name, session):
    with open(os.path.join(FIXTURES, name)) as f:
        record = json.load(f)
    record["session_id"] = session
    return json.dumps(record).encode()


def as_account(account, command, env=None, **kwargs):
    """A process of the remote account, started the way local_sshd.run_as runs one."""
    variables = [f"HOME={account.pw_dir}"] + [f"{k}={v}" for k, v in (env or {}).items()]
    return subprocess.Popen(["setpriv", f"--reuid={account.pw_uid}", f"--regid={account.pw_gid}", "--init-groups",
                             "env", *variables, *command], **kwargs)


def install_bridge(account, socket_path):
    """What adding the host leaves there: the bridge, its launcher and the private run folder."""
    nubbo = os.path.join(account.pw_dir, ".nubbo")
    shutil.rmtree(nubbo, ignore_errors=True)
    os.makedirs(os.path.join(nubbo, "bin"))
    os.makedirs(os.path.join(nubbo, "run"), mode=0o700)
    shutil.copy(BRIDGE, os.path.join(nubbo, "bin", "nubbo-bridge-bin"))
    with open(os.path.join(nubbo, "bin", "nubbo-bridge"), "w") as f:
        f.write('#!/bin/sh\n[ -x "$HOME/.nubbo/bin/nubbo-bridge-bin" ] || exit 0\n'
                f'export NUBBO_SOCKET="${{NUBBO_SOCKET:-{socket_path}}}"\n'
                'exec "$HOME/.nubbo/bin/nubbo-bridge-bin" "$@"\n')
    for folder, _, names in os.walk(nubbo):
        os.chown(folder, account.pw_uid, account.pw_gid)
        for name in names:
            os.chown(os.path.join(folder, name), account.pw_uid, account.pw_gid)
            os.chmod(os.path.join(folder, name), 0o755)
    return os.path.join(nubbo, "bin", "nubbo-bridge")


def write_hosts(home, hosts):
    folder = os.path.join(home, ".local", "share", "Nubbo")
    os.makedirs(folder, mode=0o700, exist_ok=True)
    path = os.path.join(folder, "remote-hosts.json")
    with open(path + ".new", "w") as f:
        json.dump({"version": 1, "hosts": hosts}, f)
    os.chmod(path + ".new", 0o600)
    os.replace(path + ".new", path)


def host_entry(name, account, socket_path):
    return {"name": name, "destination": name, "port": None, "remoteHome": account.pw_dir,
            "socketPath": socket_path, "addedAt": "2026-12-11T02:00:00Z"}


class App:
    def __init__(self, home, path_first):
        runtime = os.path.join(home, "run")
        os.makedirs(runtime, mode=0o700)
        os.makedirs(os.path.join(home, ".config", "Nubbo"))
        with open(os.path.join(home, ".config", "Nubbo", "preferences.json"), "w") as f:
            # Smart: a trusted command is allowed at once, which times a whole round trip through the app.
            json.dump({"hasOpenedSettingsOnFirstLaunch": True, "settings.approvalMode": "smart"}, f)
        self.env = {k: v for k, v in os.environ.items()
                    if k in ("DBUS_SESSION_BUS_ADDRESS", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS")}
        self.env.update(PATH=path_first + ":" + os.environ["PATH"], HOME=home, LANG="C.UTF-8",
                        XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                        XDG_STATE_HOME=os.path.join(home, ".local", "state"), XDG_RUNTIME_DIR=runtime,
                        QT_QPA_PLATFORM="offscreen")
        self.log_path = os.path.join(home, ".local", "state", "Nubbo", "nubbo.log")
        self.process = subprocess.Popen([APP], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the app's start", lambda: "start-up finished" in self.log(), 60)

    def log(self):
        try:
            with open(self.log_path, encoding="utf-8") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def cli(self, *arguments):
        return subprocess.run([CLI, *arguments], env=self.env, capture_output=True, text=True, timeout=20)

    def sessions(self):
        return json.loads(self.cli("status", "--json").stdout)["sessions"]

    def session(self, session_id):
        return next((s for s in self.sessions() if s["id"] == session_id), None)

    def remote_hosts(self):
        """The bus property, read with the desktop's own client: name → {name, destination, state, reason}."""
        out = subprocess.run(["gdbus", "call", "--session", "--dest", "dev.nubbo.Nubbo", "--object-path",
                              "/dev/nubbo/Nubbo", "--method", "org.freedesktop.DBus.Properties.Get",
                              "dev.nubbo.Nubbo1", "RemoteHosts"], env=self.env, capture_output=True, text=True,
                             timeout=10).stdout
        hosts = {}
        for entry in re.findall(r"\{[^{}]*\}", out):
            fields = {k: v for k, _, v in re.findall(r"'(\w+)': <(['\"])((?:(?!\2)[^\\]|\\.)*)\2>", entry)}
            hosts[fields.get("name")] = fields
        return hosts

    def host_state(self, name):
        return self.remote_hosts().get(name, {}).get("state")

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(15)
        except subprocess.TimeoutExpired:
            self.process.kill()


def listening(port):
    try:
        socket.create_connection(("127.0.0.1", port), 0.2).close()
        return True
    except OSError:
        return False


def restart(server):
    """The same server again on its port, keys and config: the host coming back. Returns when it started."""
    server.process = subprocess.Popen([SSHD, "-D", "-e", "-f", server.path("sshd_config")],
                                      stderr=open(server.path("sshd.log"), "a"))
    started = time.monotonic()
    wait_for("sshd to listen again", lambda: listening(server.port), 10)
    return started


def percentile(values, p):
    ordered = sorted(values)
    return ordered[max(0, -(-len(ordered) * p // 100) - 1)]


def main():
    reason = local_sshd.available()
    if reason:
        print("skipped:", reason)
        return 77
    work = tempfile.mkdtemp(prefix="nubbo-remote-")
    os.chmod(work, 0o755)  # the remote account reads the payload file here
    app = None
    with LocalSshd(account=ACCOUNT) as server:
        account = server.account
        try:
            socket_path = os.path.join(account.pw_dir, ".nubbo", "run", "nubbo.sock")
            launcher = install_bridge(account, socket_path)
            # The app's ssh reads one config that names every server of the test.
            config = os.path.join(work, "ssh_config")
            shutil.copy(server.path("ssh_config"), config)
            wrapper = os.path.join(work, "bin", "ssh")
            os.makedirs(os.path.dirname(wrapper))
            with open(wrapper, "w") as f:
                f.write(f'#!/bin/sh\nexec /usr/bin/ssh -F {config} "$@"\n')
            os.chmod(wrapper, 0o755)
            home = os.path.join(work, "home")
            write_hosts(home, [host_entry(local_sshd.HOST_ALIAS, account, socket_path)])
            started = time.monotonic()
            app = App(home, os.path.dirname(wrapper))
            wait_for("testhost connected", lambda: app.host_state("testhost") == "connected")
            print(f"connected {time.monotonic() - started:.2f} s after the app started")

            # A prompt on the host, from a bridge run there over ssh as its user.
            run = server.ssh("~/.nubbo/bin/nubbo-bridge --source claude --event UserPromptSubmit",
                             input=payload("UserPromptSubmit.json", "s-remote"), capture_output=True, timeout=20)
            assert run.returncode == 0, run.stderr
            session = wait_for("the host's session", lambda: app.session("s-remote"))
            assert session["host"] == "testhost", session

            # A permission request from there waits for the answer given here, by its id.
            asking = subprocess.Popen(["/usr/bin/ssh", "-F", server.path("ssh_config"), "testhost",
                                       "~/.nubbo/bin/nubbo-bridge --source claude --event PermissionRequest"],
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE)
            asking.stdin.write(payload("PermissionRequest.Bash.json", "s-ask"))
            asking.stdin.close()
            request = wait_for("the request", lambda: (app.session("s-ask") or {}).get("request"))
            assert app.session("s-ask")["host"] == "testhost"
            assert app.cli("approve", request["id"]).returncode == 0
            out = asking.stdout.read()
            assert asking.wait(15) == 0
            assert json.loads(out)["hookSpecificOutput"]["decision"]["behavior"] == "allow", out

            # The host goes away while a request waits: its bridge fails open at once, the request is withdrawn.
            payload_file = os.path.join(work, "ask.json")
            with open(payload_file, "wb") as f:
                f.write(payload("PermissionRequest.Bash.json", "s-dropped"))
            os.chmod(payload_file, 0o644)
            dropped = as_account(account, ["sh", "-c", f'exec "$0" --source claude --event PermissionRequest < {payload_file}',
                                           launcher], stdout=subprocess.PIPE)
            request = wait_for("the second request", lambda: (app.session("s-dropped") or {}).get("request"))
            stopped = time.monotonic()
            server.stop()
            out, _ = dropped.communicate(timeout=10)
            ended = time.monotonic() - stopped
            assert dropped.returncode == 0 and out == b"", (dropped.returncode, out)
            assert ended < 2.0, f"the waiting bridge took {ended:.2f} s to end"
            wait_for("the request withdrawn", lambda: not (app.session("s-dropped") or {}).get("request"), 2)
            print(f"waiting bridge ended {ended:.2f} s after the server stopped; request withdrawn")
            wait_for("testhost unreachable", lambda: app.host_state("testhost") == "unreachable", 5)

            # The server back on its port: the forward comes back by itself.
            back = restart(server)
            wait_for("testhost connected again", lambda: app.host_state("testhost") == "connected", 90, 0.02)
            reconnect = time.monotonic() - back

            # The bridge's run time over the forward, timed on the host, against the same on this machine: a prompt
            # (the bridge does not wait for the app) and a trusted command (it waits for the app's verdict).
            bridge_bin = os.path.join(account.pw_dir, ".nubbo", "bin", "nubbo-bridge-bin")
            for event, fixture, command in (("UserPromptSubmit", "UserPromptSubmit.json", None),
                                            ("PermissionRequest", "PermissionRequest.Bash.json", "git status")):
                record = json.loads(payload(fixture, "s-timed"))
                if command:
                    record["tool_input"]["command"] = command
                payload_file = os.path.join(work, event + ".json")
                with open(payload_file, "w") as f:
                    json.dump(record, f)
                os.chmod(payload_file, 0o644)
                timed = as_account(account, ["python3", "-c", TIMER, bridge_bin, event, payload_file, str(ROUNDS)],
                                   env={"NUBBO_SOCKET": socket_path}, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                out, error = timed.communicate(timeout=120)
                assert timed.returncode == 0, error.decode()
                remote = json.loads(out)
                local = json.loads(subprocess.run(["python3", "-c", TIMER, BRIDGE, event, payload_file, str(ROUNDS)],
                                                  env=app.env, capture_output=True, check=True, timeout=120).stdout)
                for side, result in (("over the forward", remote), ("on this machine", local)):
                    if command:
                        assert '"allow"' in result["last"], result["last"]
                    times = result["times"]
                    print(f"{event} bridge run {side}: median {statistics.median(times):.2f} ms, "
                          f"p99 {percentile(times, 99):.2f} ms ({len(times)} runs)")
            print(f"reconnected {reconnect:.2f} s after the server started again")

            # A host added while the app runs, whose server refuses to forward Unix sockets. (Its own socket path:
            # the same account is on both servers, and the removal before each forward must not take testhost's.)
            with LocalSshd(allow_stream_local_forwarding=False, account=ACCOUNT) as refusing:
                with open(refusing.path("ssh_config")) as f, open(config, "a") as out_config:
                    out_config.write(f.read().replace(f"Host {local_sshd.HOST_ALIAS}", "Host refusing"))
                refused_path = os.path.join(account.pw_dir, ".nubbo", "run", "refused.sock")
                write_hosts(home, [host_entry("testhost", account, socket_path),
                                   host_entry("refusing", account, refused_path)])
                wait_for("refusing refused", lambda: app.host_state("refusing") == "forwardRefused", 20)
                hosts = app.remote_hosts()
                assert "AllowStreamLocalForwarding" in hosts["refusing"]["reason"], hosts
                assert hosts["testhost"]["state"] == "connected", hosts
                write_hosts(home, [host_entry("testhost", account, socket_path)])
                wait_for("refusing removed", lambda: list(app.remote_hosts()) == ["testhost"], 10)
            print("ok")
            return 0
        except BaseException:
            if app:
                print("the app's log:\n" + app.log()[-6000:])
            raise
        finally:
            if app:
                app.stop()
            shutil.rmtree(os.path.join(account.pw_dir, ".nubbo"), ignore_errors=True)
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
