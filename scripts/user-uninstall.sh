#!/usr/bin/env bash
# make uninstall: unwires the agents as the launcher's own clean-up would, then removes exactly what
# `make install` put into the home folder. Settings, logs and keys stay (see the README to forget them).
set -euo pipefail
apps="$HOME/Applications"
app="$apps/Nubbo.app"
share="${XDG_DATA_HOME:-$HOME/.local/share}"
exe="$app/Contents/MacOS/Nubbo"

if [[ -x "$exe" ]]; then
  # A copy still running would keep serving hooks from files that are about to go.
  pkill -TERM -x -f "$exe" 2>/dev/null || true
  "$exe" --uninstall-hooks || true
fi
# The hook launcher and its cache: with the entries gone nothing runs it any more.
rm -rf "$HOME/.nubbo"

# The icons are the ones the bundle carries, so only Nubbo's own files go.
if [[ -d "$app/Contents/Resources/icons/hicolor" ]]; then
  (cd "$app/Contents/Resources/icons/hicolor" && find . -type f -print0) | while IFS= read -r -d '' file; do
    rm -f "$share/icons/hicolor/$file"
  done
fi
rm -f "$share/applications/dev.nubbo.Nubbo.desktop"
# Launch at login pointing into the removed bundle would start nothing at the next login.
autostart="${XDG_CONFIG_HOME:-$HOME/.config}/autostart/nubbo.desktop"
if [[ -f "$autostart" ]] && grep -qF "$exe" "$autostart"; then
  rm -f "$autostart"
fi
rm -rf "$app"

echo "Nubbo is removed from $apps and the applications menu."
