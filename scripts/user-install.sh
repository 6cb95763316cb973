#!/usr/bin/env bash
# make install: the release tree into the home folder. The bundle goes to ~/.local/lib/nubbo/Nubbo.app, its
# menu entry and icons to ~/.local/share. The bundle is swapped in whole, so a copy that is running keeps its
# files until it quits and an agent's hook never finds half a bundle.
set -euo pipefail
build=${1:?usage: user-install.sh BUILD_DIR}
lib="$HOME/.local/lib/nubbo"
share="${XDG_DATA_HOME:-$HOME/.local/share}"
autostart="${XDG_CONFIG_HOME:-$HOME/.config}/autostart/nubbo.desktop"
# Where installs before this one put the bundle.
old_apps="$HOME/Applications"
# Under a umask of 002 the folders and the bundle made here would be group-writable, and neither the check
# below nor the hooks would accept them.
umask 022
mkdir -p "$lib"

# Hooks run the bridge only from a bundle that no other user can change: it and every folder above it, by name
# and by real path, owned by you or root and writable by neither group nor others. A bundle anywhere else
# would never be used (and could be replaced), so the install stops instead.
uid=$(id -u)
for folder in "$lib" "$(realpath "$lib")"; do
  while :; do
    read -r owner mode <<<"$(stat -L -c '%u %a' "$folder")"
    if [[ $owner != 0 && $owner != "$uid" ]] || (( 8#${mode:-7} & 8#022 )); then
      echo "Not installing: $folder can be changed by another user, so hooks would not run Nubbo from $lib." >&2
      exit 1
    fi
    [[ $folder == / ]] && break
    folder=$(dirname "$folder")
  done
done

# A path as a desktop entry's string value holds it ("\" doubled), and as an Exec argument (before that,
# '"', '`', '$' and '\' escaped, and after it '%' doubled): the two ways the menu entry and the login item
# write the bundle's paths.
desktop_string() { printf '%s' "${1//\\/\\\\}"; }
desktop_exec() {
  local s=${1//\\/\\\\}
  s=${s//\"/\\\"}
  s=${s//\`/\\\`}
  s=${s//\$/\\\$}
  s=${s//\\/\\\\}
  printf '%s' "${s//%/%%}"
}
# Rewrites a desktop entry's paths into bundle $2 to the same paths in bundle $3, in both spellings.
follow() {
  local entry=$1 text
  [[ -f $entry ]] || return 0
  text=$(<"$entry")$'\n'
  local from to
  for form in desktop_string desktop_exec; do
    from=$($form "$2")
    to=$($form "$3")
    text=${text//"$from/"/"$to/"}
    text=${text//"=$from"$'\n'/"=$to"$'\n'}
  done
  printf '%s' "$text" > "$entry.nubbo-new" && mv "$entry.nubbo-new" "$entry"
}

# An older install's bundle moves here, and the entries that start it follow it, so the menu and launch at
# login keep working even if this install stops half-way. A bundle already here is the newer one.
if [[ -d "$old_apps/Nubbo.app" ]]; then
  if [[ -e "$lib/Nubbo.app" ]]; then
    rm -rf "$old_apps/Nubbo.app"
  else
    mv "$old_apps/Nubbo.app" "$lib/Nubbo.app"
  fi
  follow "$share/applications/dev.nubbo.Nubbo.desktop" "$old_apps/Nubbo.app" "$lib/Nubbo.app"
  follow "$autostart" "$old_apps/Nubbo.app" "$lib/Nubbo.app"
  # Only when nothing else is in it: the folder may have been the user's before Nubbo used it.
  rmdir "$old_apps" 2>/dev/null || true
fi

stage=$(mktemp -d "$lib/.nubbo-install.XXXXXX")
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --strip >/dev/null

rm -rf "$lib/.Nubbo.app.old"
[[ -e "$lib/Nubbo.app" ]] && mv "$lib/Nubbo.app" "$lib/.Nubbo.app.old"
mv "$stage$lib/Nubbo.app" "$lib/Nubbo.app"
rm -rf "$lib/.Nubbo.app.old"

# Everything else the rules installed: the menu entry and the icons.
(cd "$stage$share" && find . -type f -print0) | while IFS= read -r -d '' file; do
  mkdir -p "$(dirname "$share/$file")"
  install -m 0644 "$stage$share/$file" "$share/$file"
done

# The command line (`nubbo focus ...`) on PATH. A `nubbo` there that is not a link into this bundle is the
# user's own and stays.
bin="$HOME/.local/bin"
mkdir -p "$bin"
if [[ ! -e "$bin/nubbo" && ! -L "$bin/nubbo" ]] || [[ $(readlink "$bin/nubbo") == "$lib/Nubbo.app/"* ]]; then
  ln -sfn "$lib/Nubbo.app/Contents/MacOS/nubbo" "$bin/nubbo"
fi

# Menus watch their folders; an icon theme with a cache of its own needs it brought up to date.
command -v gtk-update-icon-cache >/dev/null && [[ -f "$share/icons/hicolor/index.theme" ]] &&
  gtk-update-icon-cache -q "$share/icons/hicolor" || true

echo "Nubbo is installed in $lib/Nubbo.app and in the applications menu."
echo "Start it from the menu or with: \"$lib/Nubbo.app/Contents/MacOS/Nubbo\""
echo "The command nubbo is linked in $bin (on PATH when your login adds ~/.local/bin)."
