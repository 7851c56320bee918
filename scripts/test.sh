#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a plain build with warnings as
# errors, then a build under AddressSanitizer and UndefinedBehaviorSanitizer.
# The plain build is build/ with the settings scripts/demo.sh uses, so after
# the demo only what it did not build is compiled.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DQZ_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300
}

run_suite build
# A command opens the files it picks beneath their folder with openat2, or by
# a walk of the components where the kernel has no openat2: the walk, forced,
# passes the same suite.
QZ_NO_OPENAT2=1 ctest --test-dir build -j "$jobs" --output-on-failure --timeout 300
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DQZ_SANITIZE=ON -DQZ_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug

# The readers' fuzz targets: replay their seeds and fuzz each briefly
# (QZ_FUZZ_SECONDS a target, default 15; QZ_FUZZ=0 skips the step).
if [ "${QZ_FUZZ:-1}" != 0 ] && command -v clang++-14 >/dev/null; then
  QZ_FUZZ_JOBS=$jobs bash scripts/fuzz.sh ci "${QZ_FUZZ_SECONDS:-15}"
fi
