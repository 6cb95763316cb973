#!/usr/bin/env bash
# Runs a command inside a desktop like a user's: window manager, compositor, tray host, notification daemon
# and the accessibility bus, on the X server and D-Bus session the caller started (xvfb-run,
# dbus-run-session). Everything started here is stopped by PID when the command ends.
set -u
pids=()
start() { "$@" >/dev/null 2>&1 & pids+=($!); }
stop_all() { kill "${pids[@]}" 2>/dev/null; wait "${pids[@]}" 2>/dev/null; }
trap stop_all EXIT

wait_for() {  # up to 10 s
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "desktop-session: gave up waiting for: $*" >&2
  return 1
}

# A pixmap (not a bare colour) so that the compositor paints it too.
xsetroot -mod 16 16 -fg "${NUBBO_DESKTOP_COLOR:-#6f7d8c}" -bg "${NUBBO_DESKTOP_COLOR:-#6f7d8c}"
start /usr/libexec/at-spi-bus-launcher --launch-immediately
start openbox
wait_for xprop -root _NET_SUPPORTING_WM_CHECK
if [ "${NUBBO_NO_COMPOSITOR:-0}" != 1 ]; then
  start xcompmgr
  wait_for /usr/bin/python3 "$(dirname "$0")/x11util.py" owned _NET_WM_CM_S0
fi
start trayer --edge top --align right --widthtype request --height 24 --SetDockType true --SetPartialStrut true \
  --transparent false --tint 0x303030
start dunst
wait_for sh -c 'xwininfo -root -tree | grep -q panel'

"$@"
