#!/usr/bin/env bash
# Runs the benchmarks of a Release build folder: bash bench/run.sh [build folder, default build-bench].
# Each program bounds its own run count and time; `timeout` is the backstop against a hung child.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-build-bench}" && pwd)
bridge="$build/Nubbo.app/Contents/Helpers/nubbo-bridge"

for f in "$bridge" "$build/bench/nubbo-bench-hook" "$build/bench/nubbo-bench-narration" "$build/bench/nubbo-bench-rollout"; do
  if [[ ! -x "$f" ]]; then
    echo "missing $f: build with -DNUBBO_BENCH=ON first (make bench)" >&2
    exit 1
  fi
done

# Every temporary file (the 200 MB transcript, 10,000 rollouts) lives under one folder removed on any exit.
work=$(mktemp -d "${TMPDIR:-/tmp}/nubbo-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
export TMPDIR="$work"

node_args=(--no-node)
if command -v node >/dev/null 2>&1; then
  node_args=(--node "$(command -v node)" --node-script "$here/node-hook.js")
  echo "node $(node --version)"
else
  echo "node not found: skipping the Node.js comparison (make bench installs nodejs)"
fi
echo "$(nproc) cores, $(uname -sr)"
echo

status=0
timeout 300 "$build/bench/nubbo-bench-hook" --bridge "$bridge" "${node_args[@]}" || status=1
timeout 300 "$build/bench/nubbo-bench-narration" --bridge "$bridge" || status=1
timeout 300 "$build/bench/nubbo-bench-rollout" || status=1
if [[ -x "$build/bench/nubbo-bench-shell" ]]; then
  timeout 300 "$build/bench/nubbo-bench-shell" || status=1
fi
if [[ -x "$build/bench/nubbo-bench-app" ]]; then
  echo
  timeout 300 "$build/bench/nubbo-bench-app" --app "$build/Nubbo.app/Contents/MacOS/Nubbo" || status=1
  echo
  timeout 300 "$build/bench/nubbo-bench-bus" || status=1
  echo
  timeout 300 dbus-run-session -- "$build/bench/nubbo-bench-status" --app "$build/Nubbo.app/Contents/MacOS/Nubbo" \
    --cli "$build/Nubbo.app/Contents/MacOS/nubbo" || status=1
  echo
  # The pet window on a real X server with a window manager and a compositor, software rendering.
  timeout 900 xvfb-run -a -s "-screen 0 1280x800x24 -noreset" dbus-run-session -- \
    bash "$here/../tests/desktop/desktop-session.sh" /usr/bin/python3 "$here/pet-window.py" \
    --app "$build/Nubbo.app/Contents/MacOS/Nubbo" --bridge "$bridge" \
    --still "$build/Nubbo.app/Contents/Resources/PetImages/idle.png" 2>/dev/null || status=1
fi
exit $status
