#!/usr/bin/env bash
# make install: the release tree into the home folder. The bundle goes to ~/Applications/Nubbo.app, its menu
# entry and icons to ~/.local/share. The bundle is swapped in whole, so a copy that is running keeps its
# files until it quits and an agent's hook never finds half a bundle.
set -euo pipefail
build=${1:?usage: user-install.sh BUILD_DIR}
apps="$HOME/Applications"
share="${XDG_DATA_HOME:-$HOME/.local/share}"
mkdir -p "$apps"
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
