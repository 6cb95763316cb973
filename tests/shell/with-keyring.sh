#!/usr/bin/env bash
# Runs a command against a private, unlocked Secret Service: call it inside `dbus-run-session --`.
# The keyring lives in a temporary home, so the user's own keyring is never touched, and no display is
# offered, so the daemon can never wait on a password dialog.
set -uo pipefail

scratch=$(mktemp -d)
keyring_pid=
cleanup() {
  if [ -n "$keyring_pid" ]; then
    kill "$keyring_pid" 2>/dev/null
    wait "$keyring_pid" 2>/dev/null
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

export HOME=$scratch/home XDG_DATA_HOME=$scratch/data XDG_CONFIG_HOME=$scratch/config \
       XDG_CACHE_HOME=$scratch/cache XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY

# Kept in the foreground (in the background of this script) so that its process id is known for the
# clean-up. It claims org.freedesktop.secrets a moment after starting: the tests wait for the name.
printf 'test' | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null &
keyring_pid=$!

export NUBBO_TEST_SECRET_SERVICE=1
"$@"
