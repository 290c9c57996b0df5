#!/usr/bin/env bash
# Builds the Windows packages into dist/: Plover-<version>-x64.msi, Plover-<version>-x86.msi
# and the portable Plover-<version>-win64.zip. The version is the CMake project version.
#   tools/package.sh [--no-build] [--arch x64|x86] [--version V] [--out DIR]
# --no-build packs what build/x64 ($PLOVER_BUILD_DIR) and build/i686 already hold; --arch
# builds one MSI only (no zip for x86); --version stamps another version on the MSI and the
# names (the tests build an older package with it; the binaries keep theirs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(Plover VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "plover: no project version in CMakeLists.txt" >&2; exit 1; }
build=1 archs=(x64 x86) out=$root/dist
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build="" ;;
    --arch) archs=("$2"); shift ;;
    --version) version=$2; shift ;;
    --out) out=$2; shift ;;
    *) echo "usage: $0 [--no-build] [--arch x64|x86] [--version V] [--out DIR]" >&2; exit 2 ;;
  esac
  shift
done
"$root/tools/setup.sh"
command -v wixl >/dev/null || { echo "plover: wixl is missing (package wixl)" >&2; exit 1; }

files=(Plover.exe plover-cli.exe PloverPS.dll PloverSim.dll PloverSimLocal.exe)
mkdir -p "$out"
out=$(cd "$out" && pwd)
stage_root=$(mktemp -d)
trap 'rm -rf "$stage_root"' EXIT

for arch in "${archs[@]}"; do
  case "$arch" in
    x64) dir=${PLOVER_BUILD_DIR:-$root/build/x64} barch=x64 ;;
    x86) dir=$root/build/i686 barch=i686 ;;
    *) echo "plover: unknown architecture $arch" >&2; exit 2 ;;
  esac
  [ -n "$build" ] && "$root/tools/build.sh" "$barch" "$dir" Plover plover-cli servers
  stage=$stage_root/$arch
  mkdir -p "$stage/examples"
  for f in "${files[@]}"; do
    [ -f "$dir/bin/$f" ] || { echo "plover: $dir/bin/$f is missing (build $barch first)" >&2; exit 1; }
    cp "$dir/bin/$f" "$stage/"
    # No debugging information in what users get: a third of the size.
    "${barch/x64/x86_64}-w64-mingw32-strip" "$stage/$f"
  done
  cp "$root/examples/demo.plover" "$stage/examples/"
  # wixl takes the sources relative to the .wxs file's folder.
  cp "$root/packaging/Plover.wxs" "$root/res/Plover.ico" "$stage/"
  msi=$out/Plover-$version-$arch.msi
  (cd "$stage" && wixl -a "$arch" -D Version="$version" -D Arch="$arch" -o "$msi" Plover.wxs)
  rm "$stage/Plover.wxs" "$stage/Plover.ico"
  echo "plover: $msi ($(stat -c %s "$msi") bytes)" >&2
  if [ "$arch" = x64 ]; then
    zip=$out/Plover-$version-win64.zip
    rm -f "$zip"
    mkdir "$stage_root/zip" && mv "$stage" "$stage_root/zip/Plover-$version"
    sed 's/$/\r/' "$root/packaging/README-Windows.txt" >"$stage_root/zip/Plover-$version/README.txt"
    (cd "$stage_root/zip" && zip -qr9 "$zip" "Plover-$version")
    echo "plover: $zip ($(stat -c %s "$zip") bytes)" >&2
  fi
done
