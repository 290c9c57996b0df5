#!/usr/bin/env bash
# Builds the x64 benchmarks and runs one under Wine on a private display, in a Wine session
# of its own kept to one CPU as the run command keeps Plover's (PLOVER_WINE_CPUS=all: free).
#   tools/bench.sh <name> [its arguments]    e.g. tools/bench.sh boundary_bench local da1
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: tools/bench.sh <benchmark> [arguments]" >&2; exit 2; }
name=${1%.exe}
shift
"$root/tools/setup.sh"
build=${PLOVER_BUILD_DIR:-$root/build/x64}
"$root/tools/build.sh" x64 "$build" "$name" servers
[ -f "$build/bin/$name.exe" ] || { echo "plover: no benchmark $name in $build/bin" >&2; exit 1; }
# shellcheck source=wineenv.sh
source "$root/tools/wineenv.sh" "$build"
trap plover_cleanup EXIT
plover_pin_session
echo "plover: the Wine session runs on CPUs $(taskset -cp "$BASHPID" | sed 's/.*: *//')" >&2
PLOVER_FORCE_XVFB=1 plover_start_display
plover_wine_prepare
plover_start_wineserver
plover_register_servers
wine "$build/bin/$name.exe" "$@"
