#!/usr/bin/env bash
# Builds the libFuzzer target with clang into build-fuzz/, writes its seed corpus and
# fuzzes whole conversions for a bounded time. Any crash, leak, overflow, undefined
# behaviour, broken output promise or timeout fails the run; the input that caused it is
# kept in build-fuzz/artifacts/.
#   scripts/fuzz.sh [SECONDS]   (default 120)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VARNHOLD_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-120}"
jobs="${VARNHOLD_JOBS:-$(nproc)}"

"$root/scripts/ensure-packages.sh" build-essential cmake clang libclang-rt-14-dev \
  libgtest-dev libcli11-dev

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVARNHOLD_FUZZ=ON -DVARNHOLD_GUI=OFF -DVARNHOLD_BENCH=OFF >/dev/null
fi
log="$build/build.log"
if ! cmake --build "$build" -j"$jobs" --target varnhold-fuzz varnhold-fuzz-seeds >"$log" 2>&1; then
  cat "$log" >&2
  echo "fuzz: the build failed (log: $log)" >&2
  exit 1
fi

seeds="$build/seeds"
corpus="$build/corpus"
artifacts="$build/artifacts"
mkdir -p "$corpus" "$artifacts"
"$build/fuzz/varnhold-fuzz-seeds" "$seeds"
cp "$root"/fuzz/regressions/*.s98 "$seeds"/ 2>/dev/null || true

# Conversions write their files into private directories; memory is faster than disk.
[[ -d /dev/shm && -w /dev/shm ]] && export TMPDIR=/dev/shm
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
log="$build/fuzz.log"
echo "fuzz: fuzzing whole conversions for ${seconds}s (log: $log)" >&2
status=0
"$build/fuzz/varnhold-fuzz" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
  -max_len=16384 -print_final_stats=1 -artifact_prefix="$artifacts/" \
  "$corpus" "$seeds" >"$log" 2>&1 || status=$?
grep -E '^(#[0-9]+[[:space:]]+(INITED|DONE)|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" >&2 || true
if ((status != 0)); then
  tail -n 60 "$log" >&2
  echo "fuzz: finding (exit $status); inputs kept in $artifacts" >&2
  exit 1
fi
echo "fuzz: no finding" >&2
