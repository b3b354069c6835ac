#!/usr/bin/env bash
# Installs the Debian packages of the named sets; safe to run again: apt-get skips what is there.
#   bash packaging/install-deps.sh                        every amd64 set: build, run and test
#   bash packaging/install-deps.sh runtime build sim      build the package and try it on the simulator
#   bash packaging/install-deps.sh arm64                  multiarch arm64 libraries, cross compiler, qemu
# One package per line, so additions merge.
set -euo pipefail

# What the installed suite runs; the package depends on these (and on its shared libraries).
runtime=(
  cups
  cups-client
  psmisc
  procps
  sudo
)
# Building the programs and the package.
build=(
  build-essential
  cmake
  ninja-build
  pkg-config
  qtbase5-dev
  qtbase5-dev-tools
  libqt5svg5-dev
  libusb-1.0-0-dev
  libsane-dev
  libjpeg62-turbo-dev
  libcups2-dev
  dpkg-dev
)
# The printer simulator plays USB printers on the tests' simulated bus, so it builds with them.
sim=(
  umockdev
  libumockdev-dev
  libglib2.0-dev
  libgtest-dev
  googletest
  util-linux
  iproute2
)
# The test suite: sanitizers and fuzzers, namespaces, logins, a headless desktop, package checks.
test=(
  clang
  libclang-rt-dev
  xvfb
  xauth
  x11-utils
  xdotool
  imagemagick
  dbus
  at-spi2-core
  python3
  python3-pyatspi
  python3-gi
  gir1.2-atspi-2.0
  fonts-wqy-microhei
  sane-utils
  cups-bsd
  lintian
  systemd
)
# Cross-building for arm64 and running its unit tests under qemu-user. libumockdev-dev is left
# out: it cannot be installed for two architectures at once and the amd64 build needs it.
arm64=(
  crossbuild-essential-arm64
  qemu-user
  pkgconf:arm64
  qtbase5-dev:arm64
  libqt5svg5-dev:arm64
  libusb-1.0-0-dev:arm64
  libgtest-dev:arm64
  libsane-dev:arm64
  libjpeg62-turbo-dev:arm64
  libcups2-dev:arm64
)

if [ "$(id -u)" -ne 0 ]; then
  exec sudo bash "$0" "$@"
fi

sets=("$@")
[ ${#sets[@]} -gt 0 ] || sets=(runtime build sim test)

export DEBIAN_FRONTEND=noninteractive
wanted=()
for set in "${sets[@]}"; do
  case "$set" in
    runtime|build|sim|test|arm64) ;;
    *) echo "install-deps: unknown set \"$set\" (runtime build sim test arm64)" >&2; exit 2 ;;
  esac
  declare -n list=$set
  wanted+=("${list[@]}")
  unset -n list
done

if printf '%s\n' "${sets[@]}" | grep -qx arm64 && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  dpkg --add-architecture arm64
  # The amd64 and arm64 copies of every shared library must be the same version; bring the
  # amd64 side up to date first, or the install stops half-way to upgrade it.
  apt-get update -qq
  apt-get -y -qq dist-upgrade
fi

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
