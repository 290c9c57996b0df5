#!/usr/bin/env bash
# The README's run command with no display, as a new user meets it: tools/run.sh must put
# Plover's main window up on a private Xvfb with the demonstration workspace's items in its
# list, write a real screenshot of it, and on Ctrl+C end Plover, its Wine processes and that
# Xvfb.
#   tools/runcheck.sh [x64 build dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-${PLOVER_BUILD_DIR:-$root/build/x64}}")
work=$(mktemp -d)
shot="$work/screen.png"
log="$work/run.log"
# The helper that counts the list's rows from outside Plover.
"$root/tools/build.sh" x64 "$build" plover_listrows >/dev/null
want=$(grep -c '^ *item ' "$root/examples/demo.plover")

# Job control: run.sh gets its own process group, and Ctrl+C reaches that whole group as a
# terminal would deliver it. No arguments: Plover opens the demonstration workspace,
# as on a user's first run. A shell that runs this in the background (or under nohup) hands
# its children SIGINT ignored, and bash cannot trap a signal ignored on entry: run.sh starts
# with the default handling, so Ctrl+C is what ends it here too.
set -m
env -u DISPLAY --default-signal=INT,HUP PLOVER_BUILD_DIR="$build" PLOVER_SCREENSHOT="$shot" \
  PLOVER_SHOT_SECONDS=1 "$root/tools/run.sh" >"$log" 2>&1 &
run=$!
set +m

# Whatever happens, nothing of this run outlives the check: run.sh's group, every Wine process
# of its prefix on its display, and the display's Xvfb, by process id. A process of someone
# else that merely names the same display number (from an older display) is not ours.
prefix="$build/wineprefix"
display=""
ours() {
  tr '\0' '\n' 2>/dev/null <"$1/environ" |
    grep -cx -e "DISPLAY=$display" -e "WINEPREFIX=$prefix" | grep -qx 2
}
cleanup() {
  kill -INT -- "-$run" 2>/dev/null || true
  for _ in $(seq 30); do
    kill -0 "$run" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL -- "-$run" 2>/dev/null || true
  [ -n "$display" ] || return 0
  local p pids=()
  for p in /proc/[0-9]*; do
    ours "$p" && pids+=("${p#/proc/}")
  done
  local lock="/tmp/.X${display#:}-lock"
  [ -f "$lock" ] && pids+=("$(tr -dc '0-9' <"$lock")")
  [ ${#pids[@]} -gt 0 ] && kill -KILL "${pids[@]}" 2>/dev/null
  return 0
}
trap cleanup EXIT

fail() {
  echo "runcheck: $*" >&2
  sed 's/^/  run.sh: /' "$log" >&2
  cleanup
  rm -rf "$work"
  exit 1
}

up="" size=0 id=""
for _ in $(seq 240); do
  kill -0 "$run" 2>/dev/null || fail "run.sh ended by itself"
  [ -n "$display" ] || display=$(grep -o 'private Xvfb display :[0-9]*' "$log" | grep -o ':[0-9]*$' || true)
  if [ -n "$display" ] && [ -z "$up" ]; then
    id=$(DISPLAY=$display xwininfo -root -tree 2>/dev/null | grep -m1 'Plover CLIENT 2.0": (' | awk '{print $1}' || true)
    [ -n "$id" ] && DISPLAY=$display xwininfo -id "$id" 2>/dev/null | grep -q "Map State: IsViewable" && up=1
  fi
  size=$(stat -c %s "$shot" 2>/dev/null || echo 0)
  [ -n "$up" ] && [ "$size" -gt 4096 ] && break
  sleep 0.25
done
[ -n "$display" ] || fail "run.sh did not say which display it uses"
[ -n "$up" ] || fail "Plover's main window did not appear on $display"
# A blank desktop makes a PNG of a few hundred bytes; a drawn window, kilobytes.
[ "$size" -gt 4096 ] || fail "no screenshot with content at $shot (size $size)"
head -c 8 "$shot" | od -An -tx1 | grep -q '89 50 4e 47 0d 0a 1a 0a' || fail "$shot is no PNG"

# Live items, not only a window: every item of the demonstration workspace has its row. The
# helper looks in run.sh's Wine desktop, which is named after the display.
rows=""
for _ in $(seq 60); do
  kill -0 "$run" 2>/dev/null || fail "run.sh ended by itself"
  rows=$(
    # shellcheck source=wineenv.sh
    source "$root/tools/wineenv.sh" "$build"
    DISPLAY=$display wine "$build/bin/plover_listrows.exe" "Plover-${display#:}" 2>/dev/null |
      tr -dc '0-9' || true
  )
  [ "${rows:-0}" -ge "$want" ] && break
  sleep 0.5
done
[ "${rows:-0}" -ge "$want" ] || fail "the item list shows ${rows:-no} rows, not the $want of examples/demo.plover"

kill -INT -- "-$run"
for _ in $(seq 100); do
  kill -0 "$run" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$run" 2>/dev/null && fail "run.sh did not end within 20 s of Ctrl+C"
rc=0
wait "$run" || rc=$?
[ "$rc" -eq 130 ] || fail "run.sh ended with $rc after Ctrl+C, not 130"
[ -e "/tmp/.X${display#:}-lock" ] && fail "the Xvfb on $display is still running"
for p in /proc/[0-9]*; do
  ours "$p" && fail "process ${p#/proc/} ($(tr '\0' ' ' 2>/dev/null <"$p/cmdline")) still uses $display"
done
trap - EXIT
rm -rf "$work"
echo "runcheck: main window up on $display with $rows rows, screenshot $size bytes, everything ended on Ctrl+C"
