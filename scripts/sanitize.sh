#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/
# and runs them. Any leak, overflow or undefined behaviour fails a test, and so the run.
#   scripts/sanitize.sh [ctest arguments...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VARNHOLD_ASAN_BUILD_DIR:-$root/build-asan}"
jobs="${VARNHOLD_JOBS:-$(nproc)}"

"$root/scripts/ensure-packages.sh" build-essential cmake g++ libgtest-dev libcli11-dev

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  # -O1 with line tables only: quick to build, quick to run, readable sanitizer reports.
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
    -DVARNHOLD_SANITIZE=ON -DVARNHOLD_GUI=OFF -DVARNHOLD_BENCH=OFF >/dev/null
fi
log="$build/build.log"
if ! cmake --build "$build" -j"$jobs" >"$log" 2>&1; then
  cat "$log" >&2
  echo "sanitize: the build failed (log: $log)" >&2
  exit 1
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
cd "$build"
ctest --output-on-failure -j"$jobs" "$@"
