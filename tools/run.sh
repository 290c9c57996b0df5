#!/usr/bin/env bash
# Installs what is missing, builds Plover and starts it under Wine.
#   tools/run.sh                  opens examples/demo.plover: the simulation server, live items
#   tools/run.sh <arguments>      the arguments go to Plover instead; Linux paths among them
#                                 are given to Plover as Wine names them
#   tools/run.sh --               no arguments: Plover starts disconnected
# With an X display Plover opens there. Without one it runs on a private Xvfb display and a
# screenshot of that display is written every few seconds (PLOVER_SCREENSHOT names the file,
# PLOVER_SHOT_SECONDS the interval); Ctrl+C or closing Plover ends Plover, Wine and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
build=${PLOVER_BUILD_DIR:-$root/build/x64}
# Only what a run needs: the suites are left to the test command. The executable server and
# the proxy/stub that reaches it are registered too, for /server Plover.SimServer.Local.1.
"$root/tools/build.sh" x64 "$build" Plover servers
[ -f "$build/bin/Plover.exe" ] || { echo "plover: $build/bin/Plover.exe was not built" >&2; exit 1; }

# No arguments: the demonstration workspace (its Windows path is known once the prefix is).
demo=1 args=()
if [ "${1:-}" = "--" ]; then
  shift
  demo="" args=("$@")
elif [ $# -gt 0 ]; then
  demo="" args=("$@")
fi
# A Linux path would reach Plover as a switch ("/home/...") or relative to the wrong folder:
# every argument that names an existing file or folder, or a file in an existing folder, is
# made absolute here and given to Plover as Wine names it (convert_paths, once the prefix is
# ready). The values of /server and /node are names, never paths.
paths=()
after_switch=""
for i in "${!args[@]}"; do
  a=${args[$i]}
  if [ -n "$after_switch" ]; then
    after_switch=""
  elif [ "$a" = "/server" ] || [ "$a" = "/node" ] || [ "$a" = "-server" ] || [ "$a" = "-node" ]; then
    after_switch=1
  elif [ -e "$a" ] || { [[ "$a" == ?*/* ]] && [ -d "$(dirname -- "$a")" ]; }; then
    args[i]=$(realpath -m -- "$a")
    paths+=("$i")
  fi
done
convert_paths() {
  local i
  [ -n "$demo" ] && args=("$(winepath -w "$root/examples/demo.plover")")
  for i in "${paths[@]}"; do args[i]=$(winepath -w "${args[$i]}"); done
}

# shellcheck source=wineenv.sh
source "$root/tools/wineenv.sh" "$build"
plover_pin_session
mkdir -p "$build/run"

if [ -n "${DISPLAY:-}" ]; then
  plover_wine_prepare
  plover_register_servers
  convert_paths
  cd "$build/run"
  exec wine "$build/bin/Plover.exe" "${args[@]}"
fi

shot=$(realpath -m "${PLOVER_SCREENSHOT:-$build/screen.png}")
every=${PLOVER_SHOT_SECONDS:-5}
# A wineserver already running for this prefix (the test suite's) is not ours to end: then
# only the processes on our private display are ended. wineserver -w returns at once when
# no server runs.
shared_server="" rc=0
timeout 1 wineserver -w >/dev/null 2>&1 || rc=$?
[ "$rc" -eq 124 ] && shared_server=1

watcher=""
stop() {
  trap - EXIT INT TERM HUP
  set +e
  [ -n "$watcher" ] && kill "$watcher" 2>/dev/null
  if [ -n "$shared_server" ] && [ -n "${DISPLAY:-}" ]; then
    local p pids=()
    for p in /proc/[0-9]*; do
      tr '\0' '\n' 2>/dev/null <"$p/environ" |
        grep -cx -e "DISPLAY=$DISPLAY" -e "WINEPREFIX=$WINEPREFIX" | grep -qx 2 && pids+=("${p#/proc/}")
    done
    [ ${#pids[@]} -gt 0 ] && kill "${pids[@]}" 2>/dev/null
    for _ in $(seq 50); do
      kill -0 "${pids[@]}" 2>/dev/null || break
      sleep 0.1
    done
    [ ${#pids[@]} -gt 0 ] && kill -9 "${pids[@]}" 2>/dev/null
  elif [ -z "$shared_server" ]; then
    wineserver -k 2>/dev/null
    timeout 10 wineserver -w 2>/dev/null
  fi
  if [ -n "$plover_xvfb_pid" ]; then
    kill "$plover_xvfb_pid" 2>/dev/null
    wait "$plover_xvfb_pid" 2>/dev/null
  fi
  echo "plover: ended Plover, its Wine processes and the display ${DISPLAY:-}" >&2
}
trap 'stop; exit 130' INT
trap 'stop; exit 143' TERM HUP
trap stop EXIT

PLOVER_FORCE_XVFB=1 plover_start_display
cat >&2 <<MSG
plover: there is no X display, so Plover runs on a private Xvfb display $DISPLAY and
plover: a screenshot of it is written to $shot a few seconds after start and every ${every} s.
plover: Ctrl+C ends it.
MSG
plover_wine_prepare
plover_register_servers
convert_paths

screenshot() {
  plover_screenshot "$shot.tmp" "Plover-${DISPLAY#:}" &&
    mv -f "$shot.tmp" "$shot"
}
# Any shown window of Plover with a caption: the main window, or a message box before it.
# Windows exist hidden before they are shown.
plover_window_up() {
  local id
  for id in $(xwininfo -root -tree 2>/dev/null | grep -v '"Default IME"' |
    grep '^ *0x[0-9a-f]* "[^"]*": ("plover.exe"' | awk '{print $1}'); do
    xwininfo -id "$id" 2>/dev/null | grep -q "Map State: IsViewable" && return 0
  done
  return 1
}

# A Wine virtual desktop draws the window captions itself; bare Xvfb has no window manager.
# It ends by itself shortly after Plover exits. Its name is the display's: a desktop of the
# same name on another display would take Plover instead. Its own session keeps Ctrl+C for
# the clean-up below.
(cd "$build/run" && exec setsid wine explorer "/desktop=Plover-${DISPLAY#:},1280x960" \
  "$(winepath -w "$build/bin/Plover.exe")" "${args[@]}" >/dev/null 2>&1) &
plover_pid=$!

# The watcher takes the pictures; this script only waits, so that Ctrl+C always reaches its
# trap (a signal that comes while bash waits for a foreground command can be lost).
watch() {
  # The first picture once Plover shows a window and it has had a moment to fill.
  for _ in $(seq 300); do
    plover_window_up && break
    kill -0 "$plover_pid" 2>/dev/null || break
    sleep 0.2
  done
  if plover_window_up; then sleep 2; else echo "plover: no window of Plover has appeared" >&2; fi
  local next=$SECONDS told=""
  while kill -0 "$plover_pid" 2>/dev/null; do
    if [ $SECONDS -ge $next ]; then
      if screenshot && [ -z "$told" ]; then
        echo "plover: first screenshot written to $shot" >&2
        told=1
      fi
      next=$((SECONDS + every))
    fi
    sleep 0.5
  done
}
watch &
watcher=$!
wait "$watcher" || true
echo "plover: Plover has exited" >&2
