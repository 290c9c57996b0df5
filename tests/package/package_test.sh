#!/usr/bin/env bash
# The Windows packages as a user meets them, in a fresh Wine prefix of this test's own (its
# own wineserver too; the suite's prefix is never touched):
#   an older x64 package, then the current one over it (one product, settings kept);
#   files, registrations, file association and Start-menu entries in place; the installed
#   plover-cli lists the servers and reads through the installed executable server;
#   the x86 package beside it, in the 32-bit registry view, then removed alone;
#   everything of ours gone after msiexec /x, and a foreign proxy/stub untouched throughout.
#   tests/package/package_test.sh <x64 build dir>
# PLOVER_SKIP_I686=1 leaves the x86 package out (no 32-bit build to pack).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "$1")
work=$build/package-test
rm -rf "$work"
mkdir -p "$work/dist-old" "$work/dist"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
unset WINESERVER

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { # check <what> <command...>
  local what=$1; shift
  "$@" >/dev/null 2>&1 || fail "$what"
}
finish() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
}
trap finish EXIT

version=$(sed -n 's/^project(Plover VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
archs=(--arch x64)
[ -z "${PLOVER_SKIP_I686:-}" ] && archs=()
PLOVER_BUILD_DIR=$build "$root/tools/package.sh" --no-build "${archs[@]}" --out "$work/dist" ||
  { echo "FAIL: tools/package.sh" >&2; exit 1; }
PLOVER_BUILD_DIR=$build "$root/tools/package.sh" --no-build --arch x64 --version 0.0.1 \
  --out "$work/dist-old" || { echo "FAIL: tools/package.sh --version" >&2; exit 1; }
if [ -z "${PLOVER_SKIP_I686:-}" ]; then
  check "the zip holds the x64 files and the README" \
    bash -c "zip -sf '$work/dist/Plover-$version-win64.zip' | grep -c '^  Plover-$version/\(Plover.exe\|plover-cli.exe\|PloverPS.dll\|PloverSim.dll\|PloverSimLocal.exe\|examples/demo.plover\|README.txt\)$' | grep -qx 7"
fi

wineboot -i >/dev/null 2>&1
wineserver -w

# reg <view 32|64> <key> [value name]: the value's data, or failure when it is not there.
reg() {
  local out
  if [ $# -ge 3 ]; then
    out=$(wine reg query "$2" /v "$3" /reg:"$1" 2>/dev/null) || return 1
  else
    out=$(wine reg query "$2" /ve /reg:"$1" 2>/dev/null) || return 1
  fi
  printf '%s\n' "$out" | tr -d '\r' | sed -n 's/^ *[^ ].*  *REG_[A-Z_]*  *//p' | head -n1
}
has_key() { wine reg query "$2" /reg:"$1" >/dev/null 2>&1; }
expect() { # expect <what> <wanted> <got>
  [ "$2" = "$3" ] || fail "$1: wanted '$2', got '$3'"
}
msi() { # msi <log name> msiexec arguments...: the log goes to $work
  local name=$1; shift
  wine msiexec "$@" /qn /l*v "$(winepath -w "$work/$name.log")" >/dev/null 2>&1
}

ours='{6D3A1A8E-2B7C-4F5E-9A41-3C8E5217D06B}'
foreign='{11111111-2222-3333-4444-555555555555}'
ifoo='HKCR\Interface\{39C13A4E-011E-11D0-9675-0020AFD8ADB3}' # IOPCServerPublicGroups
iserver='HKCR\Interface\{39C13A4D-011E-11D0-9675-0020AFD8ADB3}'
local_clsid='HKCR\CLSID\{3C1E5F6A-8B2D-4E7F-A1C3-5D9E0B7F2A41}'
settings='HKCU\Software\Local AppWizard-Generated Applications\Plover\Recent File List'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# Another vendor's proxy/stub for one of the interfaces, in both views.
for view in 64 32; do
  wine reg add "$ifoo" /ve /d "Their IOPCServerPublicGroups" /f /reg:$view >/dev/null 2>&1
  wine reg add "$ifoo\\ProxyStubClsid32" /ve /d "$foreign" /f /reg:$view >/dev/null 2>&1
  wine reg add "$ifoo\\NumMethods" /ve /d 5 /f /reg:$view >/dev/null 2>&1
done
foreign_intact() { # foreign_intact <when>
  local view
  for view in 64 32; do
    expect "foreign proxy/stub $1 ($view-bit)" "$foreign" "$(reg $view "$ifoo\\ProxyStubClsid32")"
    expect "foreign interface name $1 ($view-bit)" "Their IOPCServerPublicGroups" "$(reg $view "$ifoo")"
    expect "foreign NumMethods $1 ($view-bit)" 5 "$(reg $view "$ifoo\\NumMethods")"
  done
}

# The products named Plover in "Apps", as "name version" lines.
products() {
  { wine reg query "$uninstall" /s /reg:64; wine reg query "$uninstall" /s /reg:32; } 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ {n=""; v=""} /DisplayName/ {n=$3" "$4" "$5} /DisplayVersion/ {v=$3}
         /^$/ && n ~ /^Plover/ {print n, v; n=""}' | sed 's/  */ /g' | sort -u
}

pf64='C:\Program Files\Plover'
upf64=$WINEPREFIX/drive_c/Program\ Files/Plover
upf32=$WINEPREFIX/drive_c/Program\ Files\ \(x86\)/Plover
# Wine's installer puts even a per-machine package's entries into the user's Start menu.
menus=("$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
  "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs")
in_menu() { test -f "${menus[0]}/$1" || test -f "${menus[1]}/$1"; }

echo "package test: older x64 package, then $version over it" >&2
msi install-old /i "$(winepath -w "$work/dist-old/Plover-0.0.1-x64.msi")" || fail "msiexec /i of 0.0.1"
expect "products after the old install" "Plover 0.0.1" "$(products | xargs)"
wine reg add "$settings" /v File1 /d 'C:\plant.plover' /f >/dev/null 2>&1
msi install /i "$(winepath -w "$work/dist/Plover-$version-x64.msi")" || fail "msiexec /i of $version"
expect "products after the upgrade: one entry" "Plover $version" "$(products | xargs)"
expect "recent files kept over the upgrade" 'C:\plant.plover' "$(reg 64 "$settings" File1)"
foreign_intact "after install"

for f in Plover.exe plover-cli.exe PloverPS.dll PloverSim.dll PloverSimLocal.exe examples/demo.plover; do
  check "installed $f" test -f "$upf64/$f"
done
check "Start-menu entry Plover" in_menu Plover.lnk
check "Start-menu entry for the demonstration" in_menu "Plover demonstration.lnk"
expect "ProgID's class" '{3C1E5F6A-8B2D-4E7F-A1C3-5D9E0B7F2A41}' "$(reg 64 'HKCR\Plover.SimServer.Local.1\CLSID')"
expect "executable server's command" "\"$pf64\\PloverSimLocal.exe\"" "$(reg 64 "$local_clsid\\LocalServer32")"
expect "in-process server" "$pf64\\PloverSim.dll" "$(reg 64 'HKCR\CLSID\{0FBAF7E9-6C85-4D16-8BD4-77D51BA9EEAD}\InprocServer32')"
check "OPC DA 2.0 category" has_key 64 "$local_clsid\\Implemented Categories\\{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}"
check "OPC DA 3.0 category" has_key 64 "$local_clsid\\Implemented Categories\\{CC603642-66D7-48F1-B69A-B625E73652D7}"
expect "the 3.0-only browser's class" '{4BC32B29-8CB2-4046-B41B-54297EF7A920}' "$(reg 64 'HKCR\Plover.SimServer.Local.Da3Only.1\CLSID')"
expect "our proxy/stub for IOPCServer" "$ours" "$(reg 64 "$iserver\\ProxyStubClsid32")"
expect "proxy/stub DLL" "$pf64\\PloverPS.dll" "$(reg 64 "HKCR\\CLSID\\$ours\\InprocServer32")"
expect ".plover association" Plover.Workspace "$(reg 64 'HKCR\.plover')"
expect "document icon" "$pf64\\Plover.exe,-129" "$(reg 64 'HKCR\Plover.Workspace\DefaultIcon')"
expect "open command" "\"$pf64\\Plover.exe\" \"%1\"" "$(reg 64 'HKCR\Plover.Workspace\shell\open\command')"

# The installed client, through the installed servers.
cli() { wine "$1" "${@:2}" 2>&1 | tr -d '\r'; }
expect "plover-cli --version" "plover-cli $version" "$(cli "$pf64\\plover-cli.exe" --version)"
servers=$(cli "$pf64\\plover-cli.exe" servers --csv)
for p in Plover.SimServer.1 Plover.SimServer.Local.1; do
  grep -q "^$p,\"\?1.0 2.0" <<<"$servers" || fail "servers lists $p: $servers"
done
read=$(cli "$pf64\\plover-cli.exe" read Plover.SimServer.Local.1 Types.String --csv)
grep -q '^Types.String,Hello,STRING,good,192,' <<<"$read" || fail "read through the executable server: $read"

if [ -z "${PLOVER_SKIP_I686:-}" ]; then
  echo "package test: x86 package beside it" >&2
  pf32='C:\Program Files (x86)\Plover'
  msi install-x86 /i "$(winepath -w "$work/dist/Plover-$version-x86.msi")" || fail "msiexec /i x86"
  check "installed 32-bit plover-cli" test -f "$upf32/plover-cli.exe"
  expect "32-bit executable server" "\"$pf32\\PloverSimLocal.exe\"" "$(reg 32 "$local_clsid\\LocalServer32")"
  expect "64-bit executable server kept" "\"$pf64\\PloverSimLocal.exe\"" "$(reg 64 "$local_clsid\\LocalServer32")"
  expect "our 32-bit proxy/stub" "$pf32\\PloverPS.dll" "$(reg 32 "HKCR\\CLSID\\$ours\\InprocServer32")"
  expect "products in the 32-bit view" "Plover (32-bit) $version" "$(products | grep 32-bit | xargs)"
  read=$(cli "$pf32\\plover-cli.exe" read Plover.SimServer.Local.1 Types.String --csv)
  grep -q '^Types.String,Hello,STRING,good,192,' <<<"$read" || fail "32-bit read through the executable server: $read"
  foreign_intact "after the x86 install"
  msi uninstall-x86 /x "$(winepath -w "$work/dist/Plover-$version-x86.msi")" || fail "msiexec /x x86"
  check "x86 folder gone" test ! -e "$upf32"
  check "32-bit class gone" bash -c "! wine reg query '$local_clsid' /reg:32"
  check "32-bit proxy/stub class gone" bash -c "! wine reg query 'HKCR\\CLSID\\$ours' /reg:32"
  expect "64-bit install untouched by the x86 removal" "\"$pf64\\PloverSimLocal.exe\"" "$(reg 64 "$local_clsid\\LocalServer32")"
fi

echo "package test: uninstall" >&2
msi uninstall /x "$(winepath -w "$work/dist/Plover-$version-x64.msi")" || fail "msiexec /x"
check "install folder gone" test ! -e "$upf64"
in_menu Plover.lnk && fail "Start-menu entry Plover remains"
in_menu "Plover demonstration.lnk" && fail "Start-menu entry for the demonstration remains"
for key in 'HKCR\Plover.SimServer.1' 'HKCR\Plover.SimServer.Local.1' "$local_clsid" \
  'HKCR\Plover.SimServer.Local.Da3Only.1' 'HKCR\CLSID\{4BC32B29-8CB2-4046-B41B-54297EF7A920}' \
  'HKCR\CLSID\{0FBAF7E9-6C85-4D16-8BD4-77D51BA9EEAD}' "HKCR\\CLSID\\$ours" "$iserver" \
  'HKCR\.plover' 'HKCR\Plover.Workspace'; do
  for view in 64 32; do
    has_key $view "$key" && fail "$key remains ($view-bit)"
  done
done
expect "no product left" "" "$(products | xargs)"
foreign_intact "after uninstall"

echo "package test: without the simulation servers" >&2
msi install-client /i "$(winepath -w "$work/dist/Plover-$version-x64.msi")" ADDLOCAL=Client ||
  fail "msiexec /i ADDLOCAL=Client"
check "client installed alone" test -f "$upf64/Plover.exe"
check "no simulation server file" test ! -e "$upf64/PloverSim.dll"
has_key 64 'HKCR\Plover.SimServer.1' && fail "simulation server registered though left out"
expect "proxy/stub without the servers" "$ours" "$(reg 64 "$iserver\\ProxyStubClsid32")"
msi uninstall-client /x "$(winepath -w "$work/dist/Plover-$version-x64.msi")" || fail "msiexec /x client"
check "install folder gone after the client alone" test ! -e "$upf64"

[ "$failures" -eq 0 ] && echo "package test: passed" >&2
exit $((failures > 0))
