#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the suite needs.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev
  qtbase5-dev qtbase5-dev-tools libqt5svg5-dev
  libusb-1.0-0-dev libsane-dev libgtest-dev googletest libcups2-dev
  libjpeg62-turbo-dev
  umockdev libumockdev-dev libglib2.0-dev
  # what the programs run
  cups cups-client cups-bsd sudo procps psmisc util-linux iproute2
  # end-to-end tests: namespaces, logins, headless desktop
  xvfb xauth x11-utils xdotool imagemagick dbus at-spi2-core
  sane-utils
  python3 python3-pyatspi python3-gi gir1.2-atspi-2.0 fonts-wqy-microhei
)

if [ "$(id -u)" -ne 0 ]; then
  exec sudo "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
