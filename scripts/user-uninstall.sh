#!/usr/bin/env bash
# make uninstall: unwires the agents as the launcher's own clean-up would, then removes exactly what
# `make install` put into the home folder. Settings, logs and keys stay (see the README to forget them).
set -euo pipefail
lib="$HOME/.local/lib/nubbo"
app="$lib/Nubbo.app"
# Where installs before the current one put the bundle; one may still be there if it was never replaced.
old_app="$HOME/Applications/Nubbo.app"
share="${XDG_DATA_HOME:-$HOME/.local/share}"

# A copy still running would keep serving hooks from files that are about to go.
for bundle in "$app" "$old_app"; do
  pkill -TERM -x -f "$bundle/Contents/MacOS/Nubbo" 2>/dev/null || true
done
for bundle in "$app" "$old_app"; do
  if [[ -x "$bundle/Contents/MacOS/Nubbo" ]]; then
    "$bundle/Contents/MacOS/Nubbo" --uninstall-hooks || true
    break
  fi
done
# The hook launcher and its cache: with the entries gone nothing runs it any more.
rm -rf "$HOME/.nubbo"

# The icons are the ones the bundle carries, so only Nubbo's own files go.
for bundle in "$app" "$old_app"; do
  if [[ -d "$bundle/Contents/Resources/icons/hicolor" ]]; then
    (cd "$bundle/Contents/Resources/icons/hicolor" && find . -type f -print0) | while IFS= read -r -d '' file; do
      rm -f "$share/icons/hicolor/$file"
    done
  fi
done
rm -f "$share/applications/dev.nubbo.Nubbo.desktop"
# Launch at login pointing into a removed bundle would start nothing at the next login.
autostart="${XDG_CONFIG_HOME:-$HOME/.config}/autostart/nubbo.desktop"
for bundle in "$app" "$old_app"; do
  if [[ -f "$autostart" ]] && grep -qF "$bundle/Contents/MacOS/Nubbo" "$autostart"; then
    rm -f "$autostart"
  fi
done
# The command's link, only when it leads into the bundle.
if [[ -L "$HOME/.local/bin/nubbo" && $(readlink "$HOME/.local/bin/nubbo") == "$app/"* ]]; then
  rm -f "$HOME/.local/bin/nubbo"
fi
rm -rf "$app"
rmdir "$lib" 2>/dev/null || true
# ~/Applications may have been the user's before Nubbo used it: it goes only when Nubbo's bundle was all it held.
if [[ -e "$old_app" ]]; then
  rm -rf "$old_app"
  rmdir "$(dirname "$old_app")" 2>/dev/null || true
fi

echo "Nubbo is removed from $lib and the applications menu."
