#!/usr/bin/env bash
# Builds Plover and starts it under Wine (needs an X display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<MSG
plover: there is no X display (DISPLAY is not set), so the main window cannot be shown.
Run it on a desktop, or under a virtual display:
    xvfb-run -a tools/run.sh
or take a screenshot without a desktop:
    tools/screenshot.sh plover.png
MSG
  exit 2
fi
"$root/tools/setup.sh"
build=${PLOVER_BUILD_DIR:-$root/build/x64}
"$root/tools/build.sh" x64 "$build"
# shellcheck source=wineenv.sh
source "$root/tools/wineenv.sh" "$build"
plover_wine_prepare
plover_register_servers
exec wine "$build/bin/Plover.exe" "$@"
