#!/usr/bin/env bash
# Configures and builds one target architecture.
#   tools/build.sh [x64|i686] [build dir] [targets...]
# Defaults: x64 into build/x64 (or $PLOVER_BUILD_DIR), every target. The target "servers"
# stands for the simulation servers and the proxy/stub that carries the executable one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-x64}
case "$arch" in
  x64) toolchain=mingw-x86_64; default_dir=${PLOVER_BUILD_DIR:-$root/build/x64} ;;
  i686) toolchain=mingw-i686; default_dir=$root/build/i686 ;;
  *) echo "usage: $0 [x64|i686] [build dir] [targets...]" >&2; exit 2 ;;
esac
dir=${2:-$default_dir}
targets=()
for t in "${@:3}"; do
  if [ "$t" = servers ]; then targets+=(PloverSim PloverSimLocal PloverPS); else targets+=("$t"); fi
done
[ ${#targets[@]} -gt 0 ] && targets=(--target "${targets[@]}")

# Configure every time (cheap once cached): folders that appear later are picked up.
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
