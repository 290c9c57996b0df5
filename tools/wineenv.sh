# Sourced by the other scripts: a project-local Wine prefix, an X display and one wineserver.
#   source tools/wineenv.sh <build dir>
# Afterwards: plover_wine_prepare (once per prefix, cheap when done), plover_start_display,
# plover_start_wineserver, plover_register_servers; plover_cleanup runs at exit.
# plover_pin_session keeps the Wine session this shell starts on one CPU (see there).

plover_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
plover_build=$(realpath -m "${1:-${PLOVER_BUILD_DIR:-$plover_root/build/x64}}")

export WINEPREFIX="$plover_build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono/Gecko installers, no desktop menu entries, and no crash debugger: a crashing test
# must fail at once instead of waiting for a debugger until the timeout.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d;winedbg.exe=d"

plover_xvfb_pid=""
plover_wineserver_started=""
plover_holder_pid=""

plover_wine_prepare() {
  # The marker holds the checksum of the set-up last applied: changed settings are applied
  # again, without recreating the prefix.
  # The installed Wine counts too: a prefix made before 32-bit Wine was added cannot start
  # anything until it is updated.
  local want
  want=$({ cat "$plover_root/tools/prefix.reg" "${BASH_SOURCE[0]}"
           dpkg-query -W -f='${Version} ${Status}\n' wine wine32:i386 wine64 2>/dev/null || true
         } | sha1sum | cut -d' ' -f1)
  [ -f "$WINEPREFIX/.plover-ready" ] && [ "$(cat "$WINEPREFIX/.plover-ready")" = "$want" ] && return 0
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "plover: preparing the Wine prefix $WINEPREFIX (first run only)" >&2
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  elif [ -f "$WINEPREFIX/.plover-ready" ]; then
    echo "plover: updating the Wine prefix $WINEPREFIX for the installed Wine" >&2
    wineboot -u >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Debian's Wine does not find its own fonts in its data folder; without Marlett the caption
  # buttons show letters. The prefix's Fonts folder is always searched.
  local f
  for f in marlett.ttf tahoma.ttf tahomabd.ttf symbol.ttf wingding.ttf webdings.ttf courier.ttf; do
    [ -f "/usr/share/wine/fonts/$f" ] && cp -f "/usr/share/wine/fonts/$f" "$WINEPREFIX/drive_c/windows/Fonts/"
  done
  # Dialog and UI fonts mapped to an installed CJK font, so Chinese renders as glyphs;
  # regedit wants UTF-16 for the Chinese font names.
  local reg="$WINEPREFIX/plover-prefix.reg"
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE <"$plover_root/tools/prefix.reg"; } >"$reg"
  wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
  wineserver -w
  echo "$want" >"$WINEPREFIX/.plover-ready"
}

# Wine carries every call between processes as a chain of thread wake-ups through the
# wineserver. Where waking a thread on another CPU is dear, as on this project's VMs (a pipe
# round trip between two threads: 21-35 us across CPUs, 2.6 us on one), a session kept on
# one CPU carries COM calls and data between processes 3-4 times faster, and spends a third
# of the CPU doing it (boundary_bench). So this shell, and the wineserver and Wine processes
# it starts from now on, keep to PLOVER_WINE_CPUS: a CPU list as taskset takes it, or "all"
# to leave the session free; by default the last CPU this shell may use. A wineserver that
# already runs for the prefix is not ours to move, and a session split between CPUs is the
# slowest of all, so then nothing is pinned.
plover_pin_session() {
  local cpus=${PLOVER_WINE_CPUS:-} rc=0
  [ "$cpus" = all ] && return 0
  command -v taskset >/dev/null || return 0
  timeout 1 wineserver -w >/dev/null 2>&1 || rc=$?
  if [ "$rc" -eq 124 ]; then
    echo "plover: a wineserver already runs for $WINEPREFIX; the session is not kept to one CPU" >&2
    return 0
  fi
  if [ -z "$cpus" ]; then
    # The allowed list, e.g. "0-3" or "0,2": its last number.
    cpus=$(taskset -cp "$BASHPID" 2>/dev/null | sed 's/.*: *//' | tr ',-' '\n\n' | tail -n1)
    [ -n "$cpus" ] || return 0
  fi
  taskset -cp "$cpus" "$BASHPID" >/dev/null 2>&1 ||
    { echo "plover: could not keep the Wine session to CPUs $cpus" >&2; return 0; }
}

plover_start_display() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${PLOVER_FORCE_XVFB:-}" ]; then return 0; fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    # A session of its own: Ctrl+C in the terminal must reach the script, whose clean-up ends
    # this display after the programs on it, not the display first.
    setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    plover_xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && return 0
      sleep 0.1
    done
    kill "$plover_xvfb_pid" 2>/dev/null || true
  done
  echo "plover: could not start Xvfb" >&2
  return 1
}

# A PNG of Wine's virtual desktop named $2 ("<name> - Wine desktop"), 1280x960, or of the
# screen while there is none. The desktop window itself: xwd's picture of the root window
# leaves Wine's dialogs and boxes black, though the screen (the root's own pixels) shows them.
plover_screenshot() {
  local out=$1 source=(-root)
  xwininfo -name "$2 - Wine desktop" >/dev/null 2>&1 && source=(-name "$2 - Wine desktop")
  xwd "${source[@]}" -silent | xwdtopnm 2>/dev/null | pnmcut 0 0 1280 960 | pnmtopng >"$out"
}

plover_start_wineserver() {
  # One persistent wineserver for the whole run instead of one per test process.
  wineserver -p 2>/dev/null || true
  plover_wineserver_started=1
  local warm="$plover_build/bin/plover_prewarm.exe"
  if [ -f "$warm" ]; then
    wine "$warm" </dev/null >/dev/null 2>&1 || true
    # Keeps the desktop, and with it Wine's background processes, up for the whole run (see
    # prewarm.cpp); the wineserver's end ends it.
    wine "$warm" --hold </dev/null >/dev/null 2>&1 &
    plover_holder_pid=$!
  else
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  fi
}

plover_register_servers() {
  local dll regsvr=regsvr32
  # A 32-bit server is registered by the 32-bit regsvr32, into the 32-bit registry view.
  grep -q "mingw-i686" "$plover_build/CMakeCache.txt" 2>/dev/null &&
    regsvr='C:\windows\syswow64\regsvr32.exe'
  # The proxy/stub first: the servers' interfaces cross processes through it.
  for dll in "$plover_build"/bin/PloverPS.dll "$plover_build"/bin/PloverSim.dll; do
    [ -f "$dll" ] || continue
    (cd "$(dirname "$dll")" && wine "$regsvr" /s "$(basename "$dll")") ||
      { echo "plover: registering $(basename "$dll") failed" >&2; return 1; }
  done
  # The executable server registers itself; a 32-bit one lands in the 32-bit view by itself.
  local exe="$plover_build/bin/PloverSimLocal.exe"
  if [ -f "$exe" ]; then
    (cd "$(dirname "$exe")" && wine "$(basename "$exe")" /RegServer) ||
      { echo "plover: registering $(basename "$exe") failed" >&2; return 1; }
  fi
}

plover_cleanup() {
  if [ -n "$plover_holder_pid" ]; then kill "$plover_holder_pid" 2>/dev/null || true; fi
  if [ -n "$plover_wineserver_started" ]; then wineserver -k 2>/dev/null || true; fi
  if [ -n "$plover_xvfb_pid" ]; then kill "$plover_xvfb_pid" 2>/dev/null || true; fi
}
