#!/usr/bin/env bash
# make install: the release tree into the home folder. The bundle goes to ~/Applications/Nubbo.app, its menu
# entry and icons to ~/.local/share. The bundle is swapped in whole, so a copy that is running keeps its
# files until it quits and an agent's hook never finds half a bundle.
set -euo pipefail
build=${1:?usage: user-install.sh BUILD_DIR}
apps="$HOME/Applications"
share="${XDG_DATA_HOME:-$HOME/.local/share}"
mkdir -p "$apps"

# Hooks run the bridge only from a bundle that no other user can change: it and every folder above it, by name
# and by real path, owned by you or root and writable by neither group nor others. A bundle anywhere else
# would never be used (and could be replaced), so the install stops instead.
uid=$(id -u)
for folder in "$apps" "$(realpath "$apps")"; do
  while :; do
    read -r owner mode <<<"$(stat -L -c '%u %a' "$folder")"
    if [[ $owner != 0 && $owner != "$uid" ]] || (( 8#${mode:-7} & 8#022 )); then
      echo "Not installing: $folder can be changed by another user, so hooks would not run Nubbo from $apps." >&2
      exit 1
    fi
    [[ $folder == / ]] && break
    folder=$(dirname "$folder")
  done
done
stage=$(mktemp -d "$apps/.nubbo-install.XXXXXX")
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --strip >/dev/null

rm -rf "$apps/.Nubbo.app.old"
[[ -e "$apps/Nubbo.app" ]] && mv "$apps/Nubbo.app" "$apps/.Nubbo.app.old"
mv "$stage$apps/Nubbo.app" "$apps/Nubbo.app"
rm -rf "$apps/.Nubbo.app.old"

# Everything else the rules installed: the menu entry and the icons.
(cd "$stage$share" && find . -type f -print0) | while IFS= read -r -d '' file; do
  mkdir -p "$(dirname "$share/$file")"
  install -m 0644 "$stage$share/$file" "$share/$file"
done

# Menus watch their folders; an icon theme with a cache of its own needs it brought up to date.
command -v gtk-update-icon-cache >/dev/null && [[ -f "$share/icons/hicolor/index.theme" ]] &&
  gtk-update-icon-cache -q "$share/icons/hicolor" || true

echo "Nubbo is installed in $apps/Nubbo.app and in the applications menu."
echo "Start it from the menu or with: \"$apps/Nubbo.app/Contents/MacOS/Nubbo\""
