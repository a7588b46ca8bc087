#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test.
#   scripts/test.sh             ordinary build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
# Tests on, whatever an earlier demo build left in the cache. The programs
# with crash points are built in build/crash-points/ for the tests that use
# them (tests/e2e/CMakeLists.txt); this tree's own have none.
options=(-DTAVLUNE_PROGRAMS_ONLY=OFF -DTAVLUNE_WERROR=ON -DTAVLUNE_CRASH_POINTS=OFF)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  options+=(-DTAVLUNE_SANITIZE=ON)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

scripts/setup.sh
cmake -S . -B "$build" -G Ninja "${options[@]}"
cmake --build "$build" -j "$(nproc)"
# --no-tests=error: a run in which no test ran is a failure, not a pass.
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)"
