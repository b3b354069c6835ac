#!/usr/bin/env bash
# Sets up the machine, builds and runs the whole test suite: the plain build, the whole suite
# again under AddressSanitizer + UndefinedBehaviorSanitizer, the threaded tests under
# ThreadSanitizer, a short run of every fuzz target, then the packages: the amd64 package built,
# checked, installed, read and removed, and the whole tree cross-built for arm64 with its unit
# tests under qemu-user and its package checked. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

bash packaging/install-deps.sh

jobs=$(nproc)
fuzz_seconds=${VORN_FUZZ_SECONDS:-30}
arm64_skipped_labels=e2e
# Under qemu-user: the model-table tool test starts another built (arm64) program, which the
# host cannot run; the process test's program never exits under the emulator (its own threads).
arm64_skipped_tests="common_model_table_tool_test|common_process_test"
export ASAN_OPTIONS="verify_asan_link_order=0:detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$top/packaging/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

configure() { # folder, cmake options...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
}

mkdir -p build
status=0
passed_total=0
failed_total=0
summary=()
run_ctest() { # name, folder, ctest options...
  local name=$1 dir=$2; shift 2
  echo "=== tests: $name"
  local log="build/$name.ctest.log" rc=0
  ctest --test-dir "$dir" --output-on-failure --timeout 600 -j"$jobs" "$@" 2>&1 | tee "$log" || rc=1
  local line failed=0 total=0
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -n "$line" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  fi
  passed_total=$((passed_total + total - failed)); failed_total=$((failed_total + failed))
  if [ "$rc" -eq 0 ] && [ "$failed" -eq 0 ]; then
    summary+=("$name: $((total - failed)) passed")
  else
    summary+=("$name: FAILED"); status=1; [ "$failed" -gt 0 ] || failed_total=$((failed_total + 1))
  fi
}

echo "=== build: plain"
configure build/plain -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/plain -j"$jobs"
run_ctest plain build/plain

echo "=== build: address + undefined sanitizers"
configure build/asan -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=ON
cmake --build build/asan -j"$jobs"
run_ctest asan build/asan

echo "=== build: thread sanitizer (threaded tests)"
configure build/tsan -DCMAKE_BUILD_TYPE=Debug -DVORN_TSAN=ON
if cmake --build build/tsan -j"$jobs" --target tsan_tests; then
  run_ctest tsan build/tsan -L tsan
else
  summary+=("tsan: BUILD FAILED"); status=1
fi

echo "=== build: fuzz targets"
configure build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build build/fuzz -j"$jobs" --target fuzzers
for fuzzer in $(cat build/fuzz/fuzzers.txt 2>/dev/null); do
  name=$(basename "$fuzzer")
  work=$(mktemp -d)
  echo "=== fuzz: $name for ${fuzz_seconds}s"
  if "$fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$top/build/fuzz/$name-" "$work" "fuzz/corpus/$name" > "build/fuzz/$name.log" 2>&1; then
    summary+=("fuzz $name: passed"); passed_total=$((passed_total + 1))
  else
    tail -n 40 "build/fuzz/$name.log"
    summary+=("fuzz $name: FAILED (crasher kept in build/fuzz/$name-*)"); status=1; failed_total=$((failed_total + 1))
  fi
  rm -rf "$work"
done

# Last, because they install and remove the package and add the arm64 architecture to apt.
stage() { # name, command...
  local name=$1; shift
  echo "=== $name"
  if "$@"; then
    summary+=("$name: passed"); passed_total=$((passed_total + 1))
  else
    summary+=("$name: FAILED"); status=1; failed_total=$((failed_total + 1))
  fi
}
stage "package amd64" bash packaging/test-packages.sh --arch amd64

# One arm64 build serves the package and the unit tests, which run under qemu-user. End-to-end
# tests need the host's namespaces and start further arm64 programs: they run on amd64 only.
bash packaging/install-deps.sh arm64
stage "package arm64" bash packaging/test-packages.sh --arch arm64 --with-tests
run_ctest arm64 build/deb-arm64 -LE "$arm64_skipped_labels" -E "$arm64_skipped_tests"

echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "suite: $passed_total passed, $failed_total failed"
exit $status
