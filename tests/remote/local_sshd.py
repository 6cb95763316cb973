"""A real OpenSSH server on 127.0.0.1 for the remote-host tests: its own host key, config and port, a second
local account as the remote side, and a key made for the test. Needs root (it creates the account and runs
sshd); `available()` says why not when it cannot run.

The app reaches it through the user's own `ssh`: `ssh_on_path()` puts a wrapper named `ssh` first on PATH that
adds `-F <this server's client config>`, because ssh reads ~/.ssh/config from the password database's home,
not from $HOME.
"""
import json
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import time

SSHD = "/usr/sbin/sshd"
REMOTE_USER = "nubbo-remote"
HOST_ALIAS = "testhost"


def available():
    """Empty when a server can run here, else the reason."""
    if os.geteuid() != 0:
        return "needs root to add the remote account and run sshd"
    for program in (SSHD, shutil.which("ssh"), shutil.which("ssh-keygen"), shutil.which("useradd")):
        if not program or not os.path.exists(program):
            return "OpenSSH (openssh-server, openssh-client) is not installed"
    return ""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def remote_account(name=REMOTE_USER):
    """The second local account, made on first use; its home starts empty of agent files."""
    try:
        return pwd.getpwnam(name)
    except KeyError:
        # "*": no password, yet not locked (sshd without PAM refuses a locked account even a key).
        subprocess.run(["useradd", "--create-home", "--shell", "/bin/sh", "--password", "*", name], check=True)
        return pwd.getpwnam(name)


def run_as(account, *command, **kwargs):
    """A command as the remote account (for setting up and inspecting its files)."""
    return subprocess.run(["setpriv", f"--reuid={account.pw_uid}", f"--regid={account.pw_gid}", "--init-groups",
                           "env", f"HOME={account.pw_dir}", *command], **kwargs)


class LocalSshd:
    """`with LocalSshd() as server:` starts sshd; `server.stop()` ends it early (a dropped host). A test that
    must not share the remote account with others running at the same time names its own `account`."""

    def __init__(self, allow_stream_local_forwarding=True, account=REMOTE_USER):
        self.allow = allow_stream_local_forwarding
        self.folder = tempfile.mkdtemp(prefix="nubbo-sshd-")
        os.chmod(self.folder, 0o755)  # sshd reads its keys and config here
        self.account = remote_account(account)
        self.port = free_port()
        self.process = None

    def path(self, name):
        return os.path.join(self.folder, name)

    def __enter__(self):
        keygen = ["ssh-keygen", "-q", "-t", "ed25519", "-N", ""]
        subprocess.run(keygen + ["-f", self.path("host_key")], check=True)
        subprocess.run(keygen + ["-f", self.path("user_key")], check=True)
        shutil.copy(self.path("user_key.pub"), self.path("authorized_keys"))
        os.chmod(self.path("authorized_keys"), 0o644)
        with open(self.path("sshd_config"), "w") as f:
            f.write(f"""ListenAddress 127.0.0.1
Port {self.port}
HostKey {self.path("host_key")}
PidFile {self.path("sshd.pid")}
AuthorizedKeysFile {self.path("authorized_keys")}
AllowUsers {self.account.pw_name}
PasswordAuthentication no
StrictModes no
KbdInteractiveAuthentication no
UsePAM no
AllowStreamLocalForwarding {"yes" if self.allow else "no"}
StreamLocalBindUnlink yes
ClientAliveInterval 5
""")
        with open(self.path("host_key.pub")) as f:
            host_key = " ".join(f.read().split()[:2])
        with open(self.path("known_hosts"), "w") as f:
            f.write(f"[127.0.0.1]:{self.port} {host_key}\n")
        with open(self.path("ssh_config"), "w") as f:
            f.write(f"""Host {HOST_ALIAS}
  HostName 127.0.0.1
  Port {self.port}
  User {self.account.pw_name}
  IdentityFile {self.path("user_key")}
  IdentitiesOnly yes
  UserKnownHostsFile {self.path("known_hosts")}
  StrictHostKeyChecking yes
  BatchMode yes
""")
        os.makedirs("/run/sshd", exist_ok=True)  # sshd's privilege separation folder
        self.process = subprocess.Popen([SSHD, "-D", "-e", "-f", self.path("sshd_config")],
                                        stderr=open(self.path("sshd.log"), "w"))
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return self
            except OSError:
                time.sleep(0.05)
        self.stop()
        raise RuntimeError("sshd did not listen: " + open(self.path("sshd.log")).read())

    def ssh_on_path(self):
        """A folder holding an `ssh` that uses this server's client config; put it first on PATH."""
        folder = self.path("bin")
        os.makedirs(folder, exist_ok=True)
        wrapper = os.path.join(folder, "ssh")
        with open(wrapper, "w") as f:
            f.write(f'#!/bin/sh\nexec /usr/bin/ssh -F {self.path("ssh_config")} "$@"\n')
        os.chmod(wrapper, 0o755)
        return folder

    def ssh(self, command, **kwargs):
        """Runs a command on the remote side as the remote account, through the real client."""
        return subprocess.run(["/usr/bin/ssh", "-F", self.path("ssh_config"), HOST_ALIAS, command], **kwargs)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
        # Sessions forked for connections outlive the listener: end them too, as a host going away would.
        subprocess.run(["pkill", "-f", f"sshd: {self.account.pw_name}"], capture_output=True)

    def __exit__(self, *exc):
        self.stop()
        shutil.rmtree(self.folder, ignore_errors=True)


def serve(account):
    """For tests in other languages: starts a server on `account`, prints one JSON line (port, the ssh wrapper's
    folder, the account's home, uid and gid) and runs until its standard input closes, so it ends with its
    caller. Exit 77 with the reason when no server can run here."""
    reason = available()
    if reason:
        print("skipped:", reason, file=sys.stderr)
        return 77
    with LocalSshd(account=account) as server:
        print(json.dumps({"port": server.port, "bin": server.ssh_on_path(), "home": server.account.pw_dir,
                          "uid": server.account.pw_uid, "gid": server.account.pw_gid}), flush=True)
        sys.stdin.read()
    return 0


if __name__ == "__main__":
    # `local_sshd.py available` prints why no server can run (nothing when one can); `local_sshd.py serve ACCOUNT`.
    if sys.argv[1:2] == ["available"]:
        print(available())
        sys.exit(0)
    if sys.argv[1:2] == ["serve"] and len(sys.argv) == 3:
        sys.exit(serve(sys.argv[2]))
    sys.exit("usage: local_sshd.py available | serve ACCOUNT")
