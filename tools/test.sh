#!/usr/bin/env bash
# Builds everything and runs every test under Wine. Exits 0 only if all pass.
#   tools/test.sh [extra ctest arguments, e.g. -R Sim]
# PLOVER_BUILD_DIR chooses the x64 build folder; PLOVER_SKIP_I686=1 skips the 32-bit compile.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"

build=${PLOVER_BUILD_DIR:-$root/build/x64}
"$root/tools/build.sh" x64 "$build"
if [ -z "${PLOVER_SKIP_I686:-}" ]; then
  # The 32-bit program must keep compiling; it is run only where 32-bit Wine exists.
  "$root/tools/build.sh" i686
fi

# shellcheck source=wineenv.sh
source "$root/tools/wineenv.sh" "$build"
trap plover_cleanup EXIT
# Tests create windows: always give them a display of their own.
PLOVER_FORCE_XVFB=1 plover_start_display
plover_wine_prepare
plover_start_wineserver
plover_register_servers

ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
