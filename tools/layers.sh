#!/usr/bin/env bash
# Checks that every folder includes only headers of the folders below it: the client core
# (opc/) knows no window code, the views meet only through the frame, and so on down.
#   tools/layers.sh
# Exits 1 and names each include that points up or sideways.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# What each folder may include besides itself (and system headers in <>).
declare -A allowed=(
  [app]="views dialogs controls framework opc idl res"
  [views]="dialogs framework opc idl res"
  [dialogs]="controls framework opc idl res"
  [controls]="framework res"
  [cli]="opc idl"
  [opc]="idl"
  [sim]="idl"
  [framework]=""
  [idl]=""
  [res]="framework"
)

# Which folders hold a header of that name.
declare -A home=()
for dir in "${!allowed[@]}"; do
  while IFS= read -r h; do
    home[$(basename "$h")]+="$dir "
  done < <(find "$dir" -name '*.h' 2>/dev/null)
done

bad=0
for dir in "${!allowed[@]}"; do
  while IFS=: read -r file line text; do
    header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/' <<<"$text")
    owners=${home[$(basename "$header")]:-}
    # A header of its own folder, or one no folder here holds (generated, or a system one).
    [ -z "$owners" ] && continue
    [[ " $owners" == *" $dir "* ]] && continue
    ok=0
    for o in $owners; do
      [[ " ${allowed[$dir]} " == *" $o "* ]] && ok=1
    done
    if [ $ok -eq 0 ]; then
      echo "plover: $file:$line includes \"$header\" from ${owners% }/, which $dir/ may not use" >&2
      bad=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$dir" \
             --include='*.h' --include='*.cpp' --include='*.c' --include='*.rc' 2>/dev/null || true)
done
[ $bad -eq 0 ] && echo "plover: every folder includes only the folders below it" >&2

# The window program's resources exist in two languages; Wine's plain loaders pick one by
# their own rule, so everything asks framework/UiLanguage for the chosen language's block.
while IFS=: read -r file line _; do
  echo "plover: $file:$line loads a resource past the language choice (use LoadResString, LoadUiMenu or CDialog)" >&2
  bad=1
done < <(grep -rnE '\b(LoadString[AW]?|LoadMenu[AW]?|DialogBoxParam[AW]|CreateDialogParam[AW]|DialogBox[AW]?|CreateDialog[AW]?)[[:space:]]*\(' \
           app views dialogs controls framework --include='*.h' --include='*.cpp' 2>/dev/null |
         grep -v '^framework/UiLanguage\.' || true)
exit $bad
