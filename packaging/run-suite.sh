#!/usr/bin/env bash
# Sets up a fresh machine, builds the suite, installs it into /opt/vorn/vorn-printer-t905/
# and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash packaging/install-deps.sh

cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_BUILD_TESTS=OFF > /dev/null
cmake --build build/run -j"$(nproc)"
cmake --install build/run
echo "Installed into /opt/vorn/vorn-printer-t905/"
