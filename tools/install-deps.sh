#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Belvo need.
# Quick when everything is present: dpkg is asked first, and apt-get runs
# (with one `apt-get update`) only for what is missing.
#
#   tools/install-deps.sh run    packages to build and run the program
#   tools/install-deps.sh deb    those, plus what building the Debian package
#                                needs (its Build-Depends in debian/control)
#   tools/install-deps.sh test   all of those, plus what the test suites need
set -euo pipefail

run_packages=(
  build-essential cmake pkgconf
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libxcb1-dev libxcb-shm0-dev libxcb-xkb-dev libxkbcommon-dev libxkbcommon-x11-dev
  libwayland-dev libwayland-bin wayland-protocols libdecor-0-dev
  libpipewire-0.3-dev libpulse-dev libasound2-dev libdbus-1-dev
)
deb_packages=(
  dpkg-dev debhelper lintian
  libpipewire-0.3-dev libpulse-dev libasound2-dev libdbus-1-dev
  # what the package's build needs to run the unit tests (which draw the
  # oblique face too, from fonts-dejavu-extra)
  libgtest-dev desktop-file-utils appstream fonts-dejavu-extra
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
  desktop-file-utils appstream
  # the end-to-end tests and the performance budget: an X server, a window
  # manager, input and screenshots, xrdb for the desktop's resources, a
  # sound server, SoX's play to compare
  xvfb xauth x11-utils x11-xserver-utils xdotool imagemagick openbox
  pulseaudio pulseaudio-utils sox bc procps libx11-dev
  # the same on PipeWire; SoX's play reaches pipewire-pulse through its
  # pulse driver
  pipewire pipewire-pulse wireplumber pipewire-bin libsox-fmt-pulse
  # the same on Wayland: a compositor (sway, headless) with its Xwayland,
  # screenshots, its window list read with jq, and the rig's virtual
  # pointer and keyboard, built on libwayland-client from protocol code
  # that wayland-scanner writes
  sway grim xwayland jq libwayland-dev libwayland-bin
  # and a compositor that draws no title bars (weston, headless), where
  # libdecor's plug-in draws the window's
  weston libdecor-0-plugin-1-cairo
  # a screen reader's view of the program: a session bus, AT-SPI's bus and
  # registry, and pyatspi to read and drive it
  dbus at-spi2-core python3-pyatspi
)

wanted=("${run_packages[@]}")
case ${1:-run} in
  run) ;;
  deb) wanted+=("${deb_packages[@]}") ;;
  test) wanted+=("${deb_packages[@]}" "${test_packages[@]}") ;;
  *) echo "install-deps.sh: run, deb or test, not $1" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
