#!/usr/bin/env bash
# Builds the suite's Debian package for one architecture into build/debs/ and prints its path.
#   bash packaging/build-debs.sh --arch amd64   native build
#   bash packaging/build-debs.sh --arch arm64   cross-build (needs: bash packaging/install-deps.sh arm64)
# With --with-tests the same build folder (build/deb-ARCH) also holds the tests, so CI runs the
# arm64 unit tests on the very build it packages; the package's contents stay the same.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: bash packaging/build-debs.sh --arch amd64|arm64 [--with-tests]" >&2; exit 2; }
arch=
tests=OFF
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) [ $# -ge 2 ] || usage; arch=$2; shift 2 ;;
    --with-tests) tests=ON; shift ;;
    *) usage ;;
  esac
done
case "$arch" in
  amd64) toolchain=() ;;
  arm64) toolchain=(-DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/aarch64-linux-gnu.cmake") ;;
  *) usage ;;
esac

launcher=()
if command -v ccache > /dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Debian's own compiler and linker flags for packages, all hardening included. Without
# fixfilepath: the build already names log call sites relative to the source tree.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=-fixfilepath" DEB_HOST_ARCH=$arch
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS

build=build/deb-$arch
mkdir -p build/debs
# The package carries the programs only; tests never have install rules.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_BUILD_TESTS="$tests" "${launcher[@]}" \
  "${toolchain[@]}" > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" >&2
rm -f build/debs/vorn-printer-t905_*_"$arch".deb
(cd "$build" && cpack -G DEB > cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
ls build/debs/vorn-printer-t905_*_"$arch".deb
