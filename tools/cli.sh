#!/usr/bin/env bash
# Runs the command-line client under Wine with the project's prefix and its registered
# simulation servers; the arguments go to plover-cli.exe.
#   tools/cli.sh servers
#   tools/cli.sh read Plover.SimServer.1 Signals.Ramp --csv
# Build output goes to standard error, so standard output holds only what plover-cli
# prints. The exit code is plover-cli's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh" >&2
build=${PLOVER_BUILD_DIR:-$root/build/x64}
"$root/tools/build.sh" x64 "$build" plover-cli servers >&2
# shellcheck source=wineenv.sh
source "$root/tools/wineenv.sh" "$build"
plover_wine_prepare >&2
plover_register_servers >&2
exec wine "$build/bin/plover-cli.exe" "$@"
