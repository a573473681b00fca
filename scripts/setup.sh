#!/usr/bin/env bash
# Installs what the build needs (Debian packages, only those missing), configures and
# builds into build/. Safe to run again: it only does what is left to do.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VARNHOLD_BUILD_DIR:-$root/build}"

"$root/scripts/ensure-packages.sh" build-essential cmake g++ libgtest-dev libcli11-dev \
  qt6-base-dev fonts-ipafont-gothic ${VARNHOLD_EXTRA_PACKAGES:-}

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${VARNHOLD_CMAKE_ARGS:-} >/dev/null
fi
# Quiet when all is well; the whole log when the build fails.
log="$build/build.log"
if ! cmake --build "$build" -j"$(nproc)" >"$log" 2>&1; then
  cat "$log" >&2
  echo "setup: the build failed (log: $log)" >&2
  exit 1
fi
