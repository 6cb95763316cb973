#!/usr/bin/env bash
# A simulated day against the app of a Release build folder, on Xvfb with a window manager and a compositor:
# bash bench/soak.sh [build folder, default build-bench] [soak.py options]. Never part of the test run.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-build-bench}" && pwd)
shift || true
app="$build/Nubbo.app/Contents/MacOS/Nubbo"
bridge="$build/Nubbo.app/Contents/Helpers/nubbo-bridge"
for f in "$app" "$bridge"; do
  [[ -x "$f" ]] || { echo "missing $f: build first (make soak)" >&2; exit 1; }
done
echo "$(nproc) cores, $(uname -sr)"
# The backstop against a hung run: a day at the default rate takes well under an hour here.
exec timeout 7200 xvfb-run -a -s "-screen 0 1280x800x24 -noreset" dbus-run-session -- \
  bash "$here/../tests/desktop/desktop-session.sh" /usr/bin/python3 "$here/soak.py" \
  --app "$app" --bridge "$bridge" --fixtures "$here/../tests/fixtures" "$@"
