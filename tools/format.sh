#!/usr/bin/env bash
# Checks every C and C++ source against .clang-format; with --fix, formats them in place.
#   tools/format.sh [--fix]
# Exits 1 and names the files that drift.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -co --exclude-standard '*.c' '*.cpp' '*.h' | grep -v '^build/')
else
  mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print)
fi
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
drift=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || drift+=("$f")
done
if [ ${#drift[@]} -gt 0 ]; then
  echo "plover: these sources differ from .clang-format (tools/format.sh --fix formats them):" >&2
  printf '  %s\n' "${drift[@]}" >&2
  exit 1
fi
echo "plover: ${#files[@]} sources formatted as .clang-format says" >&2
