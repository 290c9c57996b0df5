#!/usr/bin/env bash
# Starts Plover under a private Xvfb display and writes a PNG of the screen.
#   tools/screenshot.sh [out.png] [seconds to wait, default 4] [Plover's arguments...]
# e.g. tools/screenshot.sh connected.png 6 /server Plover.SimServer.1
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-plover.png}")
wait_s=${2:-4}
shift $(($# < 2 ? $# : 2))
"$root/tools/setup.sh"
build=${PLOVER_BUILD_DIR:-$root/build/x64}
"$root/tools/build.sh" x64 "$build"
# shellcheck source=wineenv.sh
source "$root/tools/wineenv.sh" "$build"
trap plover_cleanup EXIT
PLOVER_FORCE_XVFB=1 plover_start_display
plover_wine_prepare
plover_start_wineserver
plover_register_servers

[ -f "$build/bin/Plover.exe" ] || { echo "plover: $build/bin/Plover.exe was not built" >&2; exit 1; }
mkdir -p "$build/run"
# A Wine virtual desktop draws the window captions itself; bare Xvfb has no window manager.
(cd "$build/run" &&
  wine explorer "/desktop=Plover,1280x960" "$(winepath -w "$build/bin/Plover.exe")" "$@" >/dev/null 2>&1 &)
for _ in $(seq 100); do
  xwininfo -root -tree 2>/dev/null | grep -q "Plover - Wine desktop" && break
  sleep 0.2
done
sleep "$wait_s"
plover_screenshot "$out" Plover
echo "plover: screenshot written to $out"
