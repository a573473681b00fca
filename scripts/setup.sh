#!/usr/bin/env bash
# Installs what the build needs (Debian packages, only those missing), configures and
# builds into build/. Safe to run again: it only does what is left to do.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VARNHOLD_BUILD_DIR:-$root/build}"

packages=(build-essential cmake g++ libgtest-dev libcli11-dev libbenchmark-dev
          qt6-base-dev fonts-ipafont-gothic ${VARNHOLD_EXTRA_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

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
