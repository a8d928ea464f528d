#!/bin/bash
# Installs what building, running and testing Korvan needs on Debian 12 (as root or with
# sudo). Only missing packages are installed.
set -euo pipefail
BUILD_PACKAGES="g++ cmake ninja-build qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite libqt6sql6-psql libxss-dev libxdamage-dev qt6-wayland"
TEST_PACKAGES="clang clang-tidy clang-format libclang-rt-14-dev desktop-file-utils xvfb xauth x11-utils xdotool trayer openbox dbus-daemon dbus-bin xfce4-panel xfconf dunst fonts-dejavu-core imagemagick postgresql sqlite3 dpkg-dev file faketime weston at-spi2-core gir1.2-atspi-2.0 python3-gi python3-pyatspi"
want="$BUILD_PACKAGES"
[ "${1:-}" = "--test" ] && want="$want $TEST_PACKAGES"
missing=()
for p in $want; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
