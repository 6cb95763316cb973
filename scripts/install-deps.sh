#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
set -euo pipefail

packages=(cmake ninja-build g++ make pkg-config nlohmann-json3-dev libutf8proc-dev libtomlplusplus-dev
          libgtest-dev libgmock-dev
          # Pet packs are zip archives.
          libarchive-dev
          qt6-base-dev qtkeychain-qt6-dev libsecret-1-0 dbus gnome-keyring procps bsdutils
          # The pet and its windows: Qt Quick, the QML modules the views import, SVG symbols, the X input shape.
          qt6-declarative-dev qt6-svg-dev libqt6svg6 libxcb-shape0-dev libxcb1-dev
          qml6-module-qtqml qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
          qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtquick-shapes
          qml6-module-qtqml-workerscript qml6-module-qttest
          # The settings window's file panels.
          qml6-module-qtquick-dialogs qml6-module-qt-labs-folderlistmodel
          # The test run lints the views (qmllint); it reads the list views' model types from QtQml.Models.
          qt6-declarative-dev-tools qml6-module-qtqml-models
          # Fonts for both languages, so the bubble reads the same everywhere.
          fonts-dejavu-core fonts-noto-cjk
          # The desktop tests: a real X server, window manager, compositor, tray host and notification
          # daemon, driven with xdotool and checked with xprop and screenshots; AT-SPI finds the card's buttons.
          xvfb xauth xdotool x11-utils x11-xserver-utils imagemagick openbox xcompmgr trayer dunst at-spi2-core python3-pyatspi
          # Going to an agent's terminal is tested with real terminals: xterm, tmux, and kitty (which draws with
          # OpenGL: Mesa's software renderer on Xvfb).
          xterm tmux kitty libgl1-mesa-dri
          # `nubbo status` in the status bars it is made for: a real Polybar on Xvfb (tmux and xterm above).
          polybar
          # ... and Waybar on a headless sway, photographed with grim.
          waybar sway grim
          # A dark desktop palette for the windows' screenshots.
          qt6ct
          # The Debian package: its dependencies worked out from the programs, and the checks it must pass.
          dpkg-dev file lintian desktop-file-utils appstream
          # A desktop's own reader (gio launch) reads back the autostart entry's quoting in the tests.
          # gdbus, the desktop's own bus client, drives the app's bus service in its test.
          libglib2.0-bin
          # Loaded by the installed package beyond what the build links, so its test's apt install downloads nothing.
          libxcursor1
          # Agents on SSH hosts: the app forwards its socket with the user's ssh; the tests run a real sshd.
          openssh-client openssh-server)
# Node runs the plug-in and self-clean tests, the real-agent tests (npm installs the agents) and the
# benchmark's comparison; a machine may already have them from elsewhere than Debian.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)
case "${1:-}" in
  --fuzz) packages+=(clang libclang-rt-14-dev) ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
