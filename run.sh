#!/usr/bin/env bash
# Converts S98 files (default: the bundled example); "--gui" opens the window instead.
# Sets everything up on first use.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/setup.sh"
build="${VARNHOLD_BUILD_DIR:-$root/build}"
if [[ "${1:-}" == "--gui" ]]; then
  shift
  exec "$build/src/ui/varnhold-gui" "$@"
fi
if (($# == 0)); then
  set -- "$root/examples/demo.s98"
fi
exec "$build/src/cli/varnhold" "$@"
