#!/usr/bin/env bash
# Builds both architectures and runs every test under Wine, the 32-bit build under 32-bit
# Wine first, then the 64-bit build. Exits 0 only if all pass.
#   tools/test.sh [extra ctest arguments, e.g. -R Sim]
# PLOVER_BUILD_DIR chooses the x64 build folder; PLOVER_SKIP_I686=1 skips the 32-bit build
# and its run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"

# Formatting and the folders' include rules are checked first and cheaply; the suites still
# run when either fails.
status=0
"$root/tools/format.sh" || status=1
"$root/tools/layers.sh" || status=1

build=${PLOVER_BUILD_DIR:-$root/build/x64}
"$root/tools/build.sh" x64 "$build"
if [ -z "${PLOVER_SKIP_I686:-}" ]; then
  "$root/tools/build.sh" i686
fi

# One build's suite in its own Wine prefix, display and wineserver.
run_suite() (
  local dir=$1
  shift
  # shellcheck source=wineenv.sh
  source "$root/tools/wineenv.sh" "$dir"
  trap plover_cleanup EXIT
  # Called in a || list, where errexit does not apply: every step says so itself.
  # Tests create windows: always give them a display of their own.
  PLOVER_FORCE_XVFB=1 plover_start_display || exit 1
  plover_wine_prepare || exit 1
  plover_start_wineserver || exit 1
  plover_register_servers || exit 1
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "$@"
)

if [ -z "${PLOVER_SKIP_I686:-}" ]; then
  echo "plover: the i686 build under 32-bit Wine" >&2
  run_suite "$root/build/i686" "$@" || status=1
fi
echo "plover: the x64 build" >&2
run_suite "$build" "$@" || status=1
# The run command, headless, as a new user meets it. After the suites and on its own: a
# Plover ended by Ctrl+C beside running tests slowed the next test's start to over a minute.
if [ $# -eq 0 ]; then
  echo "plover: the run command without a display" >&2
  bash "$root/tools/runcheck.sh" "$build" || status=1
fi
exit "$status"
