#!/usr/bin/env bash
# Builds the suite's Debian package for one architecture into build/debs/ and prints its path.
#   bash packaging/build-debs.sh --arch amd64   native build
#   bash packaging/build-debs.sh --arch arm64   cross-build (needs: bash packaging/install-deps.sh arm64)
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: bash packaging/build-debs.sh --arch amd64|arm64" >&2; exit 2; }
[ $# -eq 2 ] && [ "$1" = "--arch" ] || usage
arch=$2
case "$arch" in
  amd64) toolchain=() ;;
  arm64) toolchain=(-DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/aarch64-linux-gnu.cmake") ;;
  *) usage ;;
esac

launcher=()
if command -v ccache > /dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Debian's own compiler and linker flags for packages, all hardening included.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_HOST_ARCH=$arch
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS

build=build/deb-$arch
mkdir -p build/debs
# The package carries the programs only; the tests stay out of the build.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_BUILD_TESTS=OFF "${launcher[@]}" \
  "${toolchain[@]}" > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" >&2
rm -f build/debs/vorn-printer-t905_*_"$arch".deb
(cd "$build" && cpack -G DEB > cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
ls build/debs/vorn-printer-t905_*_"$arch".deb
